#pragma once
#include <cstdint>
#include <vector>

#include "common/named_number.h"

// One row of the channel map: where a virtual channel really lives in
// EpgDataCap_Bon (BonDriver, space, channel, service).
struct BON_ALIAS {
    std::int32_t index = 0;
    NamedNumber bn;
    NamedNumber spc;
    NamedNumber ch;
    NamedNumber srv;

    friend bool operator==(const BON_ALIAS&, const BON_ALIAS&) = default;
};

using BonAliasList = std::vector<BON_ALIAS>;

// Virtual to real: the row that virtual channel `channel` selects, or nullptr
// when there is none (negative numbers count as huge ones).
const BON_ALIAS* FindBonAlias(const BonAliasList& aliases, std::int32_t channel);

// Real to virtual: the index of the first row that names this BonDriver,
// space, channel and service; 0 when no row does.
std::int32_t FindVirtualChannel(const BonAliasList& aliases, std::uint32_t bn, std::uint32_t spc,
                                std::uint32_t ch, std::uint32_t srv);
