#pragma once
#include <cstdint>
#include <string>
#include <vector>

// One entry of a remote-control list: EpgDataCap_Bon's name for a BonDriver,
// space, channel or service (code page 932 bytes, never converted) and the
// number its Set command takes. The number travels as signed decimal.
struct NamedNumber {
    std::string name;
    std::uint32_t number = 0;

    friend bool operator==(const NamedNumber&, const NamedNumber&) = default;
};

using NamedNumberList = std::vector<NamedNumber>;
