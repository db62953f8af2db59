#pragma once
// One way from the settings to a running patch server. The window and the
// command line both start it here, so that a new setting is wired once and
// every front end gets it.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "common/settings.h"
#include "server/patcher.h"

// What a test or a script may change and the settings file never does.
struct ServerTuning {
    std::optional<int> replyTimeoutMs;
    std::optional<std::uint32_t> idleLimitMs;
};

// Reads the two channel files in channelDir (which ends with its separator
// or is empty), builds the server from the settings and starts it. observer
// hears the server's events on the server's threads; onFinished runs on the
// main thread once the server has ended, unless the application is quitting.
// Throws FileError, with nothing started, when a channel file cannot be read.
std::unique_ptr<TPatchedRemoconMasterThread> StartPatchServer(const Settings& settings, const std::string& channelDir,
                                                              ServerObserver observer,
                                                              std::function<void()> onFinished,
                                                              const ServerTuning& tuning = {});
