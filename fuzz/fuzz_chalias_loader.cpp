// The ChAlias file: whatever the loader keeps, the writer writes so that the
// loader reads exactly the same rows, numbered by position, again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "channel/channel_files.h"
#include "common/bon_alias.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    BonAliasList first;
    ParseChAliasText(input, first);
    for (std::size_t i = 0; i < first.size(); ++i) {
        FUZZ_CHECK(first[i].index == static_cast<std::int32_t>(i));
        FUZZ_CHECK(FindBonAlias(first, static_cast<std::int32_t>(i)) == &first[i]);
        // The channel reported for a row's numbers is that row or an earlier
        // one with the same numbers.
        const BON_ALIAS& row = first[i];
        const std::int32_t current =
            FindVirtualChannel(first, row.bn.number, row.spc.number, row.ch.number, row.srv.number);
        FUZZ_CHECK(current >= 0 && current <= static_cast<std::int32_t>(i));
        const BON_ALIAS* found = FindBonAlias(first, current);
        FUZZ_CHECK(found && found->bn.number == row.bn.number && found->spc.number == row.spc.number &&
                   found->ch.number == row.ch.number && found->srv.number == row.srv.number);
    }
    FUZZ_CHECK(FindBonAlias(first, static_cast<std::int32_t>(first.size())) == nullptr);
    FUZZ_CHECK(FindBonAlias(first, -1) == nullptr);

    const std::string text = FormatChAliasText(first);
    FUZZ_CHECK(text.find('\0') == std::string::npos);
    FUZZ_CHECK(text.empty() || text.ends_with("\r\n"));

    BonAliasList second(2);
    ParseChAliasText(text, second);
    FUZZ_CHECK(second == first);
    FUZZ_CHECK(FormatChAliasText(second) == text);
    return 0;
}
