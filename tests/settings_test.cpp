// The settings file, through whichever ini service the platform has; the same
// expectations hold for both.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <fstream>
#include <tuple>
#include <utility>
#include <vector>

#include "common/file_io.h"
#include "common/ini_profile.h"
#include "common/ini_text.h"
#include "common/settings.h"
#include "server/allowed_viewers.h"
#include "support/temp_dir.h"

namespace {

void WriteFile(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out << bytes;
}

std::string ReadFile(const std::string& path)
{
    return ReadWholeFile(path).value_or("<missing>");
}

} // namespace

TEST(Settings, FileNameFollowsTheExecutable)
{
    EXPECT_EQ(SettingsPathFor("D:\\Apps\\x.exe"), "D:\\Apps\\x.ini");
    EXPECT_EQ(SettingsPathFor("/opt/vernwick/vernwick-cli"), "/opt/vernwick/vernwick-cli.ini");
    EXPECT_EQ(SettingsPathFor("/opt/v.1/a.b.exe"), "/opt/v.1/a.b.ini");
    EXPECT_EQ(ExtractFileName(DefaultSettingsPath()), "Vernwick.ini");
}

TEST(Settings, MissingFileGivesDefaultsAndSaveCreatesEveryKey)
{
    TempDir dir;
    const std::string path = dir.File("Vernwick.ini");
    const Settings s = LoadSettings(path);
    EXPECT_EQ(s.RemoconAddr, "127.0.0.1");
    EXPECT_EQ(s.RemoconPort, "1334");
    EXPECT_EQ(s.ServerPort, "51334");
    EXPECT_FALSE(s.EpgDataCapBonAutoLaunch);
    EXPECT_EQ(s.EpgDataCapBonExePath, "");
    EXPECT_EQ(s.EpgDataCapBonExeParam, "/min");
    EXPECT_EQ(s.EpgDataCapBonWindowText, "EpgDataCap_Bon");
    EXPECT_TRUE(s.MultiTuner);
    EXPECT_EQ(s.MaxViewers, 64);

    SaveSettings(path, s);
    const char* const keys[] = {"RemoconAddr", "RemoconPort", "ServerPort", "EpgDataCapBonAutoLaunch",
                                "EpgDataCapBonExePath", "EpgDataCapBonExeParam", "EpgDataCapBonWindowText",
                                "MultiTuner"};
    for (const char* key : keys)
        EXPECT_NE(ReadProfileString(path, "Parameter", key, "<none>"), "<none>") << key;
    EXPECT_EQ(ReadProfileString(path, "Parameter", "EpgDataCapBonExeParam", ""), "/min");
    EXPECT_EQ(ReadProfileString(path, "Parameter", "MultiTuner", ""), "1");
    EXPECT_EQ(ReadProfileString(path, "Parameter", "EpgDataCapBonAutoLaunch", ""), "0");

    // The commented file that ships with this platform's package holds every
    // key, each at its default.
    const auto shipped = ReadWholeFile(VERNWICK_SHIPPED_INI);
    ASSERT_TRUE(shipped);
    WriteFile(path, *shipped);
    const Settings read = LoadSettings(path);
    EXPECT_EQ(std::tie(read.RemoconAddr, read.RemoconPort, read.ServerPort, read.EpgDataCapBonAutoLaunch,
                       read.EpgDataCapBonExePath, read.EpgDataCapBonExeParam, read.EpgDataCapBonWindowText,
                       read.MultiTuner, read.MaxViewers),
              std::tie(s.RemoconAddr, s.RemoconPort, s.ServerPort, s.EpgDataCapBonAutoLaunch, s.EpgDataCapBonExePath,
                       s.EpgDataCapBonExeParam, s.EpgDataCapBonWindowText, s.MultiTuner, s.MaxViewers));
    for (const char* key : keys)
        EXPECT_NE(ReadProfileString(path, "Parameter", key, "<none>"), "<none>") << key;
    // Not one the window saves, but there for the user to find.
    EXPECT_EQ(ReadProfileString(path, "Parameter", "MaxViewers", "<none>"), "64");
    // The EpgTimerBon copy is no key until the user has chosen, shipped file included.
    EXPECT_FALSE(read.CopyChSetToEpgTimerBon);
    EXPECT_EQ(ReadProfileString(path, "Parameter", "CopyChSetToEpgTimerBon", "<none>"), "<none>");

    // Saving other values keeps every line that is no key as shipped, in
    // order: the comments hold, and so does the layout (Wine's profile
    // service drops empty lines).
    Settings changed = read;
    changed.RemoconAddr = "192.168.1.2";
    changed.EpgDataCapBonAutoLaunch = true;
    SaveSettings(path, changed);
    const auto notKeys = [](const std::string& text) {
        std::vector<std::string> lines;
        for (std::size_t start = 0, end = 0; start < text.size(); start = end + 1) {
            end = std::min(text.find('\n', start), text.size());
            const std::string line = text.substr(start, end - start);
            if (line.find('=') == std::string::npos)
                lines.push_back(line);
        }
        return lines;
    };
    EXPECT_EQ(notKeys(ReadWholeFile(path).value_or("")), notKeys(*shipped));
}

