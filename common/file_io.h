#pragma once
#include <optional>
#include <string>
#include <string_view>

// The whole file as bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file with contents so that a crash or a full disk leaves either
// the old file or the complete new one, never a truncated one: the bytes go to
// a temporary file beside it, are flushed to disk, and only then take its name.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

// Full path of the running executable.
std::string ExecutablePath();

// The folder part of a path, up to and including its last separator ("" when
// it has none), so that a file name can be appended directly.
std::string ExtractFileDir(const std::string& path);

// The file-name part of a path, after its last separator.
std::string ExtractFileName(const std::string& path);

// A folder path that a file name can be appended to ("" stays "").
std::string WithTrailingSeparator(const std::string& dir);

// The folder of the running executable, with its trailing separator.
std::string ExecutableDir();
