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
