#include "app/gui/main_form_model.h"

#include "app/gui/main_form_layout.h"
#include "common/file_io.h"

EditColours EditColoursFor(bool enabled)
{
    if (enabled)
        return {SystemColour::Window, SystemColour::WindowText};
    return {SystemColour::ButtonFace, SystemColour::ButtonText};
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

std::string ChannelFolderOf(const std::string& exePath)
{
    return ExtractFileDir(exePath);
}
