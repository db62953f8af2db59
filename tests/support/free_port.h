#pragma once
// A loopback port that nobody listens on (it was free a moment ago).
#include <cstdint>

std::uint16_t FreePort();
