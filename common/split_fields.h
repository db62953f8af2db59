#pragma once
#include <string>
#include <string_view>
#include <vector>

// Splits list replies and channel-file lines. A delimiter always ends a field
// (so inner empty fields survive), but a trailing delimiter adds no empty last
// field. The escape character copies itself and the next byte into the field.
std::vector<std::string> SplitFields(std::string_view text, char delimiter, char escape);
