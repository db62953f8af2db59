#pragma once
// The program's settings, all in section "Parameter" of one ini file.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

struct Settings {
    std::string RemoconAddr = "127.0.0.1";
    std::string RemoconPort = "1334";
    std::string ServerPort = "51334";
    bool EpgDataCapBonAutoLaunch = false;
    std::string EpgDataCapBonExePath;
    std::string EpgDataCapBonExeParam = "/min";
    std::string EpgDataCapBonWindowText = "EpgDataCap_Bon";
    bool MultiTuner = true;
    // Viewers served at once; further connections are closed at once. Read
    // from the file only: the window's save keeps whatever the user wrote.
    std::int32_t MaxViewers = 64;
    // The most bytes of a "GetChList" or "GetServiceList2" reply: TVTest reads
    // each reply with one receive of at most 4095 bytes, and whatever is left
    // would be read as the reply to its next command. 0: no limit, for a
    // client that reads until the reply goes quiet. Read from the file only.
    std::int32_t ChListReplyLimit = 4095;
    // Who may connect: IPv4 addresses and CIDR ranges, comma-separated, "*"
    // for anyone; the raw text, checked when the server starts. Nothing when
    // the key is absent (the home's own ranges). Read from the file only.
    std::optional<std::string> AllowedViewers;
    // Whether the channel setup dialog also puts the ChSet file where TVTest
    // reads it (Documents\EpgTimerBon). Nothing until the user has ticked or
    // cleared that box once: the dialog then follows whether the folder
    // exists, and the file gets no key.
    std::optional<bool> CopyChSetToEpgTimerBon;
};

inline constexpr const char* SettingsSection = "Parameter";
inline constexpr std::int32_t DefaultRemoconPort = 1334;
inline constexpr std::int32_t DefaultServerPort = 51334;

// "%s に書き込めません" (cannot write to %s), with the settings file's path.
class SettingsWriteError : public std::runtime_error {
public:
    explicit SettingsWriteError(const std::string& path);
    const std::string& Path() const { return FPath; }

private:
    std::string FPath;
};
std::string SettingsWriteErrorText(const std::string& path);

// The executable's path with its extension (from the last "." of the file
// name on) replaced by ".ini", or ".ini" appended when it has none.
std::string SettingsPathFor(const std::string& exePath);
// "Vernwick.ini" beside the running program, the file the window also uses.
std::string DefaultSettingsPath();

// Every key that is missing, empty (booleans) or not integer text (booleans,
// MaxViewers, which also takes its default below 1, and ChListReplyLimit,
// below 0) takes its default; nothing is ever rejected.
Settings LoadSettings(const std::string& path);
// Writes the eight keys the window edits, in their fixed order, then
// CopyChSetToEpgTimerBon when it holds a choice (MaxViewers,
// ChListReplyLimit and AllowedViewers are left as the file has them); throws SettingsWriteError.
void SaveSettings(const std::string& path, const Settings& settings);

// The port texts as the server start reads them: integer text, or the
// default port when the text is not integer text. No range check.
std::int32_t ServerPortNumber(const Settings& settings);
std::int32_t RemoconPortNumber(const Settings& settings);
