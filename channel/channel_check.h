#pragma once
// Whether the channel files still match what EpgDataCap_Bon offers. After a
// rescan, a firmware update or a broadcaster's change the numbers drift, and
// a saved channel then tunes the wrong service, or nothing, without a word.
// The check compares each ChAlias row with a fresh scan.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/bon_alias.h"
#include "common/named_number.h"

enum class ChannelState {
    Unchanged, // the same four numbers are found, with the same service name
    Renamed,   // the numbers are found under another service name
    Moved,     // the service name is found at other numbers
    Gone,      // neither is found
};

struct ChannelCheck {
    ChannelState state = ChannelState::Gone;
    // Unchanged and Renamed: the scanned row at the same numbers. Moved: the
    // scanned rows that carry the service's name; more than one when the
    // scan holds that name several times and none of them is on the row's
    // own BonDriver alone.
    BonAliasList found;

    bool Fixable() const { return state == ChannelState::Moved && found.size() == 1; }
};

// One result per row, in the rows' order. A row whose numbers now hold
// another service while its own service turns up elsewhere has moved (its
// old place was reused), not been renamed: only that reading keeps the
// channel on the service the user picked. Of several places with the name,
// the ones on a BonDriver of the same name win (several tuners of one kind
// list the same services, and BonDriver numbers shift when one is added).
std::vector<ChannelCheck> CheckChannels(const BonAliasList& rows, const BonAliasList& scanned);

// The channel files read for the check, which wants every line to be a
// record: a line the server would pass over, a number field that is not a
// decimal number, or a NUL byte gives "line N: ..." instead.
std::optional<std::string> ReadChSetStrictly(std::string_view text, NamedNumberList& channels);
std::optional<std::string> ReadChAliasStrictly(std::string_view text, BonAliasList& rows);

// The ChAlias text with each given row written over the line its index
// names, every other byte as it was.
std::string ReplaceChAliasRows(std::string_view text, const BonAliasList& rows);