TEST(Settings, TheEpgTimerBonChoiceIsWrittenOnlyOnceMade)
{
    TempDir dir;
    const std::string path = dir.File("Vernwick.ini");
    Settings s = LoadSettings(path);
    ASSERT_FALSE(s.CopyChSetToEpgTimerBon);
    SaveSettings(path, s);
    EXPECT_EQ(ReadProfileString(path, "Parameter", "CopyChSetToEpgTimerBon", "<none>"), "<none>");
    for (const bool copy : {false, true}) {
        s.CopyChSetToEpgTimerBon = copy;
        SaveSettings(path, s);
        EXPECT_EQ(ReadProfileString(path, "Parameter", "CopyChSetToEpgTimerBon", ""), copy ? "1" : "0");
        EXPECT_EQ(LoadSettings(path).CopyChSetToEpgTimerBon, std::optional<bool>(copy));
    }
    WriteFile(path, "[Parameter]\nCopyChSetToEpgTimerBon=yes\n");
    EXPECT_FALSE(LoadSettings(path).CopyChSetToEpgTimerBon);  // no integer: no choice
}

TEST(Settings, ValuesAreReadKeyByKeyWithTheirOwnFallbacks)
{
    TempDir dir;
    const std::string path = dir.File("Vernwick.ini");
    WriteFile(path, "[Parameter]\r\n"
                    "ServerPort=abc\r\n"
                    "RemoconPort=0x536\r\n"
                    "EpgDataCapBonExeParam=\r\n"
                    "EpgDataCapBonAutoLaunch=1\r\n"
                    "MultiTuner=0x0\r\n"
                    "EpgDataCapBonWindowText=\x83\x65\x83\x58\x83\x67\r\n");
    Settings s = LoadSettings(path);
    EXPECT_EQ(s.ServerPort, "abc");
    EXPECT_EQ(ServerPortNumber(s), 51334);
    EXPECT_EQ(RemoconPortNumber(s), 0x536);
    EXPECT_EQ(s.EpgDataCapBonExeParam, ""); // present but empty: not "/min"
    EXPECT_TRUE(s.EpgDataCapBonAutoLaunch);
    EXPECT_FALSE(s.MultiTuner);
    EXPECT_EQ(s.EpgDataCapBonWindowText, "\x83\x65\x83\x58\x83\x67"); // bytes untouched

    WriteFile(path, "[Parameter]\nMultiTuner=yes\nEpgDataCapBonAutoLaunch=\nRemoconPort=1334 \nMaxViewers=8\n");
    s = LoadSettings(path);
    EXPECT_TRUE(s.MultiTuner);                // a word is no integer: default
    EXPECT_FALSE(s.EpgDataCapBonAutoLaunch);  // empty boolean: default
    EXPECT_EQ(RemoconPortNumber(s), 1334);
    EXPECT_EQ(s.MaxViewers, 8);
    for (const char* bad : {"0", "-3", "many"}) {
        WriteFile(path, std::string("[Parameter]\nMaxViewers=") + bad + "\n");
        EXPECT_EQ(LoadSettings(path).MaxViewers, 64) << bad;
    }
    // ChListReplyLimit: 0 (no limit) is a value; below 0 or no integer is not.
    for (const auto& [text, limit] : std::vector<std::pair<std::string, int>>{
             {"0", 0}, {"8000", 8000}, {"-1", 4095}, {"big", 4095}, {"", 4095}}) {
        WriteFile(path, "[Parameter]\nChListReplyLimit=" + text + "\n");
        EXPECT_EQ(LoadSettings(path).ChListReplyLimit, limit) << text;
    }
    // AllowedViewers: an absent key and an empty one differ.
    EXPECT_FALSE(LoadSettings(path).AllowedViewers);
    for (const std::string text : {"", "*", "192.168.1.0/24, 10.0.0.7"}) {
        WriteFile(path, "[Parameter]\nAllowedViewers=" + text + "\n");
        EXPECT_EQ(LoadSettings(path).AllowedViewers, std::optional<std::string>(text)) << text;
    }

    // Values are cut at 2047 bytes.
    WriteFile(path, "[Parameter]\nRemoconAddr=" + std::string(3000, 'a') + "\n");
    EXPECT_EQ(LoadSettings(path).RemoconAddr, std::string(2047, 'a'));
}

