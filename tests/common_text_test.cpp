// The text readers every folder shares: fields, numbers and terminal text.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/integer_text.h"
#include "common/parse_int.h"
#include "common/split_fields.h"
#include "common/terminal_text.h"

using Fields = std::vector<std::string>;

TEST(SplitFields, KeepsInnerEmptyFieldsAndDropsOnlyAnEmptyLastOne)
{
    // The escape keeps the following delimiter inside the field.
    for (const auto& [text, escape, fields] : std::vector<std::tuple<std::string, char, Fields>>{
             {"", '\0', {}}, {"\t", '\0', {""}}, {"a\t\tb", '\0', {"a", "", "b"}}, {"a\tb\t", '\0', {"a", "b"}},
             {"a\tb\t\t", '\0', {"a", "b", ""}}, {"\ta", '\0', {"", "a"}}, {"a\\\tb\tc", '\\', {"a\\\tb", "c"}}})
        EXPECT_EQ(SplitFields(text, '\t', escape), fields) << text;
}

TEST(ParseInt, ReadsLikeTheCLibraryButWrapsWhereIntegerTextAcceptsOnlyWholeTextThatFits)
{
    // Beyond 32 bits the number wraps: the lists' unsigned 4294967295 is -1.
    for (const auto& [text, value] : std::vector<std::pair<std::string, std::int32_t>>{
             {"12", 12}, {" \t\n\v\f\r-7x", -7}, {"+5", 5}, {" 12abc", 12}, {"", 0}, {"x", 0}, {"-", 0}, {"+-1", 0},
             {"-1", -1}, {"4294967295", -1}, {"4294967296", 0}, {"2147483648", -2147483647 - 1}})
        EXPECT_EQ(ParseInt(text), value) << '"' << text << '"';

    for (const auto& [text, value] : std::vector<std::pair<std::string, std::int32_t>>{
             {"51334", 51334}, {"  -12", -12}, {"+0", 0}, {"0x0", 0}, {"$1F", 31}, {"x10", 16}, {"X10", 16},
             {"0XfF", 255}, {"-0x80000000", -2147483647 - 1}, {"2147483647", 2147483647},
             {"-2147483648", -2147483647 - 1}})
        EXPECT_EQ(ReadIntegerText(text), value) << '"' << text << '"';
    for (const char* bad : {"", " ", "12 ", "1 2", "abc", "12abc", "0x", "$", "2147483648", "0x80000000", "--1",
                            "\t1", "1.0", "0xG"})
        EXPECT_FALSE(ReadIntegerText(bad).has_value()) << '"' << bad << '"';
    EXPECT_EQ(IntegerTextOr("letters", 51334), 51334);
}

TEST(TerminalText, RoundTripsEveryByteStringExactly)
{
    // 地上デジタル, a half-width katakana, a 0x5C trail byte (ソ), NEC and IBM
    // duplicates of the same character, bytes that are no character, and
    // control bytes.
    for (const std::string& bytes : {std::string("\x92\x6E\x8F\xE3\x83\x66\x83\x57\x83\x5E\x83\x8B"),
                                     std::string("\xB1\x83\x5C\\path"), std::string("\x87\x90\x81\xE0\xED\x40\xFA\x5C"),
                                     std::string("\x80\xA0\xFD\xFE\xFF\x81", 6), std::string("a\tb\r\n\x01\x7F\0z", 9),
                                     std::string("plain ASCII")}) {
        const std::string shown = Cp932ToTerminal(bytes);
        EXPECT_EQ(shown.find_first_of(std::string("\t\r\n\0", 4)), std::string::npos) << shown;
        EXPECT_EQ(TerminalToCp932(shown), bytes) << shown;
    }
    EXPECT_EQ(Cp932ToTerminal("\x92\x6E\x8F\xE3"), "地上");
    // 0x80 is U+0080 to Windows, a control to the terminal.
    EXPECT_EQ(Cp932ToTerminal("\x80"), "\\x80");
    EXPECT_EQ(TerminalToCp932("ＮＨＫ総合"), "\x82\x6D\x82\x67\x82\x6A\x91\x8D\x8D\x87");
    // Text typed at the terminal: a lone backslash stays, a character code
    // page 932 lacks is refused.
    EXPECT_EQ(TerminalToCp932("a\\b"), "a\\b");
    EXPECT_FALSE(TerminalToCp932("\xF0\x9F\x98\x80"));
    EXPECT_FALSE(TerminalToCp932("\xE3\x81"));
}
