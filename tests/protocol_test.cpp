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

TEST(Replies, AreFormattedByteForByteAndACutListKeepsWholeEntriesWithinTheLimit)
{
    EXPECT_EQ(FormatListReply(-1, 0, {}), "-1\t0");
    EXPECT_EQ(FormatListReply(0, 3, {{"A", 1040}, {"", 4294967295u}}), "0\t3\t1040\tA\t-1\t");
    EXPECT_EQ(FormatSetRequest("SetCh", -3), "SetCh:-3");
    // "\x83\x65" is one code page 932 character: never split. The status and
    // the current channel always go.
    const NamedNumberList entries{{"AB", 1}, {"\x83\x65\x83\x58", 22}, {"C", 3}};
    const std::string whole = "0\t10\t1\tAB\t22\t\x83\x65\x83\x58\t3\tC";
    for (const auto& [limit, count, size] : std::vector<std::tuple<std::size_t, std::size_t, std::size_t>>{
             {0, 3, 21}, {21, 3, 21}, {20, 2, 17}, {17, 2, 17}, {16, 1, 9}, {9, 1, 9}, {8, 0, 4}, {1, 0, 4}}) {
        EXPECT_EQ(FormatListReply(0, 10, entries, limit), whole.substr(0, size)) << limit;
        EXPECT_EQ(ListEntriesWithin(0, 10, entries, limit), count) << limit;
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
