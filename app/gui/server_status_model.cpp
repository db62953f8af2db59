#include "app/gui/server_status_model.h"

#include <cstdio>

#include "common/integer_text.h"
#include "common/terminal_text.h"

namespace {

std::string Clock(ClockTime at)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", at.hour, at.minute, at.second);
    return text;
}

int Count(const std::string& detail)
{
    return IntegerTextOr(detail, 0);
}

} // namespace

void CServerStatusModel::Started(NamedNumberList channels)
{
    Stopped();
    FRunning = true;
    FChannels = std::move(channels);
}

void CServerStatusModel::Stopped()
{
    // The last failure stays.
    FRunning = FListening = FLaunched = false;
    FViewers = 0;
    FLink = Link::None;
    FChannels.clear();
    FChannel.reset();
}

void CServerStatusModel::Event(ServerEvent event, const std::string& detail, ClockTime at)
{
    if (!FRunning)
        return;
    switch (event) {
    case ServerEvent::Listening:
        FListening = true;
        break;
    case ServerEvent::ViewerConnected:
    case ServerEvent::ViewerDisconnected:
        FViewers = Count(detail);
        break;
    case ServerEvent::ViewerRefused:
        FLink = Link::None;
        Failed("EpgDataCap_Bon に接続できないため、視聴者の接続を閉じました", at);
        break;
    case ServerEvent::ViewerOverLimit:
        Failed("視聴者が上限の " + detail + " 人に達しているため、接続を閉じました", at);
        break;
    case ServerEvent::SessionNotStarted:
    case ServerEvent::AcceptFailed:
        Failed("視聴者の接続を受け付けられませんでした", at);
        break;
    case ServerEvent::ViewerNotAllowed:
        // Someone outside AllowedViewers tried the port: worth the user's eye.
        Failed("AllowedViewers にない " + detail + " からの接続を閉じました", at);
        break;
    case ServerEvent::UpstreamConnected:
    case ServerEvent::UpstreamReconnected:
        FLink = Link::Connected;
        FChannel = static_cast<std::uint32_t>(Count(detail));
        break;
    case ServerEvent::UpstreamLost:
        FLink = Link::Reconnecting;
        Failed("EpgDataCap_Bon との接続が切れました", at);
        break;
    case ServerEvent::UpstreamDropped:
        FLink = Link::None;
        break;
    case ServerEvent::EpgDataCapBonLaunched:
        FLaunched = true;
        break;
    case ServerEvent::EpgDataCapBonEnded:
    case ServerEvent::EpgDataCapBonLetGo:
        FLaunched = false;
        break;
    case ServerEvent::ChannelSelected:
        FChannel = static_cast<std::uint32_t>(Count(detail));
        break;
    default:
        break;
    }
}

void CServerStatusModel::Failed(const std::string& text, ClockTime at)
{
    // One line: the box's paragraphs side by side.
    std::string line = text;
    for (std::size_t pos = 0; (pos = line.find('\n', pos)) != std::string::npos;)
        line.replace(pos, line.compare(pos, 2, "\n\n") == 0 ? 2 : 1, "  ");
    FFailure = Clock(at) + " " + line;
}

std::string CServerStatusModel::StateText() const
{
    if (!FListening)
        return "停止中";
    if (FViewers == 0)
        return "待機中";
    return "視聴中 (" + std::to_string(FViewers) + " 人)";
}

std::string CServerStatusModel::ChannelText() const
{
    if (!FChannel)
        return std::string();
    for (const NamedNumber& channel : FChannels) {
        if (channel.number == *FChannel)
            return Cp932ToTerminal(channel.name);
    }
    return std::to_string(*FChannel);
}

std::string CServerStatusModel::UpstreamText() const
{
    if (!FListening)
        return std::string();
    std::string text = "EpgDataCap_Bon: ";
    switch (FLink) {
    case Link::None:
        text += "未接続";
        break;
    case Link::Connected:
        text += "接続中";
        break;
    case Link::Reconnecting:
        text += "再接続中";
        break;
    }
    return FLaunched ? text + "・自動起動" : text;
}

std::string CServerStatusModel::TrayTip(const std::string& title) const
{
    return title + "\nパッチサーバー: " + StateText();
}
