#pragma once
// The channel setup dialog's list without the window: rows that own their
// channel-map record, a display name, a tick and a selection; the moves, the
// rename, the name field and the creation of the two channel files. The
// dialog and the command line both go through it, so both give the same files.
#include <memory>
#include <string>
#include <vector>

#include "common/bon_alias.h"
#include "common/named_number.h"
#include "remocon/protocol.h"

// "チャンネルファイルを作成しました。" and the dialog's caption.
inline constexpr const char* ChannelFilesCreatedText = "チャンネルファイルを作成しました。";
inline constexpr const char* ChannelSetupCaption = "チャンネルファイルの作成";

struct ChannelRow {
    std::string displayName;
    std::unique_ptr<BON_ALIAS> alias; // owned; null only while a row is being set up
    bool checked = false;
    bool selected = false;
};

class ChannelListModel {
public:
    // The list's sort order: by record index; rows without a record last.
    static int Compare(const ChannelRow& a, const ChannelRow& b);

    void Clear() { FRows.clear(); }
    // Adds a row for a scanned service, named after it, and re-sorts.
    void AddRow(const BON_ALIAS& alias);
    const std::vector<ChannelRow>& Rows() const { return FRows; }
    std::size_t Size() const { return FRows.size(); }

    void SetChecked(std::size_t row, bool checked) { FRows.at(row).checked = checked; }
    void SetSelected(std::size_t row, bool selected) { FRows.at(row).selected = selected; }

    // Every run of selected rows with an unselected row just above it moves
    // up one place; the rows stay selected.
    void MoveUp();
    void MoveDown();
    // Gives every selected row this display name (TAB, CR and LF, which the
    // channel files cannot hold in a name, become blanks).
    void RenameSelected(const std::string& name);

    // What the name field shows after the state of `changedRow` changed: its
    // name when it is the first selected row, otherwise nothing.
    std::string NameFieldAfterChange(std::size_t changedRow) const;

    // The size of the "GetChList" reply that the ticked rows would give the
    // viewer (ChListReplySize); above ViewerReceiveLimit it is too long.
    std::size_t ChListReplySize() const;

    // The ticked rows top to bottom, numbered 0, 1, 2, ...
    void BuildChannelLists(NamedNumberList& channels, BonAliasList& aliases) const;
    // Writes the ChSet and the ChAlias file into dir, and with copyDir the
    // ChSet file there too, all or nothing (SaveChannelFiles). Throws
    // FileError naming the file that could not be written.
    void CreateChannelFiles(const std::string& dir, const std::string& copyDir = std::string()) const;

private:
    void Sort();

    std::vector<ChannelRow> FRows;
};

// A display name made fit for a channel-file field.
std::string ChannelFieldText(const std::string& name);
