// The two channel files on arbitrary bytes. Whatever the loader keeps (the
// ChAlias rows numbered by position), the writer writes so that the loader
// reads exactly the same rows again, and any display name given to the
// writer comes back with only its line-breaking bytes turned into blanks.
// check-channels' strict reading accepts only a text that loads as the same
// rows, and a row that --fix writes over its line reads back with every
// other row as it was.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "channel/channel_check.h"
#include "channel/channel_files.h"
#include "fuzz/fuzz_check.h"

namespace {

// A file text as the writer must leave it: whole CR LF lines, no NUL byte.
bool WholeLines(const std::string& text)
{
    return text.find('\0') == std::string::npos && (text.empty() || text.ends_with("\r\n"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    NamedNumberList channels, again{{"left over", 1}}, strictChannels;
    ParseChSetText(input, channels);
    const std::string chSet = FormatChSetText(channels);
    FUZZ_CHECK(WholeLines(chSet) && std::count(chSet.begin(), chSet.end(), '\n') == std::ssize(channels));
    ParseChSetText(chSet, again);
    FUZZ_CHECK(again == channels && FormatChSetText(again) == chSet);
    if (!ReadChSetStrictly(input, strictChannels))
        FUZZ_CHECK(strictChannels == channels);

    std::uint32_t number = 0;
    for (std::size_t i = 0; i < size && i < 4; ++i)
        number = number << 8 | data[i];
    std::string blanked(input);
    for (char& c : blanked)
        c = (c == '\t' || c == '\r' || c == '\n' || c == '\0') ? ' ' : c;
    NamedNumberList one;
    ParseChSetText(FormatChSetText({{std::string(input), number}}), one);
    FUZZ_CHECK(one == NamedNumberList({{blanked, number}}));

    BonAliasList aliases, aliasesAgain(2), strictRows;
    ParseChAliasText(input, aliases);
    for (std::size_t i = 0; i < aliases.size(); ++i)
        FUZZ_CHECK(aliases[i].index == static_cast<std::int32_t>(i));
    const std::string chAlias = FormatChAliasText(aliases);
    FUZZ_CHECK(WholeLines(chAlias));
    ParseChAliasText(chAlias, aliasesAgain);
    FUZZ_CHECK(aliasesAgain == aliases && FormatChAliasText(aliasesAgain) == chAlias);

    if (ReadChAliasStrictly(input, strictRows))
        return 0;
    FUZZ_CHECK(strictRows == aliases);
    if (aliases.empty())
        return 0;
    BON_ALIAS moved = aliases[size % aliases.size()];
    moved.bn.number += 1;
    moved.srv = {"moved", moved.srv.number ^ 0x80000000u};
    BonAliasList fixed;
    FUZZ_CHECK(!ReadChAliasStrictly(ReplaceChAliasRows(input, {moved}), fixed));
    aliases[static_cast<std::size_t>(moved.index)] = moved;
    FUZZ_CHECK(fixed == aliases);
    return 0;
}
