// Our own private-profile reader and writer: the file read or replaced whole
// around the text rules of common/ini_text.
#include "common/ini_profile.h"

#include "common/file_io.h"
#include "common/ini_text.h"
#include "common/platform_path.h"

std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue)
{
    return ReadProfileText(ReadWholeFile(path).value_or(std::string()), section, key, defaultValue);
}

bool WriteProfileStrings(const std::string& path, std::string_view section, const ProfileEntries& entries)
{
    return ReplaceFileAtomically(
        path, WriteProfileText(ReadWholeFile(path).value_or(std::string()), section, entries, TextLineEnd));
}
