// The ChSet file: whatever the loader keeps, the writer writes so that the
// loader reads exactly the same list again; and any list the writer is given
// loads back with only its line-breaking name bytes turned into blanks.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "channel/channel_files.h"
#include "fuzz/fuzz_check.h"

namespace {

std::size_t CountLines(const std::string& text)
{
    std::size_t lines = 0;
    for (std::size_t i = 0; i + 1 < text.size(); ++i)
        lines += text[i] == '\r' && text[i + 1] == '\n';
    return lines;
}

std::string Blanked(std::string_view name)
{
    std::string out;
    for (const char c : name)
        out += (c == '\t' || c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    NamedNumberList first;
    ParseChSetText(input, first);
    const std::string text = FormatChSetText(first);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    FUZZ_CHECK(text.empty() || text.ends_with("\r\n"));
    FUZZ_CHECK(CountLines(text) == first.size());

    NamedNumberList second{{"left over", 1}};
    ParseChSetText(text, second);
    FUZZ_CHECK(second == first);
    FUZZ_CHECK(FormatChSetText(second) == text);

    // The input as one display name.
    std::uint32_t number = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i)
        number = number << 8 | data[i];
    NamedNumberList one;
    ParseChSetText(FormatChSetText({{std::string(input), number}}), one);
    FUZZ_CHECK(one.size() == 1);
    FUZZ_CHECK(one[0].name == Blanked(input));
    FUZZ_CHECK(one[0].number == number);
    return 0;
}
