#include "app/gui/channel_setup_model.h"

#include <utility>

#include "app/gui/app_text.h"
#include "app/gui/channel_setup_layout.h"
#include "channel/channel_files.h"
#include "channel/channel_scan.h"
#include "common/integer_text.h"
#include "common/terminal_text.h"

using namespace ChannelSetupLayout;

void CChannelSetupModel::Open(bool epgTimerBonFolderExists)
{
    FList.Clear();
    FName.clear();
    FScanning = true;
    FModalResult = 0;
    FPendingProgress.reset();
    FLastLabel = {};
    FCopyBox = FSettings.CopyChSetToEpgTimerBon.value_or(epgTimerBonFolderExists);
}

std::uint16_t CChannelSetupModel::Port() const
{
    return static_cast<std::uint16_t>(IntegerTextOr(FSettings.RemoconPort, DefaultRemoconPort));
}

bool CChannelSetupModel::Inert(int controlId) const
{
    switch (controlId) {
    case UpSB:
    case DownSB:
    case ChannelNameEd:
    case ChannelRenameSB:
    case Button1:
    case CopyToEpgTimerBonCBox:
        return FScanning;
    default:
        return false;
    }
}

std::optional<std::string> CChannelSetupModel::Progress(std::string text, Clock::time_point now)
{
    FPendingProgress = std::move(text);
    return PendingProgress(now);
}

std::optional<std::string> CChannelSetupModel::PendingProgress(Clock::time_point now)
{
    if (!FPendingProgress || now < FLastLabel + std::chrono::milliseconds(LabelIntervalMs))
        return std::nullopt;
    FLastLabel = now;
    return std::exchange(FPendingProgress, std::nullopt);
}

std::optional<std::string> CChannelSetupModel::ScanEnded(ChannelScanOutcome outcome, const std::string& reason)
{
    FScanning = false;
    FPendingProgress.reset();
    switch (outcome) {
    case ChannelScanOutcome::ConnectFailed:
        FModalResult = ModalResultNo;
        return BoxText(RemoconConnectFailedText, Cp932ToTerminal(Host()) + ":" + std::to_string(Port()), reason);
    case ChannelScanOutcome::Cancelled:
        FModalResult = ModalResultCancel;
        break;
    case ChannelScanOutcome::Completed:
        break;
    }
    return std::nullopt;
}

void CChannelSetupModel::CloseRequested()
{
    FScanning = false;
    FModalResult = ModalResultCancel;
}

std::string CChannelSetupModel::RowChanged(std::size_t row, bool checked, bool selected)
{
    FList.SetChecked(row, checked);
    FList.SetSelected(row, selected);
    return FList.NameFieldAfterChange(row);
}

bool CChannelSetupModel::Move(ArrowButton button)
{
    if (FScanning || button == ArrowButton::None)
        return false;
    if (button == ArrowButton::Up)
        FList.MoveUp();
    else
        FList.MoveDown();
    return true;
}

bool CChannelSetupModel::EnterRenames() const
{
    for (const ChannelRow& row : FList.Rows()) {
        if (row.selected)
            return row.displayName != FName;
    }
    return false;
}

std::optional<std::string> CChannelSetupModel::Rename()
{
    if (FScanning)
        return std::nullopt;
    bool anySelected = false;
    for (const ChannelRow& row : FList.Rows())
        anySelected = anySelected || row.selected;
    if (!anySelected)
        return std::nullopt;
    switch (CheckDisplayName(FName)) {
    case DisplayNameFault::None:
        break;
    case DisplayNameFault::Empty:
        return std::string("名前が空です。TVTest のチャンネル一覧には名前が要ります。");
    case DisplayNameFault::LeadingSemicolon:
        return std::string("「;」で始まる名前は TVTest が注釈として読み飛ばし、それより後のチャンネルがずれます。");
    case DisplayNameFault::LineBreakOrTab:
        return std::string("タブや改行を含む名前はチャンネルファイルに書けません。");
    }
    FList.RenameSelected(FName);
    return std::nullopt;
}

void CChannelSetupModel::SetCopyBox(bool checked)
{
    if (FScanning)
        return;
    FCopyBox = checked;
    FSettings.CopyChSetToEpgTimerBon = checked;
}

CChannelSetupModel::Cut CChannelSetupModel::ListCut() const
{
    NamedNumberList channels;
    BonAliasList aliases;
    FList.BuildChannelLists(channels, aliases);
    Cut cut{ChListReplySize(channels), channels.size(), channels.size()};
    // The worst case: the last channel current, whose number is the longest.
    if (FSettings.ChListReplyLimit > 0 && !channels.empty())
        cut.shown = ListEntriesWithin(StatusSuccess, static_cast<int>(channels.size() - 1), channels,
                                      static_cast<std::size_t>(FSettings.ChListReplyLimit));
    return cut;
}

bool CChannelSetupModel::SizeOverLimit() const
{
    const Cut cut = ListCut();
    return FSettings.ChListReplyLimit > 0 && cut.bytes > static_cast<std::size_t>(FSettings.ChListReplyLimit);
}

std::string CChannelSetupModel::SizeLabel() const
{
    const Cut cut = ListCut();
    std::string text = "TVTest へのチャンネル一覧: " + std::to_string(cut.bytes);
    if (FSettings.ChListReplyLimit <= 0)
        return text + " バイト";
    text += " / " + std::to_string(FSettings.ChListReplyLimit) + " バイト";
    if (!SizeOverLimit())
        return text;
    return text + "。TVTest の一覧には先頭の " + std::to_string(cut.shown) + " チャンネルまでが載ります (切り替えは全 " +
           std::to_string(cut.channels) + " チャンネルでできます)";
}

CChannelSetupModel::CreateCheck CChannelSetupModel::BeforeCreate(const std::string& copyFolder) const
{
    if (FCopyBox && copyFolder.empty())
        return {CreateCheck::Kind::Refuse,
                BoxText("TVTest 用のコピー " + ChSetFilePath("") +
                            " を作成できません。チャンネルファイルはどれも変更していません。",
                        "", "ドキュメント フォルダーがありません。")};
    if (!SizeOverLimit())
        return {};
    const Cut cut = ListCut();
    return {CreateCheck::Kind::Ask,
            "チェックしたチャンネルの一覧は " + std::to_string(cut.bytes) + " バイトで、TVTest に送る上限の " +
                std::to_string(FSettings.ChListReplyLimit) + " バイト (ChListReplyLimit) を超えます。TVTest の一覧には先頭の " +
                std::to_string(cut.shown) + " チャンネルまでが載ります。切り替えは全 " + std::to_string(cut.channels) +
                " チャンネルでできます。\n\nこのまま作成しますか?"};
}

std::string CChannelSetupModel::Create(const std::string& dir, const std::string& copyFolder) const
{
    FList.CreateChannelFiles(dir, FCopyBox ? copyFolder : std::string());
    return ChannelFilesCreatedText;
}
