#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "common/bon_alias.h"
#include "common/named_number.h"

// The two channel files beside the executable. The ChSet file lists the
// virtual channels as the viewer sees them (display name, virtual number); the
// ChAlias file says, line for line, where each one really lives in
// EpgDataCap_Bon. Both are CP932 bytes, one record per CR LF ended line, with
// fields separated by single TABs.

inline constexpr char ChannelFileBaseName[] = "BonDriver_TVTest(TVTest)";
inline constexpr char ChSetFileSuffix[] = ".ChSet.txt";
inline constexpr char ChAliasFileSuffix[] = ".ChAlias.txt";

// Full names of the files in a folder; dir ends with its separator (as
// ExecutableDir() gives it) or is empty.
std::string ChSetFilePath(const std::string& dir);
std::string ChAliasFilePath(const std::string& dir);

// Message templates of the two file errors; %s stands for the full path.
inline constexpr char FileOpenErrorText[] = "ファイル %s は開けません";
inline constexpr char FileCreateErrorText[] = "ファイル %s を作成できません";

// A channel file that cannot be read or written. what() is the template with
// the path put in; Text() puts in the path as a front end shows it (broken
// into lines for a box, made printable for a terminal). Reason() is the
// system's own word on why (UTF-8, LastFileFailureText), taken when the error
// is made.
class FileError : public std::runtime_error {
public:
    FileError(const char* messageTemplate, std::string path);

    const std::string& Path() const noexcept { return FPath; }
    const std::string& Template() const noexcept { return FTemplate; }
    const std::string& Reason() const noexcept { return FReason; }
    std::string Text(std::string_view shownPath) const;

private:
    std::string FPath;
    std::string FTemplate;
    std::string FReason;
};

// Writers: the whole file is built in memory and then takes the place of the
// old one in one step, so a failed write leaves the old file as it was.
// Throw FileError(FileCreateErrorText) when the file cannot be written.
void SaveChSetFile(const std::string& path, const NamedNumberList& channels);
void SaveChAliasFile(const std::string& path, const BonAliasList& aliases);

// Writes the ChSet and the ChAlias file into dir and, when copyDir is not
// empty, the ChSet file into copyDir too (for a viewer that reads its channel
// list from a folder of its own), creating that folder when it is missing.
// Both folders end with their separator. All or nothing, so that the files
// never disagree: when one cannot be written, none changes and no folder is
// left made. Throws FileError(FileCreateErrorText) naming the file that could
// not be written.
void SaveChannelFiles(const std::string& dir, const NamedNumberList& channels, const BonAliasList& aliases,
                      const std::string& copyDir = std::string());

// The longest "GetChList" reply the patch server gives for this channel list
// once it has gone through the ChSet file: the status, the current channel
// (the last one has the most digits) and every channel, as the server
// formats them.
std::size_t ChListReplySize(const NamedNumberList& channels);

// What makes a display name unfit for the ChSet file: TVTest skips a line
// that starts with ';' as a comment, which shifts every later channel by one,
// and a TAB, CR or LF splits the line. The name is code page 932 bytes.
enum class DisplayNameFault { None, Empty, LeadingSemicolon, LineBreakOrTab };
DisplayNameFault CheckDisplayName(std::string_view name);

// Loaders: replace the list with the file's valid lines. Throw
// FileError(FileOpenErrorText), leaving the list untouched, when the file
// cannot be read.
void LoadChSetFile(const std::string& path, NamedNumberList& channels);
void LoadChAliasFile(const std::string& path, BonAliasList& aliases);

// The file texts themselves, without any file access.
std::string FormatChSetText(const NamedNumberList& channels);
std::string FormatChAliasText(const BonAliasList& aliases);
void ParseChSetText(std::string_view text, NamedNumberList& channels);
void ParseChAliasText(std::string_view text, BonAliasList& aliases);
