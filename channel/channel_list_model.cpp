#include "channel/channel_list_model.h"

#include <algorithm>

#include "channel/channel_files.h"

std::string ChannelFieldText(const std::string& name)
{
    std::string text = name;
    for (char& c : text) {
        if (c == '\t' || c == '\r' || c == '\n' || c == '\0')
            c = ' ';
    }
    return text;
}

int ChannelListModel::Compare(const ChannelRow& a, const ChannelRow& b)
{
    if (a.alias && b.alias)
        return a.alias->index - b.alias->index;
    if (a.alias)
        return -1;
    if (b.alias)
        return 1;
    return 0;
}

void ChannelListModel::Sort()
{
    std::stable_sort(FRows.begin(), FRows.end(),
                     [](const ChannelRow& a, const ChannelRow& b) { return Compare(a, b) < 0; });
}

void ChannelListModel::AddRow(const BON_ALIAS& alias)
{
    ChannelRow row;
    row.displayName = alias.srv.name;
    row.alias = std::make_unique<BON_ALIAS>(alias);
    FRows.push_back(std::move(row));
    Sort();
}

void ChannelListModel::MoveUp()
{
    // Selection and positions are those from before the re-sort.
    for (std::size_t p = 1; p < FRows.size(); ++p) {
        if (!FRows[p].selected || !FRows[p].alias)
            continue;
        for (std::size_t q = p; q-- > 0;) {
            if (!FRows[q].selected) {
                if (FRows[q].alias) {
                    ++FRows[q].alias->index;
                    --FRows[p].alias->index;
                }
                break;
            }
        }
    }
    Sort();
}

void ChannelListModel::MoveDown()
{
    if (FRows.size() < 2)
        return;
    for (std::size_t p = FRows.size() - 1; p-- > 0;) {
        if (!FRows[p].selected || !FRows[p].alias)
            continue;
        for (std::size_t q = p + 1; q < FRows.size(); ++q) {
            if (!FRows[q].selected) {
                if (FRows[q].alias) {
                    --FRows[q].alias->index;
                    ++FRows[p].alias->index;
                }
                break;
            }
        }
    }
    Sort();
}

void ChannelListModel::RenameSelected(const std::string& name)
{
    const std::string text = ChannelFieldText(name);
    for (ChannelRow& row : FRows) {
        if (row.selected)
            row.displayName = text;
    }
}

std::string ChannelListModel::NameFieldAfterChange(std::size_t changedRow) const
{
    for (std::size_t i = 0; i < FRows.size(); ++i) {
        if (FRows[i].selected)
            return i == changedRow ? FRows[i].displayName : std::string();
    }
    return std::string();
}

void ChannelListModel::BuildChannelLists(NamedNumberList& channels, BonAliasList& aliases) const
{
    channels.clear();
    aliases.clear();
    std::int32_t k = 0;
    for (const ChannelRow& row : FRows) {
        if (!row.checked || !row.alias)
            continue;
        channels.push_back(NamedNumber{row.displayName, static_cast<std::uint32_t>(k)});
        BON_ALIAS alias = *row.alias;
        alias.index = k;
        aliases.push_back(alias);
        ++k;
    }
}

std::size_t ChannelListModel::ChListReplySize() const
{
    NamedNumberList channels;
    BonAliasList aliases;
    BuildChannelLists(channels, aliases);
    return ::ChListReplySize(channels);
}

void ChannelListModel::CreateChannelFiles(const std::string& dir, const std::string& copyDir) const
{
    NamedNumberList channels;
    BonAliasList aliases;
    BuildChannelLists(channels, aliases);
    SaveChannelFiles(dir, channels, aliases, copyDir);
}
