#pragma once
// What the main window decides, without a window: which controls are
// enabled, the server button's states, the settings it holds and the
// arguments it gives the patch server. The Win32 view only mirrors this.
#include <memory>
#include <string>
#include <vector>

#include "common/bon_alias.h"
#include "common/named_number.h"
#include "common/settings.h"

class TPatchedRemoconMasterThread;

enum class ServerState {
    Stopped,   // button up and enabled, settings enabled
    Running,   // button down, settings disabled
    Stopping,  // button up and disabled until the server has ended, settings enabled
};

// What a press of the server button asks the window to do.
enum class ServerAction { None, Start, Stop };

// The system colours of an edit field, which follow its enabled state.
enum class SystemColour { Window, WindowText, ButtonFace, ButtonText };
struct EditColours {
    SystemColour background;
    SystemColour text;
};
EditColours EditColoursFor(bool enabled);


// The tray icon's right-click menu.
enum class TrayCommand { Open = 1, Server, Exit };
struct TrayMenuItem {
    TrayCommand command;
    const wchar_t* caption;  // with the key after a TAB, as menus show it
    bool enabled;
};

// Adding the tray icon fails while there is no taskbar (at logon with "/min",
// or while Explorer restarts). A failed add is tried again every RetryMs for
// a minute; then the window is shown rather than left hidden for good.
class CTrayIconRetry {
public:
    static constexpr int RetryMs = 2000;
    static constexpr int GiveUpMs = 60000;
    // An add failed: true to try again in RetryMs, false to show the window.
    bool Failed() { return ++FFailures * RetryMs <= GiveUpMs; }
    void Succeeded() { FFailures = 0; }

private:
    int FFailures = 0;
};

class CMainFormModel {
public:
    // The eight settings as the controls and the three control-less fields
    // hold them (code page 932 bytes). The view writes every edit here as it
    // happens, so this is the live copy the file and the server start read.
    Settings settings;

    // Replaces the settings with the file's, each missing key taking its default.
    void Load(const std::string& iniPath);
    // All eight keys; throws SettingsWriteError.
    void Save(const std::string& iniPath) const;

    // Enabled state of a control of MainFormLayout.
    bool Enabled(int controlId) const;
    bool SettingsEnabled() const { return FSettingsEnabled; }
    bool PathControlsEnabled() const { return SettingsEnabled() && settings.EpgDataCapBonAutoLaunch; }

    ServerState State() const { return FState; }
    bool ButtonDown() const { return FState == ServerState::Running; }
    bool ButtonEnabled() const { return FState != ServerState::Stopping; }

    // A click on the server button. While stopping the button is disabled,
    // and a click that reaches it anyway is ignored.
    ServerAction Press();
    // The outcome of a Start: running, or back to stopped (button up).
    void StartSucceeded();
    void StartFailed();
    // ServerFinished: whatever the state, the server has ended.
    void Finished();
    // The settings controls are locked while the button is down; the path
    // controls also follow the check box while they are not.
    void SetControlsEnabled(bool enable) { FSettingsEnabled = enable; }

    // Open, the server button's action as its state is, and exit.
    std::vector<TrayMenuItem> TrayMenu() const;


private:
    ServerState FState = ServerState::Stopped;
    bool FSettingsEnabled = true;
};

// The folder of the executable, up to and including its last separator,
// where the channel files are read from.
std::string ChannelFolderOf(const std::string& exePath);
