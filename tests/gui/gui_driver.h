#pragma once
// Driving another process's windows the way a person would, with window
// messages: finding windows and controls, reading and setting text, clicks,
// message boxes, list views through the other process's memory, and
// screenshots. Every wait is a bounded poll.
#include <windows.h>

#include <commctrl.h>

#include <optional>
#include <string>

#include "support/server_fixture.h"

namespace gui {

// A top-level window of process pid with the class name (and caption, when
// given); only visible ones when visibleOnly.
HWND FindProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption = nullptr,
                       bool visibleOnly = false);
HWND WaitForProcessWindow(DWORD pid, const wchar_t* className, const wchar_t* caption, bool visibleOnly,
                          int timeoutMs);

std::wstring Text(HWND window);
// False when it did not answer within timeoutMs.
bool SetText(HWND window, const std::wstring& text, UINT timeoutMs = 5000);
inline bool Enabled(HWND window) { return IsWindowEnabled(window) != FALSE; }
inline bool Visible(HWND window) { return IsWindowVisible(window) != FALSE; }
bool Checked(HWND button);
// A click whose action opens nothing modal: it returns once handled.
bool Click(HWND button);
// A click whose action may open a modal window, which would block a sent one.
inline void PostClick(HWND button) { PostMessageW(button, BM_CLICK, 0, 0); }
// A control's rectangle in its parent's client coordinates.
RECT RectInParent(HWND control);
SIZE ClientSize(HWND window);

struct MessageBoxInfo {
    HWND window = nullptr;
    std::wstring caption;
    std::wstring text;
};
// A message box (or any dialog) of process pid, once it is on screen.
std::optional<MessageBoxInfo> WaitForMessageBox(DWORD pid, int timeoutMs);
// Presses OK (or Cancel) and waits until the box has gone.
bool CloseMessageBox(HWND box, int buttonId = IDOK);
// A note to the user: a balloon tip, or a message box (closed here) where
// no balloon can show.
bool WaitForNote(DWORD pid, int timeoutMs);
// Returns once the thread of edit has taken every message posted to it so
// far (or has gone into a modal loop after them): a marker posted behind
// them has arrived.
bool AfterPosted(HWND edit);

// Whether the tray holds the icon (owner, id): asking the tray to change
// nothing about it succeeds only for an icon it has.
bool TrayIconPresent(HWND owner, UINT id);

// A list view of another process, read and changed through that process's
// memory (the item structures must live there).
class RemoteListView {
public:
    explicit RemoteListView(HWND listView);
    ~RemoteListView();
    RemoteListView(const RemoteListView&) = delete;
    RemoteListView& operator=(const RemoteListView&) = delete;

    int Count() const;
    std::wstring ItemText(int row, int column) const;
    std::wstring ColumnCaption(int column) const;
    bool Checked(int row) const;
    // row -1: every row.
    bool SetChecked(int row, bool checked)
    {
        return SetState(row, INDEXTOSTATEIMAGEMASK(checked ? 2 : 1), LVIS_STATEIMAGEMASK);
    }
    bool SetSelected(int row, bool selected) { return SetState(row, selected ? LVIS_SELECTED : 0, LVIS_SELECTED); }

private:
    bool SetState(int row, UINT state, UINT mask);
    // Sends message with the structure (whose text points past it) copied
    // into the list's process, and reads the text back.
    template <typename Item>
    std::wstring RemoteText(UINT message, WPARAM wParam, Item item) const;

    HWND FList;
    HANDLE FProcess = nullptr;
    void* FRemote = nullptr;  // room for one structure and its text
};

// The folder the screenshots go to (VERNWICK_GUI_ARTIFACTS, else the current one).
std::wstring ArtifactPath(const std::wstring& fileName);
// A PNG of a window as it is on screen (the whole screen for null), copied
// from the screen with BitBlt.
bool SaveScreenshot(HWND window, const std::wstring& path);

} // namespace gui
