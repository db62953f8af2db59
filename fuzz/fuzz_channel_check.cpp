// check-channels' strict reading of the channel files: a text it accepts
// loads as the same list as the server loads it, and a row that --fix writes
// over its line reads back with every other row as it was.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "channel/channel_check.h"
#include "channel/channel_files.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view input(reinterpret_cast<const char*>(data), size);

    NamedNumberList strictChannels, channels;
    if (!ReadChSetStrictly(input, strictChannels)) {
        ParseChSetText(input, channels);
        FUZZ_CHECK(strictChannels == channels);
    }

    BonAliasList rows, loaded;
    if (ReadChAliasStrictly(input, rows))
        return 0;
    ParseChAliasText(input, loaded);
    FUZZ_CHECK(rows == loaded);
    if (rows.empty())
        return 0;
    BON_ALIAS moved = rows[size % rows.size()];
    moved.bn.number += 1;
    moved.srv = {"moved", moved.srv.number ^ 0x80000000u};
    BonAliasList fixed;
    FUZZ_CHECK(!ReadChAliasStrictly(ReplaceChAliasRows(input, {moved}), fixed));
    BonAliasList expected = rows;
    expected[static_cast<std::size_t>(moved.index)] = moved;
    FUZZ_CHECK(fixed == expected);
    return 0;
}
