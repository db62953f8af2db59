#include "common/settings.h"

#include "common/file_io.h"
#include "common/ini_profile.h"
#include "common/integer_text.h"

namespace {

// UTF-8, as the path is.
constexpr const char* CannotWriteSuffix = " に書き込めません";

std::string ReadText(const std::string& path, const char* key, const std::string& fallback)
{
    return ReadProfileString(path, SettingsSection, key, fallback);
}

bool ReadBool(const std::string& path, const char* key, bool fallback)
{
    const std::string text = ReadProfileString(path, SettingsSection, key, "");
    const auto value = ReadIntegerText(text);
    return value ? *value != 0 : fallback;
}

} // namespace

std::string SettingsWriteErrorText(const std::string& path)
{
    return path + CannotWriteSuffix;
}

SettingsWriteError::SettingsWriteError(const std::string& path)
    : std::runtime_error(SettingsWriteErrorText(path)), FPath(path)
{
}

std::string SettingsPathFor(const std::string& exePath)
{
    const std::string dir = ExtractFileDir(exePath);
    const std::string name = exePath.substr(dir.size());
    const auto dot = name.rfind('.');
    return dir + (dot == std::string::npos ? name : name.substr(0, dot)) + ".ini";
}

std::string DefaultSettingsPath()
{
    return ExecutableDir() + "Vernwick.ini";
}

Settings LoadSettings(const std::string& path)
{
    Settings s;
    s.RemoconAddr = ReadText(path, "RemoconAddr", s.RemoconAddr);
    s.RemoconPort = ReadText(path, "RemoconPort", s.RemoconPort);
    s.ServerPort = ReadText(path, "ServerPort", s.ServerPort);
    s.EpgDataCapBonAutoLaunch = ReadBool(path, "EpgDataCapBonAutoLaunch", s.EpgDataCapBonAutoLaunch);
    s.EpgDataCapBonExePath = ReadText(path, "EpgDataCapBonExePath", s.EpgDataCapBonExePath);
    s.EpgDataCapBonExeParam = ReadText(path, "EpgDataCapBonExeParam", s.EpgDataCapBonExeParam);
    s.EpgDataCapBonWindowText = ReadText(path, "EpgDataCapBonWindowText", s.EpgDataCapBonWindowText);
    s.MultiTuner = ReadBool(path, "MultiTuner", s.MultiTuner);
    const auto maxViewers = ReadIntegerText(ReadText(path, "MaxViewers", ""));
    if (maxViewers && *maxViewers >= 1)
        s.MaxViewers = *maxViewers;
    const auto replyLimit = ReadIntegerText(ReadText(path, "ChListReplyLimit", ""));
    if (replyLimit && *replyLimit >= 0)
        s.ChListReplyLimit = *replyLimit;
    // An absent key and an empty one differ: empty lets nobody in, and the
    // server says so when it starts.
    const std::string noKey = "\x01";
    if (std::string allowed = ReadText(path, "AllowedViewers", noKey); allowed != noKey)
        s.AllowedViewers = std::move(allowed);
    if (const auto copy = ReadIntegerText(ReadText(path, "CopyChSetToEpgTimerBon", "")))
        s.CopyChSetToEpgTimerBon = *copy != 0;
    return s;
}

void SaveSettings(const std::string& path, const Settings& s)
{
    ProfileEntries entries = {
        {"RemoconAddr", s.RemoconAddr},
        {"RemoconPort", s.RemoconPort},
        {"ServerPort", s.ServerPort},
        {"EpgDataCapBonAutoLaunch", s.EpgDataCapBonAutoLaunch ? "1" : "0"},
        {"EpgDataCapBonExePath", s.EpgDataCapBonExePath},
        {"EpgDataCapBonExeParam", s.EpgDataCapBonExeParam},
        {"EpgDataCapBonWindowText", s.EpgDataCapBonWindowText},
        {"MultiTuner", s.MultiTuner ? "1" : "0"},
    };
    if (s.CopyChSetToEpgTimerBon)
        entries.emplace_back("CopyChSetToEpgTimerBon", *s.CopyChSetToEpgTimerBon ? "1" : "0");
    if (!WriteProfileStrings(path, SettingsSection, entries))
        throw SettingsWriteError(path);
}

std::int32_t ServerPortNumber(const Settings& settings)
{
    return IntegerTextOr(settings.ServerPort, DefaultServerPort);
}

std::int32_t RemoconPortNumber(const Settings& settings)
{
    return IntegerTextOr(settings.RemoconPort, DefaultRemoconPort);
}
