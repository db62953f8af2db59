#include "app/gui/main_form_model.h"

#include "app/gui/main_form_layout.h"
#include "common/file_io.h"
#include "server/patcher.h"

EditColours EditColoursFor(bool enabled)
{
    if (enabled)
        return {SystemColour::Window, SystemColour::WindowText};
    return {SystemColour::ButtonFace, SystemColour::ButtonText};
}

std::unique_ptr<TPatchedRemoconMasterThread> MakeMasterThread(const MasterThreadArguments& a)
{
    return std::make_unique<TPatchedRemoconMasterThread>(a.serverPort, a.remoconAddr, a.remoconPort, a.autoLaunch,
                                                         a.exePath, a.exeParam, a.windowText, a.channels,
                                                         a.aliases, a.multiTuner, a.createSuspended);
}

void CMainFormModel::Load(const std::string& iniPath)
{
    // The control-less fields hold their defaults when the window loads, and
    // those are the file reader's defaults too.
    settings = LoadSettings(iniPath);
}

void CMainFormModel::Save(const std::string& iniPath) const
{
    SaveSettings(iniPath, settings);
}

bool CMainFormModel::Enabled(int controlId) const
{
    using namespace MainFormLayout;
    switch (controlId) {
    case RemoconLb:
    case RemoconAddrEd:
    case RemoconPortEd:
    case ServerLb:
    case ServerPortEd:
    case MakeChannelBtn:
    case EpgDataCapBonCBox:
        return SettingsEnabled();
    case EpgDataCapBonLb:
    case EpgDataCapBonEd:
    case EpgDataCapBonBtn:
        return PathControlsEnabled();
    case StartPatchServerSB:
        return ButtonEnabled();
    default:
        return true;
    }
}

ServerAction CMainFormModel::Press()
{
    switch (FState) {
    case ServerState::Stopped:
        return ServerAction::Start;
    case ServerState::Running:
        FState = ServerState::Stopping;
        SetControlsEnabled(true);
        return ServerAction::Stop;
    case ServerState::Stopping:
        break;
    }
    return ServerAction::None;
}

void CMainFormModel::StartSucceeded()
{
    FState = ServerState::Running;
    SetControlsEnabled(false);
}

void CMainFormModel::StartFailed()
{
    FState = ServerState::Stopped;
    SetControlsEnabled(true);
}

void CMainFormModel::Finished()
{
    FState = ServerState::Stopped;
    SetControlsEnabled(true);
}

std::vector<TrayMenuItem> CMainFormModel::TrayMenu() const
{
    return {{TrayCommand::Open, L"開く(&O)", true},
            {TrayCommand::Server, ButtonDown() ? L"パッチサーバー停止(&S)\tF5" : L"パッチサーバー開始(&S)\tF5",
             ButtonEnabled()},
            {TrayCommand::Exit, L"終了(&X)", true}};
}

MasterThreadArguments CMainFormModel::Arguments(const NamedNumberList& channels, const BonAliasList& aliases) const
{
    MasterThreadArguments a;
    a.serverPort = ServerPortNumber(settings);
    a.remoconAddr = settings.RemoconAddr;
    a.remoconPort = RemoconPortNumber(settings);
    a.autoLaunch = settings.EpgDataCapBonAutoLaunch;
    a.exePath = settings.EpgDataCapBonExePath;
    a.exeParam = settings.EpgDataCapBonExeParam;
    a.windowText = settings.EpgDataCapBonWindowText;
    a.channels = channels;
    a.aliases = aliases;
    a.multiTuner = settings.MultiTuner;
    a.createSuspended = true;
    return a;
}

std::string ChannelFolderOf(const std::string& exePath)
{
    return ExtractFileDir(exePath);
}
