#pragma once
// Private-profile (ini) text read and changed in memory, by the rules of the
// Windows service: the reader of our own works on these, around one read or
// one replacement of the file.
#include <string>
#include <string_view>

#include "common/ini_profile.h"

// The value of key in section, as ReadProfileString gives it.
std::string ReadProfileText(std::string_view text, std::string_view section, std::string_view key,
                            std::string_view defaultValue);

// The text with the keys written into section, as WriteProfileStrings writes
// the file. Lines keep their own ends; new lines get the text's line end (CR
// LF when it has one, else LF when it has one, else newTextLineEnd).
std::string WriteProfileText(std::string text, std::string_view section, const ProfileEntries& entries,
                             std::string_view newTextLineEnd = "\n");
