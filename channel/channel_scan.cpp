#include "channel/channel_scan.h"

#include "net/socket.h"
#include "remocon/net_remocon.h"

std::string ScanProgressText(std::size_t bn, std::size_t bnCount, std::size_t spc, std::size_t spcCount,
                             std::size_t ch, std::size_t chCount, std::size_t srv, std::size_t srvCount)
{
    auto pair = [](std::size_t position, std::size_t count) {
        return std::to_string(position) + "/" + std::to_string(count);
    };
    return std::string(ScanningText) + "  bn(" + pair(bn, bnCount) + ")  spc(" + pair(spc, spcCount) + ")  ch(" +
           pair(ch, chCount) + ")  srv(" + pair(srv, srvCount) + ")";
}

namespace {

bool LinkLost(const CNetRemocon& remocon)
{
    return remocon.PeerClosed() || remocon.OutOfStep();
}

// With multiTuner off, the BonDriver to walk is the one in use. A reply that
// names none leaves it unknown: then a single BonDriver can only be that one,
// and of several none is walked, since filing services under a guessed
// BonDriver would make the channel files tune the wrong one.
bool WalksBonDriver(bool multiTuner, const NamedNumberList& bons, std::uint32_t number, bool currentKnown,
                    std::int32_t current)
{
    if (multiTuner)
        return true;
    if (currentKnown)
        return static_cast<std::int32_t>(number) == current;
    return bons.size() == 1;
}

} // namespace

void ScanChannels(CNetRemocon& remocon, bool multiTuner, ChannelScanSink& sink)
{
    // Every request is preceded by one of these. A cancel ends the scan at
    // once; a lost link ends the walk of each level, so the levels below the
    // failed request stay empty.
    const auto cancelled = [&] { return sink.CancelRequested(); };
    const auto stopped = [&] { return LinkLost(remocon) || cancelled(); };

    if (cancelled())
        return;
    NamedNumberList bons;
    // A current field of -1 leaves this unchanged, which is how an unknown
    // current BonDriver shows.
    constexpr std::int32_t Unknown = -1;
    std::int32_t currentBon = Unknown;
    remocon.GetBonList(bons, &currentBon);
    const bool currentKnown = currentBon != Unknown;
    sink.ScanStarted();
    sink.Progress(ScanningText);

    std::int32_t row = 0;
    for (std::size_t i = 0; i < bons.size(); ++i) {
        const NamedNumber& bon = bons[i];
        if (!WalksBonDriver(multiTuner, bons, bon.number, currentKnown, currentBon))
            continue;
        if (stopped())
            break;
        if (multiTuner) {
            remocon.SetBon(static_cast<std::int32_t>(bon.number));
            if (cancelled())
                return;
        }
        NamedNumberList spaces;
        remocon.GetSpaceList(spaces, nullptr);
        for (std::size_t j = 0; j < spaces.size() && !stopped(); ++j) {
            remocon.SetSpace(static_cast<std::int32_t>(spaces[j].number));
            if (cancelled())
                return;
            NamedNumberList channels;
            remocon.GetChList(channels, nullptr);
            for (std::size_t k = 0; k < channels.size() && !stopped(); ++k) {
                remocon.SetCh(static_cast<std::int32_t>(channels[k].number));
                if (cancelled())
                    return;
                NamedNumberList services;
                remocon.GetServiceList(services, nullptr);
                // Every service of a list that arrived gets its row, even when
                // the link goes in the middle of the list: a row follows its
                // SetService whatever the reply (one that cannot be sent any
                // more is not tried).
                for (std::size_t m = 0; m < services.size(); ++m) {
                    if (cancelled())
                        return;
                    if (!LinkLost(remocon))
                        remocon.SetService(static_cast<std::int32_t>(services[m].number));
                    sink.RowFound(BON_ALIAS{row++, bon, spaces[j], channels[k], services[m]});
                    sink.Progress(ScanProgressText(i + 1, bons.size(), j + 1, spaces.size(), k + 1,
                                                   channels.size(), m + 1, services.size()));
                }
            }
        }
    }
}

bool ScanChannels(const std::string& host, std::uint16_t port, bool multiTuner, ChannelScanSink& sink)
{
    const socket_t s = ConnectSocket(host, port);
    if (s == InvalidSocket)
        return false;
    CNetRemocon remocon(s, true);
    ScanChannels(remocon, multiTuner, sink);
    return true;
}
