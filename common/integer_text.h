#pragma once
#include <cstdint>
#include <optional>
#include <string_view>

// The strict reading used for the port fields and the settings file's
// booleans: optional leading blanks, an optional sign, then decimal digits or
// "$", "x", "X", "0x", "0X" and hexadecimal digits, with nothing after them.
// The signed value must fit 32 bits. Anything else is no integer at all, so the
// caller's default applies.
std::optional<std::int32_t> ReadIntegerText(std::string_view text);

// ReadIntegerText, or fallback when the text is not integer text.
std::int32_t IntegerTextOr(std::string_view text, std::int32_t fallback);
