#pragma once
#include <cstdint>
#include <string_view>

// Reads every number of a reply or a channel file: leading white space, one
// optional sign, then digits up to the first other byte. No digits gives 0 and
// the value wraps modulo 2^32, so "-1" read into a 32-bit field is 0xFFFFFFFF.
std::int32_t ParseInt(std::string_view text);
