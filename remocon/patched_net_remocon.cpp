#include "remocon/patched_net_remocon.h"

#include <chrono>

#include "common/bon_alias.h"

CPatchedNetRemocon::CPatchedNetRemocon(const NamedNumberList& channels, const BonAliasList& aliases, socket_t socket,
                                       bool multiTuner, bool owning)
    : CNetRemocon(socket, owning),
      FChannels(channels),
      FBonAliases(aliases),
      FMultiTuner(multiTuner),
      FTunerLock("Tuner", true)
{
}

CPatchedNetRemocon::~CPatchedNetRemocon() = default;

namespace {

// "Tuner" is shared with every other copy of the program: its wait gets the
// same bound as the exchange it guards, and ends with the link's wake-up.
LockStop WokenBy(const CWakeUp* wake)
{
    return [wake] { return wake && wake->Signalled(); };
}

std::uint32_t MillisecondsUntil(std::chrono::steady_clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
    return left > 0 ? static_cast<std::uint32_t>(left) : 0;
}

} // namespace

int CPatchedNetRemocon::SendListCommand(const std::string& command, NamedNumberList& list, std::int32_t* current)
{
    auto_lock lock(&FTunerLock, MillisecondsUntil(ExchangeDeadline()), WokenBy(WakeUp()));
    return lock.Held() ? CNetRemocon::SendListCommand(command, list, current) : StatusFailed;
}

int CPatchedNetRemocon::SendSetCommand(const std::string& name, std::int32_t number)
{
    auto_lock lock(&FTunerLock, MillisecondsUntil(ExchangeDeadline()), WokenBy(WakeUp()));
    return lock.Held() ? CNetRemocon::SendSetCommand(name, number) : StatusFailed;
}

std::string CPatchedNetRemocon::SendTextCommand(const std::string& command)
{
    auto_lock lock(&FTunerLock, MillisecondsUntil(ExchangeDeadline()), WokenBy(WakeUp()));
    return lock.Held() ? CNetRemocon::SendTextCommand(command) : std::string(FailedText);
}

int CPatchedNetRemocon::VirtualBonList(NamedNumberList& list, std::int32_t* current)
{
    list.assign(1, NamedNumber{VirtualBonDriverName, 0});
    if (current)
        *current = 0;
    return StatusSuccess;
}

int CPatchedNetRemocon::VirtualSpaceList(NamedNumberList& list, std::int32_t* current)
{
    list.assign(1, NamedNumber{VirtualSpaceName, 0});
    if (current)
        *current = 0;
    return StatusSuccess;
}

int CPatchedNetRemocon::VirtualSelect(std::int32_t number)
{
    return number == 0 ? StatusSuccess : StatusRefused;
}

int CPatchedNetRemocon::GetBonList(NamedNumberList& list, std::int32_t* current)
{
    return VirtualBonList(list, current);
}

int CPatchedNetRemocon::GetSpaceList(NamedNumberList& list, std::int32_t* current)
{
    return VirtualSpaceList(list, current);
}

int CPatchedNetRemocon::GetChList(NamedNumberList& list, std::int32_t* current)
{
    list = FChannels;
    if (current)
        *current = FCurrentChannel;
    return StatusSuccess;
}

int CPatchedNetRemocon::GetServiceList2(NamedNumberList& list, std::int32_t* current)
{
    return GetChList(list, current);
}

int CPatchedNetRemocon::SetBon(std::int32_t number)
{
    return VirtualSelect(number);
}

int CPatchedNetRemocon::SetSpace(std::int32_t number)
{
    return VirtualSelect(number);
}

int CPatchedNetRemocon::SetCh(std::int32_t number)
{
    const BON_ALIAS* alias = FindBonAlias(FBonAliases, number);
    if (!alias)
        return StatusRefused;
    FCurrentChannel = number;
    const BON_ALIAS target = *alias;

    // Every query and selection here is the plain client's, so that it really
    // reaches EpgDataCap_Bon rather than the virtual tuner.
    NamedNumberList scratch;
    std::int32_t current = -1;
    int status = CNetRemocon::GetBonList(scratch, &current);
    if (status != StatusSuccess)
        return status;
    if (static_cast<std::int32_t>(target.bn.number) != current) {
        if (!FMultiTuner)
            return StatusRefused;
        status = CNetRemocon::SetBon(static_cast<std::int32_t>(target.bn.number));
        if (status != StatusSuccess)
            return status;
    }

    // Below the driver each level is switched only when it differs.
    enum { Space, Channel, Service };
    for (const int level : {Space, Channel, Service}) {
        current = -1;
        std::uint32_t wanted = 0;
        if (level == Space) {
            status = CNetRemocon::GetSpaceList(scratch, &current);
            wanted = target.spc.number;
        } else if (level == Channel) {
            status = CNetRemocon::GetChList(scratch, &current);
            wanted = target.ch.number;
        } else {
            status = CNetRemocon::GetServiceList(scratch, &current);
            wanted = target.srv.number;
        }
        if (status != StatusSuccess)
            return status;
        if (static_cast<std::int32_t>(wanted) == current)
            continue;
        const auto n = static_cast<std::int32_t>(wanted);
        status = level == Space     ? CNetRemocon::SetSpace(n)
                 : level == Channel ? CNetRemocon::SetCh(n)
                                    : CNetRemocon::SetService(n);
        if (status != StatusSuccess)
            return status;
    }
    return StatusSuccess;
}

int CPatchedNetRemocon::SetService2(std::int32_t number)
{
    return SetCh(number);
}

void CPatchedNetRemocon::SyncCurrentChannel()
{
    FCurrentChannel = 0;
    NamedNumberList scratch;
    std::int32_t bn = 0, spc = 0, ch = 0, srv = 0;
    CNetRemocon::GetBonList(scratch, &bn);
    CNetRemocon::GetSpaceList(scratch, &spc);
    CNetRemocon::GetChList(scratch, &ch);
    CNetRemocon::GetServiceList(scratch, &srv);
    FCurrentChannel = FindVirtualChannel(FBonAliases, static_cast<std::uint32_t>(bn), static_cast<std::uint32_t>(spc),
                                         static_cast<std::uint32_t>(ch), static_cast<std::uint32_t>(srv));
}
