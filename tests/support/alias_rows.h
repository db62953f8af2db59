#pragma once
// ChAlias rows for tests, with placeholder names and the given numbers.
#include <cstdint>
#include <string>

#include "common/bon_alias.h"

inline BON_ALIAS AliasRow(std::int32_t index, std::uint32_t bn, std::uint32_t spc, std::uint32_t ch, std::uint32_t srv)
{
    return BON_ALIAS{index, {"bn", bn}, {"spc", spc}, {"ch", ch}, {"srv", srv}};
}

// A row on space ("S", 0) with a named service and BonDriver, on channel
// ("c" + its number, ch).
inline BON_ALIAS NamedAliasRow(std::int32_t index, const char* service, std::uint32_t srv, const char* bon,
                               std::uint32_t bn, std::uint32_t ch)
{
    return BON_ALIAS{index, {bon, bn}, {"S", 0}, {"c" + std::to_string(ch), ch}, {service, srv}};
}
