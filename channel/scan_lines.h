#pragma once
// The lines that "vernwick-cli scan" prints and "make-channels" reads back,
// after a person has deleted, reordered and renamed them in an editor: a
// header, then per service its display name and the eight fields of a
// ChAlias line, separated by TABs, names as terminal text (terminal_text.h).
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bon_alias.h"

inline constexpr char ScanHeader[] =
    "# name\tservice\tservice number\tBonDriver\tBonDriver number\tspace\tspace number\tchannel\tchannel number";
inline constexpr std::size_t ScanFieldCount = 9;

// One service, without a line end; its display name is the service name. A
// name starting with "#" starts with \x23 instead, so that the line reads
// back as that service and never as a comment. A leading ";", which the
// viewer takes for a comment in its channel file, is the full-width "；" in
// the display name, so that a scanned list can be used as it is; the service
// name keeps its bytes.
std::string FormatScanLine(const BON_ALIAS& row);

struct ScanLine {
    std::string displayName; // code page 932, as the other names
    BON_ALIAS row;           // index: the line's place among the services
    std::size_t lineNumber = 0; // in the text, from 1
};

// The services of the text in their order. Lines end with LF or CR LF; the
// first line, when it starts with "#", is the header, and empty lines are
// passed over. Nothing, or the first fault ("line N: ...") with lines left
// as far as they were read.
std::optional<std::string> ParseScanLines(std::string_view text, std::vector<ScanLine>& lines);
