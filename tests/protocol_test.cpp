// The remote-control protocol's requests and replies, byte for byte.
#include <gtest/gtest.h>

#include <tuple>

#include "remocon/protocol.h"

TEST(RecognizeRequest, ListAndTextCommandsMatchExactlyAndSetCommandsTakeOneNumber)
{
    // The request is the text up to the first NUL, as the server's buffer
    // holds it; a set command takes one number and ignores the rest.
    using C = Command;
    for (const auto& [text, command, number] : std::vector<std::tuple<std::string, C, std::int32_t>>{
             {"GetBonList", C::GetBonList, 0}, {"GetSpaceList", C::GetSpaceList, 0}, {"GetChList", C::GetChList, 0},
             {"GetServiceList", C::GetServiceList, 0}, {"GetServiceList2", C::GetServiceList2, 0},
             {"GetNowPgInfo", C::GetNowPgInfo, 0}, {"GetNextPgInfo", C::GetNextPgInfo, 0},
             {std::string("GetChList\0junk", 14), C::GetChList, 0}, {"SetCh:3\r\n", C::SetCh, 3},
             {"SetService2:5", C::SetService2, 5}, {"SetService:5", C::SetService, 5}, {"SetBon: \t-1", C::SetBon, -1},
             {"SetSpace:+7x", C::SetSpace, 7}, {"SetCh:4294967295", C::SetCh, -1}}) {
        const auto r = RecognizeRequest(text);
        ASSERT_TRUE(r) << text;
        EXPECT_EQ(std::pair(r->command, r->number), std::pair(command, number)) << text;
    }
    for (const char* bad : {"getbonlist", "GetChList\r\n", "GetBonListGetChList", " GetBonList", "GetBon", "",
                            "GetNowPgInfo\n", "Hello", "SetCh:", "SetCh:x", "SetCh 3", "SetCh3", "setch:3", "SetCh:-",
                            "SetCh: +", "SetChannel:3", "SetService3:1"})
        EXPECT_FALSE(RecognizeRequest(bad)) << bad;
}

TEST(Replies, AreFormattedByteForByte)
{
    EXPECT_EQ(FormatListReply(0, 0, {{"TVTest", 0}}), "0\t0\t0\tTVTest");
    EXPECT_EQ(FormatListReply(-1, 0, {}), "-1\t0");
    EXPECT_EQ(FormatListReply(0, 3, {{"A", 1040}, {"", 4294967295u}}), "0\t3\t1040\tA\t-1\t");
    EXPECT_EQ(FormatStatusReply(2), "2");
    EXPECT_EQ(FormatSetRequest("SetBon", 5), "SetBon:5");
    EXPECT_EQ(FormatSetRequest("SetCh", -3), "SetCh:-3");
}

TEST(Replies, ACutListKeepsWholeEntriesWithinTheLimit)
{
    // "\x83\x65" is one code page 932 character: never split.
    const NamedNumberList entries{{"AB", 1}, {"\x83\x65\x83\x58", 22}, {"C", 3}};
    const std::string whole = "0\t10\t1\tAB\t22\t\x83\x65\x83\x58\t3\tC";
    struct Case {
        std::size_t limit;
        std::size_t entries;
    };
    for (const Case c : {Case{0, 3}, Case{whole.size(), 3}, Case{whole.size() - 1, 2}, Case{17, 2},
                         Case{16, 1}, Case{9, 1}, Case{8, 0}, Case{1, 0}}) {
        const std::string reply = FormatListReply(0, 10, entries, c.limit);
        EXPECT_EQ(ListEntriesWithin(0, 10, entries, c.limit), c.entries) << c.limit;
        NamedNumberList parsed{{"old", 0}};
        std::int32_t current = 0;
        if (c.entries == 0) {
            EXPECT_EQ(reply, "0\t10") << c.limit; // status and current always go
            continue;
        }
        EXPECT_EQ(ParseListReply(reply, parsed, &current), 0);
        EXPECT_EQ(current, 10);
        EXPECT_EQ(parsed, NamedNumberList(entries.begin(), entries.begin() + static_cast<long>(c.entries)))
            << c.limit;
        EXPECT_TRUE(c.limit == 0 || reply.size() <= c.limit) << c.limit;
        EXPECT_EQ(whole.compare(0, reply.size(), reply), 0) << c.limit;
    }
}

TEST(ParseListReply, NeedsThreeFieldsAndKeepsTheCurrentOnMinusOne)
{
    // A failed reply leaves the list as it was. A number without a name at
    // the end is ignored, and so is a trailing TAB; an inner empty field is
    // an empty name.
    const NamedNumberList old{{"old", 9}};
    for (const auto& [reply, status, current, list] :
         std::vector<std::tuple<std::string, std::int32_t, std::int32_t, NamedNumberList>>{
             {"0\t-1", StatusFailed, 42, old},
             {"", StatusFailed, 42, old},
             {"0\t-1\t5\tFive", 0, 42, {{"Five", 5}}},
             {"3\t7\t5\tFive\t-1\tMinus\t8", 3, 7, {{"Five", 5}, {"Minus", 4294967295u}}},
             {"0\t1\t2\tTwo\t", 0, 1, {{"Two", 2}}},
             {"0\t0\t2\t\t3\tThree", 0, 0, {{"", 2}, {"Three", 3}}}}) {
        NamedNumberList parsed = old;
        std::int32_t now = 42;
        EXPECT_EQ(ParseListReply(reply, parsed, &now), status) << reply;
        EXPECT_EQ(now, current) << reply;
        EXPECT_EQ(parsed, list) << reply;
        EXPECT_EQ(ParseListReply(reply, parsed, nullptr), status) << reply;
    }
}
