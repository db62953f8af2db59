#pragma once
// ChAlias rows for tests, with placeholder names and the given numbers.
#include <cstdint>

#include "common/bon_alias.h"

inline BON_ALIAS AliasRow(std::int32_t index, std::uint32_t bn, std::uint32_t spc, std::uint32_t ch, std::uint32_t srv)
{
    BON_ALIAS a;
    a.index = index;
    a.bn = {"bn", bn};
    a.spc = {"spc", spc};
    a.ch = {"ch", ch};
    a.srv = {"srv", srv};
    return a;
}
