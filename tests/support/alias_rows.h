#pragma once
// Channel-map rows and channel files for tests.
#include <cstdint>
#include <string>

#include "channel/channel_files.h"
#include "common/bon_alias.h"
#include "common/file_io.h"

// A row with placeholder names and the given numbers.

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

// The folder's ChSet and ChAlias files as "ChSet|ChAlias", "(none)" for one
// that is not there.
inline std::string ChannelFilesText(const std::string& folder)
{
    return ReadWholeFile(ChSetFilePath(folder)).value_or("(none)") + "|" +
           ReadWholeFile(ChAliasFilePath(folder)).value_or("(none)");
}
