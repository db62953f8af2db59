// The settings file, through whichever ini service the platform has; the same
// expectations hold for both.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include "common/file_io.h"
#include "common/ini_profile.h"
#include "common/ini_text.h"
#include "common/settings.h"
#include "server/allowed_viewers.h"
#include "support/run_tool.h"
#include "support/temp_dir.h"

namespace {

using Values = std::map<std::string, std::string>;

// Every value the settings hold, by key, as text; and the two ports as the
// server start reads them.
Values Read(const std::string& path)
{
    const Settings s = LoadSettings(path);
    const auto flag = [](bool on) { return on ? "1" : "0"; };
    return {{"RemoconAddr", s.RemoconAddr}, {"RemoconPort", s.RemoconPort}, {"ServerPort", s.ServerPort},
            {"EpgDataCapBonAutoLaunch", flag(s.EpgDataCapBonAutoLaunch)}, {"MultiTuner", flag(s.MultiTuner)},
            {"EpgDataCapBonExePath", s.EpgDataCapBonExePath}, {"EpgDataCapBonExeParam", s.EpgDataCapBonExeParam},
            {"EpgDataCapBonWindowText", s.EpgDataCapBonWindowText}, {"MaxViewers", std::to_string(s.MaxViewers)},
            {"ChListReplyLimit", std::to_string(s.ChListReplyLimit)},
            {"AllowedViewers", s.AllowedViewers.value_or("(absent)")},
            {"CopyChSetToEpgTimerBon", s.CopyChSetToEpgTimerBon ? flag(*s.CopyChSetToEpgTimerBon) : "(absent)"},
            {"server port", std::to_string(ServerPortNumber(s))},
            {"remocon port", std::to_string(RemoconPortNumber(s))}};
}

// The keys the window saves.
const char* const WindowKeys[] = {"RemoconAddr", "RemoconPort", "ServerPort", "EpgDataCapBonAutoLaunch",
                                  "EpgDataCapBonExePath", "EpgDataCapBonExeParam", "EpgDataCapBonWindowText",
                                  "MultiTuner"};

} // namespace

TEST(Settings, TheFileBesideTheProgramMissingGivesDefaultsAndSaveAndTheShippedFileHoldEveryKeyAtIt)
{
    EXPECT_EQ(SettingsPathFor("D:\\Apps\\x.exe"), "D:\\Apps\\x.ini");
    EXPECT_EQ(SettingsPathFor("/opt/vernwick/vernwick-cli"), "/opt/vernwick/vernwick-cli.ini");
    EXPECT_EQ(SettingsPathFor("/opt/v.1/a.b.exe"), "/opt/v.1/a.b.ini");
    EXPECT_EQ(ExtractFileName(DefaultSettingsPath()), "Vernwick.ini");
    TempDir dir;
    const std::string path = dir.File("Vernwick.ini");
    const Values defaults = Read(path);
    EXPECT_EQ(defaults, (Values{{"RemoconAddr", "127.0.0.1"}, {"RemoconPort", "1334"}, {"ServerPort", "51334"},
                                {"EpgDataCapBonAutoLaunch", "0"}, {"EpgDataCapBonExePath", ""},
                                {"EpgDataCapBonExeParam", "/min"}, {"EpgDataCapBonWindowText", "EpgDataCap_Bon"},
                                {"MultiTuner", "1"}, {"MaxViewers", "64"}, {"ChListReplyLimit", "4095"},
                                {"AllowedViewers", "(absent)"}, {"CopyChSetToEpgTimerBon", "(absent)"},
                                {"server port", "51334"}, {"remocon port", "1334"}}));
    // The EpgTimerBon copy is no key until the user has chosen, shipped file
    // included; MaxViewers is none the window saves, but there for the user.
    const auto holdsEveryKey = [&](bool shipped) {
        for (const char* key : WindowKeys)
            EXPECT_EQ(ReadProfileString(path, SettingsSection, key, "(none)"), defaults.at(key)) << key;
        EXPECT_EQ(ReadProfileString(path, SettingsSection, "MaxViewers", "(none)"), shipped ? "64" : "(none)");
        EXPECT_EQ(ReadProfileString(path, SettingsSection, "CopyChSetToEpgTimerBon", "(none)"), "(none)");
    };
    SaveSettings(path, LoadSettings(path));
    holdsEveryKey(false);

    // The commented file that ships with this platform's package.
    const auto shipped = ReadWholeFile(VERNWICK_SHIPPED_INI);
    ASSERT_TRUE(shipped);
    ASSERT_TRUE(ReplaceFileAtomically(path, *shipped));
    Values read = Read(path);
    // The home's ranges, written out for the user.
    EXPECT_EQ(read["AllowedViewers"],
              "127.0.0.0/8, 10.0.0.0/8, 172.16.0.0/12, 192.168.0.0/16, 169.254.0.0/16, 100.64.0.0/10");
    read["AllowedViewers"] = defaults.at("AllowedViewers");
    EXPECT_EQ(read, defaults);
    holdsEveryKey(true);

    // Saving other values keeps every line that is no key as shipped, in
    // order: the comments hold, and so does the layout (Wine's profile
    // service drops empty lines).
    Settings changed = LoadSettings(path);
    changed.RemoconAddr = "192.168.1.2";
    changed.EpgDataCapBonAutoLaunch = true;
    SaveSettings(path, changed);
    const auto notKeys = [](const std::string& text) {
        std::vector<std::string> lines = Lines(text);
        std::erase_if(lines, [](const std::string& line) { return line.find('=') != std::string::npos; });
        return lines;
    };
    EXPECT_EQ(notKeys(ReadWholeFile(path).value_or("")), notKeys(*shipped));
}

