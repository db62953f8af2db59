#include "server/patch_server.h"

#include "channel/channel_files.h"

std::unique_ptr<TPatchedRemoconMasterThread> StartPatchServer(const Settings& settings, const std::string& channelDir,
                                                              ServerObserver observer,
                                                              std::function<void()> onFinished,
                                                              const ServerTuning& tuning)
{
    // The ChAlias file is read only when the ChSet file could be.
    NamedNumberList channels;
    BonAliasList aliases;
    LoadChSetFile(ChSetFilePath(channelDir), channels);
    LoadChAliasFile(ChAliasFilePath(channelDir), aliases);

    auto server = std::make_unique<TPatchedRemoconMasterThread>(
        ServerPortNumber(settings), settings.RemoconAddr, RemoconPortNumber(settings),
        settings.EpgDataCapBonAutoLaunch, settings.EpgDataCapBonExePath, settings.EpgDataCapBonExeParam,
        settings.EpgDataCapBonWindowText, channels, aliases, settings.MultiTuner, true);
    server->SetMaxViewers(settings.MaxViewers);
    server->SetChListReplyLimit(settings.ChListReplyLimit);
    server->SetAllowedViewers(settings.AllowedViewers);
    if (tuning.replyTimeoutMs)
        server->SetReplyTimeout(*tuning.replyTimeoutMs);
    if (tuning.idleLimitMs)
        server->SetIdleLimit(*tuning.idleLimitMs);
    server->SetObserver(std::move(observer));
    server->SetOnFinished(std::move(onFinished));
    server->Resume();
    return server;
}
