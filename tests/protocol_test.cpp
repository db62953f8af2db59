#include <gtest/gtest.h>

#include "common/integer_text.h"
#include "common/parse_int.h"
#include "common/split_fields.h"
#include "remocon/protocol.h"

namespace {

std::vector<std::string> Fields(std::string_view text)
{
    return SplitFields(text, '\t', '\0');
}

} // namespace

TEST(SplitFields, KeepsInnerEmptyFieldsAndDropsOnlyAnEmptyLastOne)
{
    EXPECT_EQ(Fields(""), std::vector<std::string>{});
    EXPECT_EQ(Fields("\t"), std::vector<std::string>{""});
    EXPECT_EQ(Fields("a\t\tb"), (std::vector<std::string>{"a", "", "b"}));
    EXPECT_EQ(Fields("a\tb\t"), (std::vector<std::string>{"a", "b"}));
    EXPECT_EQ(Fields("a\tb\t\t"), (std::vector<std::string>{"a", "b", ""}));
    EXPECT_EQ(Fields("\ta"), (std::vector<std::string>{"", "a"}));
    // An escape keeps the following delimiter inside the field.
    EXPECT_EQ(SplitFields("a\\\tb\tc", '\t', '\\'), (std::vector<std::string>{"a\\\tb", "c"}));
}

TEST(ParseInt, ReadsLikeTheCLibraryButWrapsAndNeverFailsWhereIntegerTextAcceptsOnlyWholeTextThatFits)
{
    // Beyond 32 bits the number wraps: the lists' unsigned 4294967295 is -1.
    const std::pair<const char*, std::int32_t> parsed[] = {
        {"12", 12}, {" \t\n\v\f\r-7x", -7}, {"+5", 5}, {" 12abc", 12}, {"", 0}, {"x", 0}, {"-", 0}, {"+-1", 0},
        {"-1", -1}, {"4294967295", -1}, {"4294967296", 0}, {"2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : parsed)
        EXPECT_EQ(ParseInt(text), value) << '"' << text << '"';

    const std::pair<const char*, std::int32_t> whole[] = {
        {"51334", 51334}, {"  -12", -12}, {"+0", 0}, {"0x0", 0}, {"$1F", 31}, {"x10", 16}, {"X10", 16}, {"0XfF", 255},
        {"-0x80000000", -2147483647 - 1}, {"2147483647", 2147483647}, {"-2147483648", -2147483647 - 1}};
    for (const auto& [text, value] : whole)
        EXPECT_EQ(ReadIntegerText(text), value) << '"' << text << '"';
    for (const char* bad : {"", " ", "12 ", "1 2", "abc", "12abc", "0x", "$", "2147483648", "0x80000000", "--1",
                            "\t1", "1.0", "0xG"})
        EXPECT_FALSE(ReadIntegerText(bad).has_value()) << '"' << bad << '"';
    EXPECT_EQ(IntegerTextOr("letters", 51334), 51334);
}

TEST(RecognizeRequest, ListAndTextCommandsMatchExactlyAndSetCommandsTakeOneNumber)
{
    const std::pair<const char*, Command> exact[] = {
        {"GetBonList", Command::GetBonList},       {"GetSpaceList", Command::GetSpaceList},
        {"GetChList", Command::GetChList},         {"GetServiceList", Command::GetServiceList},
        {"GetServiceList2", Command::GetServiceList2}, {"GetNowPgInfo", Command::GetNowPgInfo},
        {"GetNextPgInfo", Command::GetNextPgInfo},
    };
    for (const auto& [text, command] : exact) {
        const auto r = RecognizeRequest(text);
        ASSERT_TRUE(r) << text;
        EXPECT_EQ(r->command, command) << text;
    }
    for (const char* bad : {"getbonlist", "GetChList\r\n", "GetBonListGetChList", " GetBonList", "GetBon", "",
                            "GetNowPgInfo\n", "Hello"})
        EXPECT_FALSE(RecognizeRequest(bad)) << bad;
    // The request is the text up to the first NUL, as the server's buffer holds it.
    EXPECT_TRUE(RecognizeRequest(std::string_view("GetChList\0junk", 14)));

    // Set commands take one number and ignore the rest.
    const auto set = [](std::string_view text) { return RecognizeRequest(text); };
    EXPECT_EQ(set("SetCh:3\r\n")->command, Command::SetCh);
    EXPECT_EQ(set("SetCh:3\r\n")->number, 3);
    EXPECT_EQ(set("SetService2:5")->command, Command::SetService2);
    EXPECT_EQ(set("SetService2:5")->number, 5);
    EXPECT_EQ(set("SetService:5")->command, Command::SetService);
    EXPECT_EQ(set("SetBon: \t-1")->number, -1);
    EXPECT_EQ(set("SetSpace:+7x")->number, 7);
    EXPECT_EQ(set("SetCh:4294967295")->number, -1);
    for (const char* bad : {"SetCh:", "SetCh:x", "SetCh 3", "SetCh3", "setch:3", "SetCh:-", "SetCh: +", "SetChannel:3",
                            "SetService3:1"})
        EXPECT_FALSE(set(bad)) << bad;
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
    NamedNumberList list{{"old", 9}};
    std::int32_t current = 42;
    EXPECT_EQ(ParseListReply("0\t-1", list, &current), StatusFailed);
    EXPECT_EQ(ParseListReply("", list, &current), StatusFailed);
    EXPECT_EQ(list.size(), 1u);
    EXPECT_EQ(current, 42);

    EXPECT_EQ(ParseListReply("0\t-1\t5\tFive", list, &current), 0);
    EXPECT_EQ(current, 42);
    EXPECT_EQ(list, (NamedNumberList{{"Five", 5}}));

    EXPECT_EQ(ParseListReply("3\t7\t5\tFive\t-1\tMinus\t8", list, &current), 3);
    EXPECT_EQ(current, 7);
    // A number without a name at the end is ignored.
    EXPECT_EQ(list, (NamedNumberList{{"Five", 5}, {"Minus", 4294967295u}}));

    NamedNumberList withTab, without;
    std::int32_t a = 0, b = 0;
    EXPECT_EQ(ParseListReply("0\t1\t2\tTwo\t", withTab, &a), ParseListReply("0\t1\t2\tTwo", without, &b));
    EXPECT_EQ(withTab, without);
    EXPECT_EQ(a, b);

    // An inner empty field is kept: the name of entry 2 is empty.
    EXPECT_EQ(ParseListReply("0\t0\t2\t\t3\tThree", list, nullptr), 0);
    EXPECT_EQ(list, (NamedNumberList{{"", 2}, {"Three", 3}}));
}
