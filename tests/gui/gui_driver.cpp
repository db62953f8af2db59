#include "gui/gui_driver.h"

#include <commctrl.h>
#include <objidl.h>
#include <shellapi.h>

#include <gdiplus.h>

#include <vector>

namespace gui {

namespace {

constexpr UINT SendTimeoutMs = 5000;

LRESULT Send(HWND window, UINT message, WPARAM wParam = 0, LPARAM lParam = 0, UINT timeoutMs = SendTimeoutMs)
{
    DWORD_PTR result = 0;
    SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, timeoutMs, &result);
    return static_cast<LRESULT>(result);
}

} // namespace

HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, bool visibleOnly)
{
    for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, className, caption)) != nullptr;) {
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        if (owner == pid && (!visibleOnly || IsWindowVisible(window)))
            return window;
    }
    return nullptr;
}

HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, bool visibleOnly,
                          int timeoutMs)
{
    HWND found = nullptr;
    WaitFor([&] { return (found = FindProcessWindow(pid, className, caption, visibleOnly)) != nullptr; },
              timeoutMs);
    return found;
}

std::wstring Text(HWND window)
{
    const auto length = static_cast<std::size_t>(Send(window, WM_GETTEXTLENGTH));
    std::wstring text(length + 1, L'\0');
    const auto n = static_cast<std::size_t>(Send(window, WM_GETTEXT, length + 1, reinterpret_cast<LPARAM>(text.data())));
    text.resize(n <= length ? n : length);
    return text;
}

bool SetText(HWND window, const std::wstring& text, UINT timeoutMs)
{
    return Send(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), timeoutMs) != 0;
}

bool Checked(HWND button)
{
    return Send(button, BM_GETCHECK) == BST_CHECKED;
}

bool Click(HWND button)
{
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, SendTimeoutMs, &result) != 0;
}

RECT RectInParent(HWND control)
{
    RECT r;
    GetWindowRect(control, &r);
    MapWindowPoints(HWND_DESKTOP, GetParent(control), reinterpret_cast<POINT*>(&r), 2);
    return r;
}

SIZE ClientSize(HWND window)
{
    RECT r;
    GetClientRect(window, &r);
    return {r.right - r.left, r.bottom - r.top};
}

std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, int timeoutMs)
{
    const HWND box = WaitForProcessWindow(pid, L"#32770", nullptr, true, timeoutMs);
    if (!box)
        return std::nullopt;
    MessageBoxInfo info{box, Text(box), L""};
    // The text of a message box is the static with id 65535 (0xFFFF).
    if (HWND text = GetDlgItem(box, 0xFFFF))
        info.text = Text(text);
    return info;
}

bool CloseMessageBox(HWND box, int buttonId)
{
    HWND button = GetDlgItem(box, buttonId);
    if (!button)
        return false;
    PostClick(button);
    return WaitFor([box] { return !IsWindow(box) || !IsWindowVisible(box); }, 5000);
}

bool WaitForNote(DWORD pid, int timeoutMs)
{
    std::optional<MessageBoxInfo> box;
    const bool noted = WaitFor([&] {
        return FindProcessWindow(pid, L"tooltips_class32", nullptr, true) || (box = WaitForMessageBox(pid, 0));
    }, timeoutMs);
    if (box)
        CloseMessageBox(box->window);
    return noted;
}

bool AfterPosted(HWND edit)
{
    // The edit's text limit, set by a posted message and put back after.
    const LRESULT limit = Send(edit, EM_GETLIMITTEXT);
    const WPARAM marker = static_cast<WPARAM>(limit) + 1;
    PostMessageW(edit, EM_SETLIMITTEXT, marker, 0);
    const bool arrived = WaitFor([&] { return Send(edit, EM_GETLIMITTEXT) == static_cast<LRESULT>(marker); }, 10000);
    Send(edit, EM_SETLIMITTEXT, static_cast<WPARAM>(limit));
    return arrived;
}

