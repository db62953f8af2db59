#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "process/child_process.h"

// Waits (at most timeoutMs) for the port file that a child writes once it
// listens; nothing when the child ends first or the time runs out.
std::optional<std::uint16_t> WaitForPortFile(const std::string& path, ChildProcess& child, int timeoutMs);
