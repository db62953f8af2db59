#pragma once
// What each platform gives the file functions of file_io.h.
#include <string>
#include <string_view>

// Keeps the system's reason for a failure that has just happened on this
// thread, for LastFileFailureText; called before any clean-up can replace it.
void NoteFileFailure();

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