bool TrayIconPresent(HWND owner, UINT id)
{
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = owner;
    data.uID = id;
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
}

// ---- list views in another process ----

namespace {

constexpr std::size_t TextRoom = 1024;  // characters
constexpr std::size_t RemoteSize = 4096 + TextRoom * sizeof(wchar_t);

} // namespace

RemoteListView::RemoteListView(HWND listView) : FList(listView)
{
    DWORD pid = 0;
    GetWindowThreadProcessId(listView, &pid);
    FProcess = OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, pid);
    if (FProcess)
        FRemote = VirtualAllocEx(FProcess, nullptr, RemoteSize, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteListView::~RemoteListView()
{
    if (FRemote)
        VirtualFreeEx(FProcess, FRemote, 0, MEM_RELEASE);
    if (FProcess)
        CloseHandle(FProcess);
}

int RemoteListView::Count() const
{
    return static_cast<int>(Send(FList, LVM_GETITEMCOUNT));
}

bool RemoteListView::Checked(int row) const
{
    const auto state = static_cast<UINT>(Send(FList, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
    return (state & LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
}

template <typename Item>
std::wstring RemoteListView::RemoteText(UINT message, WPARAM wParam, Item item) const
{
    if (!FRemote)
        return L"";
    auto* base = static_cast<char*>(FRemote);
    auto* remoteText = reinterpret_cast<wchar_t*>(base + 4096);
    item.pszText = remoteText;
    item.cchTextMax = static_cast<int>(TextRoom);
    std::vector<wchar_t> text(TextRoom, L'\0');
    if (!WriteProcessMemory(FProcess, base, &item, sizeof item, nullptr) ||
        !Send(FList, message, wParam, reinterpret_cast<LPARAM>(base)) ||
        !ReadProcessMemory(FProcess, remoteText, text.data(), TextRoom * sizeof(wchar_t), nullptr))
        return L"";
    text.back() = L'\0';
    return std::wstring(text.data());
}

std::wstring RemoteListView::ItemText(int row, int column) const
{
    LVITEMW item{};
    item.iSubItem = column;
    return RemoteText(LVM_GETITEMTEXTW, static_cast<WPARAM>(row), item);
}

std::wstring RemoteListView::ColumnCaption(int column) const
{
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT;
    return RemoteText(LVM_GETCOLUMNW, static_cast<WPARAM>(column), col);
}

bool RemoteListView::SetState(int row, UINT state, UINT mask)
{
    if (!FRemote)
        return false;
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    if (!WriteProcessMemory(FProcess, FRemote, &item, sizeof item, nullptr))
        return false;
    return Send(FList, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(FRemote)) != 0;
}

// ---- screenshots ----

std::wstring ArtifactPath(const std::wstring& fileName)
{
    wchar_t folder[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(L"VERNWICK_GUI_ARTIFACTS", folder, MAX_PATH * 2);
    if (n == 0 || n >= MAX_PATH * 2)
        return fileName;
    return std::wstring(folder, n) + L"\\" + fileName;
}

bool SaveScreenshot(HWND window, const std::wstring& path)
{
    RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    if (window) {
        // Painted as it now is, moves and resizes included.
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
        GetWindowRect(window, &r);
    }
    const int width = r.right - r.left;
    const int height = r.bottom - r.top;
    if (width <= 0 || height <= 0)
        return false;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    HGDIOBJ old = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, r.left, r.top, SRCCOPY);
    SelectObject(memory, old);

    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartupInput input;
    bool saved = false;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) == Gdiplus::Ok) {
        {
            // The PNG encoder's class id.
            const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
            Gdiplus::Bitmap image(bitmap, nullptr);
            saved = image.Save(path.c_str(), &png, nullptr) == Gdiplus::Ok;
        }
        Gdiplus::GdiplusShutdown(token);
    }
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
    return saved;
}

} // namespace gui
