#pragma once
// What each platform gives the file functions of file_io.h. A failure of
// any but the removals keeps the system's reason (LastFileFailureText).
#include <cstdio>
#include <string>
#include <string_view>

// The file opened for reading bytes.
std::FILE* OpenForReading(const std::string& path);

// Writes contents to a new temporary file beside path (same folder, so that
// it can take path's place in one rename), flushed to disk, and names it in
// temp. Nothing is left behind when it fails.
bool WriteTemporaryFileBeside(const std::string& path, std::string_view contents, std::string& temp);
// Gives from the name to, replacing a file of that name in one step.
bool MoveFileReplacing(const std::string& from, const std::string& to);
bool RemoveFile(const std::string& path);
// One folder, whose parent exists.
bool CreateFolder(const std::string& dir);
bool RemoveEmptyFolder(const std::string& dir);
