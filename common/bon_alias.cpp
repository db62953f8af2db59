#include "common/bon_alias.h"

const BON_ALIAS* FindBonAlias(const BonAliasList& aliases, std::int32_t channel)
{
    const std::uint32_t position = static_cast<std::uint32_t>(channel);
    if (position >= aliases.size())
        return nullptr;
    return &aliases[position];
}

std::int32_t FindVirtualChannel(const BonAliasList& aliases, std::uint32_t bn, std::uint32_t spc,
                                std::uint32_t ch, std::uint32_t srv)
{
    for (const BON_ALIAS& alias : aliases) {
        if (alias.bn.number == bn && alias.spc.number == spc && alias.ch.number == ch && alias.srv.number == srv)
            return alias.index;
    }
    return 0;
}