TEST(Settings, ValuesAreReadKeyByKeyWithTheirOwnFallbacks)
{
    TempDir dir;
    const std::string path = dir.File("Vernwick.ini");
    const std::string katakana = "\x83\x65\x83\x58\x83\x67";
    for (const auto& [line, key, value] : std::vector<std::tuple<std::string, std::string, std::string>>{
             {"ServerPort=abc", "ServerPort", "abc"},
             {"ServerPort=abc", "server port", "51334"},
             {"RemoconPort=0x537", "remocon port", "1335"},
             {"RemoconPort=1335 ", "remocon port", "1335"},
             {"remoconaddr=tuner", "RemoconAddr", "tuner"}, // keys in any case
             {"EpgDataCapBonExeParam=", "EpgDataCapBonExeParam", ""}, // present but empty: not "/min"
             {"EpgDataCapBonWindowText=" + katakana, "EpgDataCapBonWindowText", katakana}, // bytes untouched
             {"EpgDataCapBonAutoLaunch=1", "EpgDataCapBonAutoLaunch", "1"},
             {"EpgDataCapBonAutoLaunch=", "EpgDataCapBonAutoLaunch", "0"}, // empty boolean: default
             {"MultiTuner=0x0", "MultiTuner", "0"},
             {"MultiTuner=yes", "MultiTuner", "1"}, // a word is no integer: default
             {"MaxViewers=8", "MaxViewers", "8"},
             {"MaxViewers=0", "MaxViewers", "64"},
             {"MaxViewers=many", "MaxViewers", "64"},
             // 0 (no limit) is a value; below 0 or no integer is not.
             {"ChListReplyLimit=0", "ChListReplyLimit", "0"},
             {"ChListReplyLimit=8000", "ChListReplyLimit", "8000"},
             {"ChListReplyLimit=-1", "ChListReplyLimit", "4095"},
             {"ChListReplyLimit=big", "ChListReplyLimit", "4095"},
             {"ChListReplyLimit=", "ChListReplyLimit", "4095"},
             // An absent key and an empty one differ.
             {"AllowedViewers=", "AllowedViewers", ""},
             {"AllowedViewers=*", "AllowedViewers", "*"},
             {"AllowedViewers=192.168.1.0/24, 10.0.0.7", "AllowedViewers", "192.168.1.0/24, 10.0.0.7"},
             {"CopyChSetToEpgTimerBon=yes", "CopyChSetToEpgTimerBon", "(absent)"}, // no integer: no choice
             {"CopyChSetToEpgTimerBon=0", "CopyChSetToEpgTimerBon", "0"},
             // Values are cut at 2047 bytes.
             {"RemoconAddr=" + std::string(3000, 'a'), "RemoconAddr", std::string(2047, 'a')}}) {
        ASSERT_TRUE(ReplaceFileAtomically(path, "[Parameter]\r\n" + line + "\n"));
        EXPECT_EQ(Read(path).at(key), value) << line;
    }

    // The EpgTimerBon choice is written once made, and only then.
    Settings s;
    for (const bool copy : {false, true}) {
        s.CopyChSetToEpgTimerBon = copy;
        SaveSettings(path, s);
        EXPECT_EQ(Read(path).at("CopyChSetToEpgTimerBon"), copy ? "1" : "0");
    }
}