TEST(Settings, AllowedViewersAreAddressesAndRangesOrAnyoneAndTheHomeByDefault)
{
    const auto address = [](unsigned a, unsigned b, unsigned c, unsigned d) {
        const unsigned char bytes[4] = {static_cast<unsigned char>(a), static_cast<unsigned char>(b),
                                        static_cast<unsigned char>(c), static_cast<unsigned char>(d)};
        std::uint32_t network = 0;
        std::memcpy(&network, bytes, 4);
        return network;
    };
    const std::uint32_t probes[] = {address(127, 0, 0, 1), address(10, 9, 8, 7),     address(172, 31, 255, 1),
                                    address(172, 32, 0, 1), address(192, 168, 3, 4), address(169, 254, 0, 9),
                                    address(100, 127, 1, 1), address(100, 128, 0, 1), address(8, 8, 8, 8)};
    // Which of the probes each setting lets in, in their order.
    const std::vector<std::pair<std::optional<std::string>, std::string>> allowed = {
        {std::nullopt, "111011100"},
        {"*", "111111111"},
        {"8.8.8.8", "000000001"},
        {" 192.168.3.99/24 ,\t172.32.0.1", "000110000"},
        {"100.64.0.0/10, 0.0.0.0/0", "111111111"},
        {"10.9.8.7/32,127.0.0.0/8", "110000000"},
    };
    for (const auto& [text, pattern] : allowed) {
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

TEST(Settings, SaveReplacesInPlaceAndKeepsEverythingElse)
{
    TempDir dir;
    const std::string path = dir.File("Vernwick.ini");
    WriteFile(path, "[Other]\r\nServerPort=1\r\n[Parameter]\r\nUnknown=keep me\r\nServerPort=abc\r\n"
                    "MaxViewers=5\r\n\r\n[Tail]\r\nx=y\r\n");
    Settings s = LoadSettings(path);
    EXPECT_EQ(s.ServerPort, "abc");
    s.RemoconAddr = "tuner.local";
    SaveSettings(path, s);

    EXPECT_EQ(ReadProfileString(path, "Other", "ServerPort", ""), "1");
    EXPECT_EQ(ReadProfileString(path, "Parameter", "Unknown", ""), "keep me");
    EXPECT_EQ(ReadProfileString(path, "Parameter", "ServerPort", ""), "abc");
    EXPECT_EQ(ReadProfileString(path, "Tail", "x", ""), "y");
    const Settings back = LoadSettings(path);
    EXPECT_EQ(back.RemoconAddr, "tuner.local");
    EXPECT_EQ(back.ServerPort, "abc");
    EXPECT_EQ(back.MaxViewers, 5); // not written by a save, and kept

    // The new keys went into their own section, not after [Tail].
    const std::string text = ReadFile(path);
    EXPECT_LT(text.find("RemoconAddr=tuner.local"), text.find("[Tail]"));
    EXPECT_EQ(text.find("ServerPort=abc"), text.rfind("ServerPort=abc")); // replaced, not repeated
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST(Settings, ARelativePathNamesTheFileFromTheCurrentFolder)
{
    TempDir dir;
    WriteFile(dir.File("rel.ini"), "[Parameter]\nRemoconAddr=here\n");
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::string read = LoadSettings("rel.ini").RemoconAddr;
    bool saved = true;
    try {
        SaveSettings("rel.ini", Settings());
    } catch (const SettingsWriteError&) {
        saved = false;
    }
    std::filesystem::current_path(previous);
    EXPECT_EQ(read, "here");
    EXPECT_TRUE(saved);
    EXPECT_EQ(ReadProfileString(dir.File("rel.ini"), "Parameter", "RemoconAddr", ""), "127.0.0.1");
}

TEST(Settings, AFailedSaveLeavesTheOldFileAndNamesIt)
{
    TempDir dir;
    // A folder where the file should be cannot be replaced by a file.
    const std::string path = dir.File("Vernwick.ini");
    std::filesystem::create_directory(path);
    try {
        SaveSettings(path, Settings());
        FAIL() << "save into a folder reported success";
    } catch (const SettingsWriteError& e) {
        EXPECT_EQ(e.Path(), path);
        EXPECT_EQ(std::string(e.what()), path + " に書き込めません");
    }
    EXPECT_TRUE(std::filesystem::is_directory(path));
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
