#include <windows.h>

#include <algorithm>
#include <chrono>

#include "common/file_io.h"
#include "process/command_line.h"
#include "tools/sleeper/sleeper.h"

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return DefWindowProcA(window, message, wParam, lParam);
}

} // namespace

bool PrepareForQuitRequest(const SleeperOptions& options)
{
    const HINSTANCE instance = GetModuleHandleA(nullptr);
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = &WindowProc;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = "VernwickSleeper";
    RegisterClassA(&windowClass);
    // WM_QUIT reaches the program only through a window of its own.
    bool any = false;
    for (const std::string& text : options.windows) {
        if (CreateWindowExA(0, windowClass.lpszClassName, text.c_str(), WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                            CW_USEDEFAULT, 200, 100, nullptr, nullptr, instance, nullptr))
            any = true;
    }
    return any;
}

bool WaitUntilAskedToQuit(const SleeperOptions& options)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(options.exitAfterMs);
    for (;;) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            if (msg.message == WM_QUIT) {
                if (!options.ignoreQuit)
                    return true;
                continue;
            }
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        if (!options.exitFile.empty() && PathExists(options.exitFile))
            return false;
        // The exit file is looked for between messages.
        DWORD wait = options.exitFile.empty() ? INFINITE : 10;
        if (options.exitAfterMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0)
                return false;
            wait = std::min(wait, static_cast<DWORD>(left.count()));
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}

bool SpawnProgram(const std::string& exe, const std::vector<std::string>& args)
{
    std::string line = "\"" + exe + "\"";
    for (const std::string& arg : args)
        line += " " + QuoteArgument(arg);
    std::vector<char> buffer(line.begin(), line.end());
    buffer.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!CreateProcessA(exe.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return true;
}