TEST(Settings, AllowedViewersAreAddressesAndRangesOrAnyoneAndTheHomeByDefault)
{
    const auto address = [](std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
        const std::uint8_t bytes[4] = {a, b, c, d};
        std::uint32_t network = 0;
        std::memcpy(&network, bytes, 4);
        return network;
    };
    const std::uint32_t probes[] = {address(127, 0, 0, 1), address(10, 9, 8, 7),     address(172, 31, 255, 1),
                                    address(172, 32, 0, 1), address(192, 168, 3, 4), address(169, 254, 0, 9),
                                    address(100, 127, 1, 1), address(100, 128, 0, 1), address(8, 8, 8, 8)};
    // Which of the probes each setting lets in, in their order.
    for (const auto& [text, pattern] : std::vector<std::pair<std::optional<std::string>, std::string>>{
             {std::nullopt, "111011100"},
             {"*", "111111111"},
             {"8.8.8.8", "000000001"},
             {" 192.168.3.99/24 ,\t172.32.0.1", "000110000"},
             {"100.64.0.0/10, 0.0.0.0/0", "111111111"},
             {"10.9.8.7/32,127.0.0.0/8", "110000000"}}) {
        std::string bad;
        const auto viewers = CAllowedViewers::FromSetting(text, bad);
        ASSERT_TRUE(viewers) << text.value_or("(absent)") << " " << bad;
        std::string got;
        for (const std::uint32_t probe : probes)
            got += viewers->Allows(probe) ? '1' : '0';
        EXPECT_EQ(got, pattern) << text.value_or("(absent)");
    }
    // A malformed entry is named as it was written, blanks aside.
    for (const auto& [text, entry] : std::vector<std::pair<std::string, std::string>>{
             {"", ""}, {"192.168.1.0/24, ", ""}, {"10.0.0.0/8, 192.168.1/24", "192.168.1/24"}, {"256.1.1.1", "256.1.1.1"},
             {"10.0.0.1/33", "10.0.0.1/33"}, {"10.0.0.1/-1", "10.0.0.1/-1"}, {"localhost", "localhost"},
             {"::1", "::1"}, {"1.2.3.4.5", "1.2.3.4.5"}, {"1.2.3.4/", "1.2.3.4/"}, {" *x ", "*x"}}) {
        std::string bad = "unset";
        EXPECT_FALSE(CAllowedViewers::Parse(text, bad)) << text;
        EXPECT_EQ(bad, entry) << text;
    }
}

TEST(Settings, SaveReplacesInPlaceKeepsEverythingElseAndNamesAFileItCannotWrite)
{
    TempDir dir;
    const std::string path = dir.File("Vernwick.ini");
    ASSERT_TRUE(ReplaceFileAtomically(path, "[Other]\r\nServerPort=1\r\n[Parameter]\r\nUnknown=keep me\r\n"
                                            "ServerPort=abc\r\nremoconaddr=old\r\nMaxViewers=5\r\n\r\n"
                                            "[Tail]\r\nx=y\r\n"));
    Settings s = LoadSettings(path);
    s.RemoconAddr = "tuner.local";
    SaveSettings(path, s);
    EXPECT_EQ(std::tuple(ReadProfileString(path, "Other", "ServerPort", ""),
                         ReadProfileString(path, "Parameter", "Unknown", ""), ReadProfileString(path, "Tail", "x", "")),
              std::tuple("1", "keep me", "y"));
    // A key in another case is the same key; MaxViewers is not written by a
    // save, and kept.
    const Values back = Read(path);
    EXPECT_EQ(std::tuple(back.at("RemoconAddr"), back.at("ServerPort"), back.at("MaxViewers")),
              std::tuple("tuner.local", "abc", "5"));
    // The new keys went into their own section, not after [Tail].
    const std::string text = ReadWholeFile(path).value_or("");
    EXPECT_LT(text.find("RemoconAddr=tuner.local"), text.find("[Tail]"));
    EXPECT_EQ(text.find("ServerPort=abc"), text.rfind("ServerPort=abc")); // replaced, not repeated
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));

    // A folder where the file should be cannot be replaced by a file.
    const std::string folder = dir.File("folder.ini");
    std::filesystem::create_directory(folder);
    try {
        SaveSettings(folder, Settings());
        ADD_FAILURE() << "save into a folder reported success";
    } catch (const SettingsWriteError& e) {
        EXPECT_EQ(std::pair(e.Path(), std::string(e.what())), std::pair(folder, folder + " に書き込めません"));
    }
    EXPECT_TRUE(std::filesystem::is_directory(folder));

    // A relative path names the file from the current folder.
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::string read = LoadSettings("Vernwick.ini").RemoconAddr;
    EXPECT_NO_THROW(SaveSettings("rel.ini", Settings()));
    std::filesystem::current_path(previous);
    EXPECT_EQ(read, "tuner.local");
    EXPECT_EQ(ReadProfileString(dir.File("rel.ini"), SettingsSection, "RemoconAddr", ""), "127.0.0.1");
}

TEST(IniText, AKeyAddedAfterALastLineEndingInALoneCrLeavesThatLineAsItWas)
{
    // The new key goes after the section's last line or into a new section
    // at the end; either way the old last line must not keep its CR as text.
    for (const char* section : {"Parameter", "Other"}) {
        const std::string text = std::string("[") + section + "]\r\nA=1\r";
        const std::string written = WriteProfileText(text, "Parameter", {{"B", "2"}});
        EXPECT_EQ(ReadProfileText(written, section, "A", ""), "1") << section;
        EXPECT_EQ(ReadProfileText(written, "Parameter", "B", ""), "2") << section;
    }
}
