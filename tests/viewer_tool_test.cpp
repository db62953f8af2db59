// vernwick-viewer against the stand-in EpgDataCap_Bon: replies as a person
// reads them, and the exact bytes with --raw.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_tool.h"
#include "support/standin.h"

TEST(ViewerTool, PrintsRepliesReadablyAndTheExactBytesWithRaw)
{
    StandIn standin;
    ASSERT_TRUE(standin.Start());
    TempDir dir;
    const std::string port = std::to_string(standin.Port());

    const ToolRun readable = RunTool(dir, "vernwick-viewer", {"--port", port, "GetBonList", "GetSpaceList", "SetCh:5",
                                                              "SetCh:99", "GetChList", "GetNowPgInfo"});
    ASSERT_EQ(readable.status, 0) << readable.err;
    EXPECT_EQ(Lines(readable.out), (std::vector<std::string>{
                                       "> GetBonList",
                                       "< 0 (success), current 0",
                                       "  *  0  BonDriver_PT3-T.dll",
                                       "     2  BonDriver_PT3-S.dll",
                                       "> GetSpaceList",
                                       "< 0 (success), current 0",
                                       "  *  0  地上デジタル",
                                       "> SetCh:5",
                                       "< 0 (success)",
                                       "> SetCh:99",
                                       "< 1 (EpgDataCap_Bon's own status)",
                                       "> GetChList",
                                       "< 0 (success), current 5",
                                       "      3  27ch",
                                       "  *   5  26ch",
                                       "      8  25ch",
                                       "     12  予備チャンネル",
                                       "> GetNowPgInfo",
                                       "< 0  ＮＨＫＥテレ１東京  20:45-21:00  ニュース",
                                   }));

    const ToolRun raw = RunTool(dir, "vernwick-viewer", {"--raw", "--port", port, "GetSpaceList", "SetCh:99"});
    ASSERT_EQ(raw.status, 0) << raw.err;
    EXPECT_EQ(Lines(raw.out),
              (std::vector<std::string>{"> GetSpaceList", R"(< 0\t0\t0\t\x92n\x8F\xE3\x83f\x83W\x83^\x83\x8B)",
                                        "> SetCh:99", "< 1"}));
}
