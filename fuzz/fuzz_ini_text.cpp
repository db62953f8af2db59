// The ini reader and writer of our own on arbitrary file texts: a key written
// reads back as written, every key not written reads as before, and writing
// the same keys again changes nothing.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/ascii_case.h"
#include "common/ini_text.h"
#include "fuzz/fuzz_check.h"

namespace {

// Names and values that the settings can hold: one line without the banned
// bytes and without blanks around it.
bool Usable(std::string_view s, std::string_view banned)
{
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    return s.find_first_of("\r\n" + std::string(banned)) == std::string_view::npos &&
           (s.empty() || (!blank(s.front()) && !blank(s.back())));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    FuzzedDataProvider in(data, size);
    const std::string section = in.ConsumeRandomLengthString(16);
    ProfileEntries entries;
    for (int i = 0; i < 3; ++i) {
        std::string key = in.ConsumeRandomLengthString(16);
        std::string value = in.ConsumeRandomLengthString(32);
        // A key that looks like a section header, or a quoted value, reads
        // back otherwise than written.
        const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                            value.back() == value.front();
        if (!key.empty() && key.front() != '[' && Usable(key, "=") && Usable(value, "") && !quoted &&
            value.size() <= ProfileValueLimit)
            entries.emplace_back(std::move(key), std::move(value));
    }
    const std::string probeSection = in.ConsumeRandomLengthString(16);
    const std::string probeKey = in.ConsumeRandomLengthString(16);
    const std::string text = in.ConsumeRemainingBytesAsString();

    const std::string before = ReadProfileText(text, probeSection, probeKey, "<none>");
    FUZZ_CHECK(before.size() <= ProfileValueLimit);
    if (section.empty() || !Usable(section, "]"))
        return 0;

    const std::string written = WriteProfileText(text, section, entries);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        // The last of several writes of one key counts.
        std::string expected = entries[i].second;
        for (std::size_t j = i + 1; j < entries.size(); ++j) {
            if (EqualIgnoringAsciiCase(entries[j].first, entries[i].first))
                expected = entries[j].second;
        }
        FUZZ_CHECK(ReadProfileText(written, section, entries[i].first, "<none>") == expected);
    }
    bool probeWritten = false;
    for (const auto& [key, value] : entries)
        probeWritten = probeWritten || (EqualIgnoringAsciiCase(probeSection, section) && EqualIgnoringAsciiCase(probeKey, key));
    if (!probeWritten)
        FUZZ_CHECK(ReadProfileText(written, probeSection, probeKey, "<none>") == before);
    FUZZ_CHECK(WriteProfileText(written, section, entries) == written);
    return 0;
}
