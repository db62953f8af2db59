// The terminal text that scan prints and make-channels reads: code page 932
// bytes out to the terminal and back are the same bytes, the terminal sees no
// control character, and a scan line gives back the row it was made from.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "channel/scan_lines.h"
#include "common/terminal_text.h"
#include "fuzz/fuzz_check.h"

namespace {

// Well-formed UTF-8 without C0 or C1 controls (TAB and line ends among them).
bool PrintableUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto b = static_cast<unsigned char>(s[i]);
        std::size_t length = 0;
        std::uint32_t cp = 0;
        if (b < 0x80) {
            length = 1;
            cp = b;
        } else if (b >= 0xC2 && b <= 0xDF) {
            length = 2;
            cp = b & 0x1F;
        } else if (b >= 0xE0 && b <= 0xEF) {
            length = 3;
            cp = b & 0x0F;
        } else if (b >= 0xF0 && b <= 0xF4) {
            length = 4;
            cp = b & 0x07;
        } else {
            return false;
        }
        if (i + length > s.size())
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto c = static_cast<unsigned char>(s[i + k]);
            if ((c & 0xC0) != 0x80)
                return false;
            cp = cp << 6 | (c & 0x3F);
        }
        const std::uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (cp < least[length] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        if (cp < 0x20 || (cp >= 0x7F && cp <= 0x9F))
            return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    // The input as code page 932 bytes.
    const std::string shown = Cp932ToTerminal(input);
    FUZZ_CHECK(PrintableUtf8(shown));
    const auto back = TerminalToCp932(shown);
    FUZZ_CHECK(back && *back == input);

    // The input as a person's terminal text: what it stands for shows as a
    // text that stands for the same bytes.
    if (const auto bytes = TerminalToCp932(input)) {
        const auto again = TerminalToCp932(Cp932ToTerminal(*bytes));
        FUZZ_CHECK(again && *again == *bytes);
    }

    // The input as the name of a scanned service: a scan line gives back
    // the row it was made from, and a leading "#" never makes it a comment.
    const BON_ALIAS row{0, {"BonDriver", static_cast<std::uint32_t>(size)}, {"", 0x80000000u}, {"27ch", 0xFFFFFFFFu},
                        {std::string(input), 7}};
    const std::string line = FormatScanLine(row);
    FUZZ_CHECK(line.front() != '#');
    std::vector<ScanLine> lines;
    FUZZ_CHECK(!ParseScanLines(std::string(ScanHeader) + "\r\n" + line, lines));
    // A leading ';' shows full-width in the display name alone.
    const std::string displayName =
        input.starts_with(';') ? "\x81\x47" + std::string(input.substr(1)) : std::string(input);
    FUZZ_CHECK(lines.size() == 1 && lines[0].displayName == displayName && lines[0].row == row);
    return 0;
}
