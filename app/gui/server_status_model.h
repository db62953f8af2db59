#pragma once
// The main window's status line without a window: what the patch server is
// doing, as its events tell. The server's threads post the events; the
// window hands them to this on its own thread and shows the texts (UTF-8).
#include <cstdint>
#include <optional>
#include <string>

#include "common/named_number.h"
#include "server/patcher.h"

// A moment of the local clock.
struct ClockTime {
    int hour = 0;
    int minute = 0;
    int second = 0;
};

class CServerStatusModel {
public:
    // The server was started with this channel list (from the ChSet file),
    // whose display names the current channel is shown by.
    void Started(NamedNumberList channels);
    // The server has ended, whatever it was doing.
    void Stopped();
    void Event(ServerEvent event, const std::string& detail, ClockTime at);
    // A failure the window showed in a box: a failed start, the server's end.
    void Failed(const std::string& text, ClockTime at);

    // 停止中, 待機中 (no viewer) or 視聴中 with the number of viewers.
    std::string StateText() const;
    // The current virtual channel's display name; empty when none is known.
    std::string ChannelText() const;
    // The link to EpgDataCap_Bon while the server runs.
    std::string UpstreamText() const;
    // The last failure after its time; empty when there was none.
    std::string FailureText() const { return FFailure; }
    // The tray icon's tip: the application title and the server's state.
    std::string TrayTip(const std::string& title) const;

private:
    enum class Link { None, Connected, Reconnecting };

    bool FRunning = false;
    bool FListening = false;
    int FViewers = 0;
    Link FLink = Link::None;
    bool FLaunched = false;
    NamedNumberList FChannels;
    std::optional<std::uint32_t> FChannel;
    std::string FFailure;
};
