#pragma once
// Who may connect to the patch server (setting AllowedViewers). Anyone who
// reaches the port can switch the tuners, so by default only the home's own
// networks may: loopback, the private ranges, link-local and the shared
// range that VPN meshes hand out.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class CAllowedViewers {
public:
    // The default: 127/8, 10/8, 172.16/12, 192.168/16, 169.254/16, 100.64/10.
    CAllowedViewers();

    // The setting's text: IPv4 addresses and CIDR ranges ("192.168.1.0/24"),
    // comma-separated, blanks around entries allowed, "*" for anyone. Nothing
    // when an entry is none of these (an empty text is one empty entry); the
    // entry is then in badEntry.
    static std::optional<CAllowedViewers> Parse(const std::string& text, std::string& badEntry);
    // The default without the key, else the text parsed.
    static std::optional<CAllowedViewers> FromSetting(const std::optional<std::string>& text, std::string& badEntry);

    // address in network byte order.
    bool Allows(std::uint32_t address) const;

private:
    struct Range {
        std::uint32_t base; // host byte order, host bits clear
        std::uint32_t mask;
    };
    std::vector<Range> FRanges;
};
