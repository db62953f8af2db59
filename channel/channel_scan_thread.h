#pragma once
// The channel scan on a thread of its own, for a window that must stay
// responsive while EpgDataCap_Bon tunes one channel after another (a second
// or more each). The window hears that news waits, takes it on its own thread
// and shows it; closing the window cancels the scan, which ends at once: the
// connection attempt or the exchange in flight is cut short, as the patch
// server's waits are on a stop. One object runs one scan.
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "channel/channel_scan.h"
#include "common/thread_base.h"
#include "net/socket.h"

enum class ChannelScanOutcome {
    Completed,     // walked to the end (a lost link included)
    ConnectFailed, // no connection: RemoconConnectFailedText, nothing scanned
    Cancelled,     // Cancel() came before the end, even during the connection
};

// One piece of news, in the order the scan made it.
struct ChannelScanEvent {
    enum class Kind {
        Progress, // text: the progress label's new text
        Row,      // row: the next row, its index counting from 0
        Ended,    // outcome: always the last event; the thread ends right after
    };
    Kind kind = Kind::Progress;
    std::string text;
    BON_ALIAS row;
    ChannelScanOutcome outcome = ChannelScanOutcome::Completed;
};

class TChannelScanThread : public TThread, private ChannelScanSink {
public:
    // newsWaiting is called on the scan's thread whenever an event arrives
    // while none was waiting (a window posts itself a message there); the
    // window then takes all that wait with TakeEvents. Its last call may come
    // with Ended, so whatever it uses must outlive the thread object.
    TChannelScanThread(std::string host, std::uint16_t port, bool multiTuner, std::function<void()> newsWaiting);
    // Cancels and waits for the thread.
    ~TChannelScanThread() override;

    void Start() { Resume(); }
    // The scan ends at once, without waiting for the answer in flight;
    // Ended follows.
    void Cancel() { Terminate(); }
    // The events that arrived since the last call, oldest first.
    std::vector<ChannelScanEvent> TakeEvents();

protected:
    void Execute() override;
    void StopRequested() override { FWake.Signal(); }

private:
    void RowFound(const BON_ALIAS& row) override;
    void Progress(const std::string& text) override;
    bool CancelRequested() override { return Terminated() || FWake.Signalled(); }
    void Post(ChannelScanEvent event);

    const std::string FHost;
    const std::uint16_t FPort;
    const bool FMultiTuner;
    const std::function<void()> FNewsWaiting;
    std::mutex FMutex;
    std::vector<ChannelScanEvent> FEvents;
    CWakeUp FWake;
};
