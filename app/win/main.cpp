// Vernwick.exe: the application window, the main window it owns, the channel
// setup dialog created hidden beside it, and the message loop.
#include <windows.h>

#include <commctrl.h>
#include <shellapi.h>

#include <memory>
#include <string>
#include <vector>

#include "app/gui/channel_setup_layout.h"
#include "app/gui/main_form_layout.h"
#include "app/win/application_window.h"
#include "app/win/channel_setup_dlg.h"
#include "app/win/error_box.h"
#include "app/win/main_form.h"
#include "app/win/speed_button.h"
#include "common/thread_base.h"

namespace {

std::vector<std::wstring> ArgumentsAfterProgram()
{
    std::vector<std::wstring> arguments;
    int count = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &count);
    for (int i = 1; argv && i < count; ++i)
        arguments.emplace_back(argv[i]);
    LocalFree(argv);
    return arguments;
}

// Systems whose manifest support predates per-monitor awareness get it here.
void BecomePerMonitorDpiAware()
{
    using SetContextFn = BOOL(WINAPI*)(HANDLE);
    HMODULE user32 = GetModuleHandleW(L"user32.dll");
    auto set = user32 ? reinterpret_cast<SetContextFn>(
                            reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")))
                      : nullptr;
    if (set)
        set(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));  // per monitor, version 2
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int showCommand)
{
    BecomePerMonitorDpiAware();
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
    InitCommonControlsEx(&controls);
    RegisterSpeedButtonClass(instance);
    TWindowBase::RegisterClass(instance, MainFormLayout::WindowClass, true);
    TWindowBase::RegisterClass(instance, ChannelSetupLayout::WindowClass, false);
    TWindowBase::RegisterClass(instance, TApplicationWindow::WindowClass, true);
    MainThreadCalls::BecomeMainThread();
    try {
        TApplicationWindow application(instance, Title());
        auto mainForm = std::make_unique<TMainForm>(instance, application, ArgumentsAfterProgram());
        application.SetMainWindow(mainForm->Handle());
        auto channelSetupDlg =
            std::make_unique<TChannelSetupDlg>(instance, mainForm->Handle(), mainForm->LiveSettings());
        mainForm->SetChannelSetupDlg(channelSetupDlg.get());
        mainForm->Show(showCommand);
        application.ShowTaskbarButton(true);
        // Until the program is asked to quit.
        RunMessages([] { return false; }, mainForm.get());
        mainForm->SetChannelSetupDlg(nullptr);
        channelSetupDlg.reset();
        mainForm.reset();
    } catch (const std::exception& error) {
        ShowErrorBox(nullptr, ErrorText(error));
    }
    return 0;
}
