#pragma once
// What the channel setup dialog decides, without a window: the scan's course
// and the dialog's result, which controls are inert while it runs, the rows'
// ticks, moves and renames (refusing a name the ChSet file cannot carry),
// what Enter and "作成" do, the copy box, the size label and the repaint pace
// while rows pour in. The Win32 dialog turns messages into calls on this and
// shows what it answers; texts are UTF-8.
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "channel/arrow_repeat.h"
#include "channel/channel_list_model.h"
#include "channel/channel_scan_thread.h"
#include "common/settings.h"

class CChannelSetupModel {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr int ModalResultCancel = 2;
    static constexpr int ModalResultNo = 7;
    // While rows pour in: how often the news is taken, the progress label
    // set and the list redrawn, so that a thousand rows from a quick
    // EpgDataCap_Bon do not cost a thousand repaints.
    static constexpr int NewsIntervalMs = 20;
    static constexpr int LabelIntervalMs = 30;
    static constexpr int ListRedrawIntervalMs = 250;

    // The live settings: the scan reads its address, port and MultiTuner
    // there, the size label its ChListReplyLimit, and the copy box keeps the
    // user's choice there.
    explicit CChannelSetupModel(Settings& settings) : FSettings(settings) {}

    // A new opening: no rows, an empty name field, a scan under way. The
    // copy box shows the user's last choice, else whether TVTest's folder is there.
    void Open(bool epgTimerBonFolderExists);
    // The dialog has closed: the rows' records go.
    void ReleaseRows() { FList.Clear(); }
    std::string Host() const { return FSettings.RemoconAddr; }
    std::uint16_t Port() const;
    bool MultiTuner() const { return FSettings.MultiTuner; }

    bool Scanning() const { return FScanning; }
    // A control of ChannelSetupLayout that does nothing while the scan runs.
    bool Inert(int controlId) const;
    void RowFound(const BON_ALIAS& row) { FList.AddRow(row); }
    // The progress text to show now, or nothing when the label was set less
    // than LabelIntervalMs ago (then PendingProgress once that has passed).
    std::optional<std::string> Progress(std::string text, Clock::time_point now);
    std::optional<std::string> PendingProgress(Clock::time_point now);
    // The scan's end. A connection that failed gives the box to show, with
    // the address and the system's reason; the dialog then closes (result No).
    std::optional<std::string> ScanEnded(ChannelScanOutcome outcome, const std::string& reason);
    // "閉じる", Esc and the close box end the dialog at once, a scan too.
    void CloseRequested();
    // 0 while the dialog is open.
    int ModalResult() const { return FModalResult; }

    const ChannelListModel& List() const { return FList; }
    // A row's tick or selection as the list now has it; the name field's
    // new text. The list refuses such changes while the scan runs.
    std::string RowChanged(std::size_t row, bool checked, bool selected);
    // The arrow buttons and Alt+Up/Down: false when nothing may move.
    bool Move(ArrowButton button);

    void SetNameField(std::string bytes) { FName = std::move(bytes); }
    const std::string& NameField() const { return FName; }
    // Enter in the name field renames when the field differs from the first
    // selected row, so that a typed name is never lost to "作成"; otherwise,
    // and everywhere else, Enter is "作成".
    bool EnterRenames() const;
    // Renames the selected rows, or refuses a name the ChSet file cannot
    // carry and gives the note to show (nothing changes then).
    std::optional<std::string> Rename();

    bool CopyBoxChecked() const { return FCopyBox; }
    void SetCopyBox(bool checked);

    // The channel list the ticked rows give the viewer: its size in bytes
    // and, over ChListReplyLimit, how many channels the viewer's list shows.
    std::string SizeLabel() const;
    bool SizeOverLimit() const;

    // What "作成" does before writing anything: refuses (the copy's folder
    // is unknown), asks (the list is cut for the viewer), or writes.
    struct CreateCheck {
        enum class Kind { Write, Ask, Refuse } kind = Kind::Write;
        std::string text;
    };
    CreateCheck BeforeCreate(const std::string& copyFolder) const;
    // The files into dir, and the ChSet copy into copyFolder when the box is
    // ticked; throws FileError. The success box's text.
    std::string Create(const std::string& dir, const std::string& copyFolder) const;

private:
    struct Cut {
        std::size_t bytes;
        std::size_t channels;
        std::size_t shown;  // channels the viewer's list carries
    };
    Cut ListCut() const;

    Settings& FSettings;
    ChannelListModel FList;
    std::string FName;
    bool FScanning = false;
    bool FCopyBox = false;
    int FModalResult = 0;
    std::optional<std::string> FPendingProgress;
    Clock::time_point FLastLabel{};
};
