#pragma once
// Private-profile (ini) files, read key by key and written as a whole, by a
// reader and writer of our own that follows the rules of the Windows service.
// Windows' own service is not used: it converts the file's bytes through the
// system's code page, where the file must stay code page 932 byte for byte,
// and it cannot reach a file whose path is longer than MAX_PATH.
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A value read back is at most this many bytes; longer ones are cut.
inline constexpr std::size_t ProfileValueLimit = 2047;

// The value of key in section, or defaultValue when the file, the section or
// the key is missing. Section and key names compare without regard to ASCII
// case; blanks around the value and one pair of enclosing quotes are dropped.
std::string ReadProfileString(const std::string& path, std::string_view section, std::string_view key,
                              std::string_view defaultValue);

using ProfileEntries = std::vector<std::pair<std::string, std::string>>;

// Writes the keys in order into section: a key's value is replaced in place,
// a missing key is added to the section and a missing section (and file) is
// created; other sections and keys stay as they are. The keys land together
// or not at all: they are written into a copy that replaces the file only
// when complete, so a crash or a full disk never leaves a half-written file.
bool WriteProfileStrings(const std::string& path, std::string_view section, const ProfileEntries& entries);
