// The client's list-reply parser, and the SplitFields and ParseInt it reads
// with, on arbitrary bytes: a reply it accepts must come out of the server's
// formatter again with the same entries.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/parse_int.h"
#include "common/split_fields.h"
#include "fuzz/fuzz_check.h"
#include "remocon/protocol.h"

namespace {

// Leading white space is skipped, reading stops at the first byte that is
// not a digit, and the signed decimal form of the files and replies reads
// back exactly.
void CheckParseInt(const std::string& field)
{
    const std::int32_t value = ParseInt(field);
    FUZZ_CHECK(ParseInt(" \t\r\n\v\f" + field) == value && ParseInt(field + "x9") == value);
    FUZZ_CHECK(ParseInt(std::to_string(value)) == value);
    if (!field.empty() && field.find_first_not_of("0123456789") == std::string::npos) {
        FUZZ_CHECK(ParseInt("+" + field) == value);
        FUZZ_CHECK(static_cast<std::uint32_t>(ParseInt("-" + field)) == 0u - static_cast<std::uint32_t>(value));
        if (field.size() <= 9)
            FUZZ_CHECK(value == std::stoi(field));
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string reply(reinterpret_cast<const char*>(data), size);
    const std::vector<std::string> fields = SplitFields(reply, '\t', '\0');
    // The fields joined by TABs give the text back, but for a trailing TAB
    // that ended an empty last field, which is no field of its own. No field
    // holds a TAB that no escape (NUL) kept there, nor ends in an escape that
    // had a byte after it.
    std::string joined;
    for (std::size_t k = 0; k < fields.size(); ++k) {
        joined += (k > 0 ? "\t" : "") + fields[k];
        for (std::size_t i = 0; i < fields[k].size(); ++i) {
            if (fields[k][i] != '\0')
                FUZZ_CHECK(fields[k][i] != '\t');
            else if (++i == fields[k].size()) // an escape keeps the byte after it, if any
                FUZZ_CHECK(k + 1 == fields.size() && reply.back() == '\0');
        }
        CheckParseInt(fields[k]);
    }
    FUZZ_CHECK(joined == reply ? fields.empty() || !fields.back().empty() : joined + "\t" == reply);
    CheckParseInt(reply);

    NamedNumberList list{{"before", 7}};
    std::int32_t current = 12345;
    const int status = ParseListReply(reply, list, &current);
    // Too short to be a list reply: nothing is touched. (A reply can itself
    // carry status -1 and a list, so the status alone does not tell.)
    if (fields.size() <= 2) {
        FUZZ_CHECK(status == StatusFailed && current == 12345 && list == NamedNumberList({{"before", 7}}));
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
    // Only an empty last name can be lost to the trailing-TAB rule.
    FUZZ_CHECK(reparsed.size() == list.size() || (reparsed.size() + 1 == list.size() && list.back().name.empty()));
    for (std::size_t i = 0; i < reparsed.size(); ++i)
        FUZZ_CHECK(reparsed[i] == list[i]);
    FUZZ_CHECK(current2 == current || (current == -1 && current2 == -7));
    return 0;
}
