// SplitFields and ParseInt on arbitrary bytes.
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "common/parse_int.h"
#include "common/split_fields.h"
#include "fuzz/fuzz_check.h"

namespace {

bool IsDigits(std::string_view s)
{
    if (s.empty())
        return false;
    for (const char c : s) {
        if (c < '0' || c > '9')
            return false;
    }
    return true;
}

void CheckParseInt(const std::string& field)
{
    const std::int32_t value = ParseInt(field);
    // Leading white space is skipped, and reading stops at the first byte
    // that is not a digit.
    FUZZ_CHECK(ParseInt(" \t\r\n\v\f" + field) == value);
    FUZZ_CHECK(ParseInt(field + "x9") == value);
    if (IsDigits(field)) {
        FUZZ_CHECK(ParseInt("+" + field) == value);
        FUZZ_CHECK(static_cast<std::uint32_t>(ParseInt("-" + field)) == 0u - static_cast<std::uint32_t>(value));
        if (field.size() <= 9) {
            std::uint32_t exact = 0;
            std::from_chars(field.data(), field.data() + field.size(), exact);
            FUZZ_CHECK(static_cast<std::uint32_t>(value) == exact);
        }
    }
    // The signed decimal form that the files and replies use reads back exactly.
    FUZZ_CHECK(ParseInt(std::to_string(value)) == value);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> fields = SplitFields(text, '\t', '\0');

    std::size_t fieldBytes = 0;
    for (const std::string& field : fields)
        fieldBytes += field.size();
    FUZZ_CHECK(fieldBytes <= text.size());
    FUZZ_CHECK(fields.size() <= text.size());
    FUZZ_CHECK(text.empty() == fields.empty());

    if (text.find('\0') == std::string_view::npos) {
        // Without escapes every TAB ends exactly one field, and the fields
        // joined by TABs give the text back, less a trailing TAB.
        std::size_t tabs = 0;
        for (const char c : text)
            tabs += c == '\t';
        const bool openLast = !text.empty() && text.back() != '\t';
        FUZZ_CHECK(fields.size() == tabs + (openLast ? 1 : 0));
        std::string joined;
        for (std::size_t i = 0; i < fields.size(); ++i) {
            FUZZ_CHECK(fields[i].find('\t') == std::string::npos);
            if (i > 0)
                joined += '\t';
            joined += fields[i];
        }
        std::string_view expected = text;
        if (!expected.empty() && expected.back() == '\t')
            expected.remove_suffix(1);
        FUZZ_CHECK(joined == expected);
    } else {
        // An escape keeps the byte after it, TAB included, in the field.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '\0') {
                kept += i + 1 < text.size() ? 2 : 1;
                ++i;
            } else if (text[i] != '\t') {
                ++kept;
            }
        }
        FUZZ_CHECK(fieldBytes == kept);
    }

    for (const std::string& field : fields)
        CheckParseInt(field);
    CheckParseInt(std::string(text));
    return 0;
}
