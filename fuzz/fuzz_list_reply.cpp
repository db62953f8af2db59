// The client's list-reply parser on arbitrary bytes: a reply it accepts must
// come out of the server's formatter again with the same entries.
#include <cstddef>
#include <cstdint>
#include <string>

#include "common/split_fields.h"
#include "fuzz/fuzz_check.h"
#include "remocon/protocol.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    NamedNumberList list{{"before", 7}};
    std::int32_t current = 12345;
    const int status = ParseListReply(reply, list, &current);
    // Too short to be a list reply: nothing is touched. (A reply can itself
    // carry status -1 and a list, so the status alone does not tell.)
    if (SplitFields(reply, '\t', '\0').size() <= 2) {
        FUZZ_CHECK(status == StatusFailed && current == 12345);
        FUZZ_CHECK(list == NamedNumberList({{"before", 7}}));
        return 0;
    }
    // What was parsed, formatted and parsed again, is the same list.
    const std::string again = FormatListReply(status, current, list);
    NamedNumberList reparsed;
    std::int32_t current2 = -7;
    const int status2 = ParseListReply(again, reparsed, &current2);
    if (list.empty()) {
        FUZZ_CHECK(status2 == StatusFailed);
        return 0;
    }
    FUZZ_CHECK(status2 == status);
    for (const NamedNumber& entry : list) {
        // A TAB in a name only comes escaped by the NUL before it (otherwise
        // it would have split the field), so only an empty last name can be
        // lost to the trailing-TAB rule.
        for (std::size_t i = 0; i < entry.name.size(); ++i) {
            if (entry.name[i] == '\0')
                ++i;
            else
                FUZZ_CHECK(entry.name[i] != '\t');
        }
    }
    FUZZ_CHECK(reparsed.size() == list.size() || (reparsed.size() + 1 == list.size() && list.back().name.empty()));
    for (std::size_t i = 0; i < reparsed.size(); ++i)
        FUZZ_CHECK(reparsed[i] == list[i]);
    FUZZ_CHECK(current2 == current || (current == -1 && current2 == -7));
    return 0;
}
