#pragma once
// The channel scan: walks every BonDriver, space, channel and service that
// EpgDataCap_Bon can tune and reports one row per service, for the channel
// setup dialog and for the command line alike.
#include <cstdint>
#include <string>

#include "common/bon_alias.h"

class CNetRemocon;

// "スキャン中..." (scanning), shown while the scan runs.
inline constexpr const char* ScanningText = "スキャン中...";
// "リモコン接続に失敗しました。" and its caption "チャンネル情報取得失敗".
inline constexpr const char* RemoconConnectFailedText = "リモコン接続に失敗しました。";
inline constexpr const char* ScanFailedCaption = "チャンネル情報取得失敗";

// Whoever runs the scan hears of each row and each progress text as they come.
class ChannelScanSink {
public:
    virtual ~ChannelScanSink() = default;
    virtual void ScanStarted() {}
    // index counts the rows over the whole scan, from 0.
    virtual void RowFound(const BON_ALIAS& row) = 0;
    virtual void Progress(const std::string& text) = 0;
    // Asked before every request: true ends the scan there, so a cancel
    // takes effect once the request in flight has been answered.
    virtual bool CancelRequested() { return false; }
};

// "スキャン中...  bn(i/I)  spc(j/J)  ch(k/K)  srv(m/M)", positions from 1.
std::string ScanProgressText(std::size_t bn, std::size_t bnCount, std::size_t spc, std::size_t spcCount,
                             std::size_t ch, std::size_t chCount, std::size_t srv, std::size_t srvCount);

// Walks EpgDataCap_Bon over an open plain client. With multiTuner off only
// the BonDriver in use is walked and no SetBon is sent. A lost connection
// leaves empty every level below the request that failed; the services of a
// list that arrived all get their rows.
void ScanChannels(CNetRemocon& remocon, bool multiTuner, ChannelScanSink& sink);

// Connects to host:port, scans and closes. False (nothing scanned) when the
// connection cannot be made.
bool ScanChannels(const std::string& host, std::uint16_t port, bool multiTuner, ChannelScanSink& sink);
