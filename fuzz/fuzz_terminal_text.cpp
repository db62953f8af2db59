// The terminal text that scan prints and make-channels reads: code page 932
// bytes out to the terminal and back are the same bytes, the terminal sees no
// control character, and a scan line gives back the row it was made from.
#include <clocale>
#include <cstddef>
#include <cstdint>
#include <cwchar>
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
    static const bool utf8 = std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr;
    FUZZ_CHECK(utf8);
    std::mbstate_t state{};
    for (std::size_t i = 0, n = 0; i < s.size(); i += n) {
        wchar_t c = 0;
        n = std::mbrtowc(&c, s.data() + i, s.size() - i, &state);
        if (n == 0 || n > s.size() - i || c < 0x20 || (c >= 0x7F && c <= 0x9F))
            return false;
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
