#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The whole file as bytes, or nothing when it cannot be opened or read.
std::optional<std::string> ReadWholeFile(const std::string& path);

// Replaces the file with contents so that a crash or a full disk leaves either
// the old file or the complete new one, never a truncated one: the bytes go to
// a temporary file beside it, are flushed to disk, and only then take its name.
bool ReplaceFileAtomically(const std::string& path, std::string_view contents);

// One file's new contents, for ReplaceFilesTogether.
struct FileReplacement {
    std::string path;
    std::string contents;
};

// Replaces several files as one, so that they never disagree: every new text
// is first written complete to a temporary file beside its file, and only
// when all are written do they take their files' places. When one cannot,
// the files already replaced get their old contents back (or go again, when
// they are new), so either every file changes or none does. An existing file
// that cannot be read could not be put back, so it stops the whole before
// anything changes. Returns the position of the file that failed, or nothing.
std::optional<std::size_t> ReplaceFilesTogether(const std::vector<FileReplacement>& files);

// Creates the folder and the missing ones above it; dir may end with its
// separator. True when it exists afterwards. The folders it made are added
// to `created`, deepest last, for RemoveCreatedFolders.
bool CreateFolders(const std::string& dir, std::vector<std::string>& created);
// Removes folders that CreateFolders made, deepest first, as far as they
// are empty.
void RemoveCreatedFolders(const std::vector<std::string>& created);

bool PathExists(const std::string& path);
bool FolderExists(const std::string& path);

// The system's reason, in its own words (UTF-8), for the last file that this
// thread could not open, write, replace or make a folder for.
std::string LastFileFailureText();

// Full path of the running executable. On Windows every path is UTF-8 and
// goes to the system through its wide calls, whatever the folder's name and
// length.
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
