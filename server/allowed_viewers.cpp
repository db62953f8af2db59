#include "server/allowed_viewers.h"

#include <string_view>

namespace {

std::uint32_t MaskOf(int bits)
{
    return bits == 0 ? 0 : ~std::uint32_t{0} << (32 - bits);
}

// Decimal digits only, no sign, at most max.
std::optional<std::uint32_t> ReadDecimal(std::string_view text, std::uint32_t max)
{
    if (text.empty() || text.size() > 3)
        return std::nullopt;
    std::uint32_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<std::uint32_t>(c - '0');
    }
    if (value > max)
        return std::nullopt;
    return value;
}

// Dotted quad, host byte order.
std::optional<std::uint32_t> ReadAddress(std::string_view text)
{
    std::uint32_t address = 0;
    for (int part = 0; part < 4; ++part) {
        const std::size_t dot = part < 3 ? text.find('.') : text.size();
        if (dot == std::string_view::npos)
            return std::nullopt;
        const auto byte = ReadDecimal(text.substr(0, dot), 255);
        if (!byte)
            return std::nullopt;
        address = address << 8 | *byte;
        text.remove_prefix(part < 3 ? dot + 1 : dot);
    }
    return address;
}

std::string_view Trimmed(std::string_view text)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t'))
        text.remove_suffix(1);
    return text;
}

} // namespace

CAllowedViewers::CAllowedViewers()
    : FRanges{{0x7F000000u, MaskOf(8)},  {0x0A000000u, MaskOf(8)},  {0xAC100000u, MaskOf(12)},
              {0xC0A80000u, MaskOf(16)}, {0xA9FE0000u, MaskOf(16)}, {0x64400000u, MaskOf(10)}}
{
}

std::optional<CAllowedViewers> CAllowedViewers::Parse(const std::string& text, std::string& badEntry)
{
    CAllowedViewers allowed;
    allowed.FRanges.clear();
    std::string_view rest = text;
    for (;;) {
        const std::size_t comma = rest.find(',');
        const std::string_view entry = Trimmed(rest.substr(0, comma));
        std::optional<Range> range;
        if (entry == "*") {
            range = Range{0, 0};
        } else {
            const std::size_t slash = entry.find('/');
            const auto address = ReadAddress(entry.substr(0, slash));
            const auto bits = slash == std::string_view::npos ? std::optional<std::uint32_t>(32)
                                                              : ReadDecimal(entry.substr(slash + 1), 32);
            if (address && bits) {
                const std::uint32_t mask = MaskOf(static_cast<int>(*bits));
                range = Range{*address & mask, mask};
            }
        }
        if (!range) {
            badEntry = std::string(entry);
            return std::nullopt;
        }
        allowed.FRanges.push_back(*range);
        if (comma == std::string_view::npos)
            break;
        rest.remove_prefix(comma + 1);
    }
    return allowed;
}

std::optional<CAllowedViewers> CAllowedViewers::FromSetting(const std::optional<std::string>& text,
                                                            std::string& badEntry)
{
    if (!text)
        return CAllowedViewers();
    return Parse(*text, badEntry);
}

bool CAllowedViewers::Allows(std::uint32_t address) const
{
    const auto* b = reinterpret_cast<const unsigned char*>(&address);
    const std::uint32_t host = std::uint32_t{b[0]} << 24 | std::uint32_t{b[1]} << 16 | std::uint32_t{b[2]} << 8 | b[3];
    for (const Range& range : FRanges) {
        if ((host & range.mask) == range.base)
            return true;
    }
    return false;
}
