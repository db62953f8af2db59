#include "channel/channel_scan_thread.h"

#include <utility>

#include "remocon/net_remocon.h"

TChannelScanThread::TChannelScanThread(std::string host, std::uint16_t port, bool multiTuner,
                                       std::function<void()> newsWaiting)
    : TThread(true), FHost(std::move(host)), FPort(port), FMultiTuner(multiTuner),
      FNewsWaiting(std::move(newsWaiting))
{
}

TChannelScanThread::~TChannelScanThread()
{
    // Before the members go: the scan still uses them.
    Cancel();
    WaitFor();
}

std::vector<ChannelScanEvent> TChannelScanThread::TakeEvents()
{
    std::lock_guard<std::mutex> guard(FMutex);
    return std::exchange(FEvents, {});
}

void TChannelScanThread::Post(ChannelScanEvent event)
{
    bool wasEmpty;
    {
        std::lock_guard<std::mutex> guard(FMutex);
        wasEmpty = FEvents.empty();
        FEvents.push_back(std::move(event));
    }
    if (wasEmpty && FNewsWaiting)
        FNewsWaiting();
}

void TChannelScanThread::RowFound(const BON_ALIAS& row)
{
    ChannelScanEvent event;
    event.kind = ChannelScanEvent::Kind::Row;
    event.row = row;
    Post(std::move(event));
}

void TChannelScanThread::Progress(const std::string& text)
{
    ChannelScanEvent event;
    event.kind = ChannelScanEvent::Kind::Progress;
    event.text = text;
    Post(std::move(event));
}

void TChannelScanThread::Execute()
{
    ChannelScanEvent ended;
    ended.kind = ChannelScanEvent::Kind::Ended;
    const socket_t s = ConnectSocket(FHost, FPort, &FWake);
    if (s != InvalidSocket) {
        CNetRemocon remocon(s, true);
        remocon.SetWakeUp(&FWake);
        ScanChannels(remocon, FMultiTuner, *this);
    }
    // A person who closed the window while the connection was tried is not
    // told that it failed.
    if (CancelRequested())
        ended.outcome = ChannelScanOutcome::Cancelled;
    else if (s == InvalidSocket)
        ended.outcome = ChannelScanOutcome::ConnectFailed;
    Post(std::move(ended));
}
