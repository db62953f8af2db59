#include "tools/standin/tuner.h"

namespace {

const char* const NewsTitle = "\x83\x6A\x83\x85\x81\x5B\x83\x58"; // ニュース
const char* const WeatherTitle = "\x93\x56\x8B\x43\x97\x5C\x95\xF1"; // 天気予報

} // namespace

Tuner::Tuner(Tree tree, TunerBehaviour behaviour)
    : FTree(std::move(tree)), FBehaviour(behaviour)
{
    FCurrent.fill(-1);
    if (!FTree.empty()) {
        FCurrent[BonLevel] = 0;
        ResetBelow(BonLevel);
    }
}

const std::vector<TreeEntry>* Tuner::ListOf(Level level) const
{
    if (level == BonLevel)
        return &FTree;
    const TreeEntry* parent = Current(static_cast<Level>(level - 1));
    return parent ? &parent->children : nullptr;
}

const TreeEntry* Tuner::Current(Level level) const
{
    const std::vector<TreeEntry>* list = ListOf(level);
    const int index = FCurrent[level];
    if (!list || index < 0 || index >= static_cast<int>(list->size()))
        return nullptr;
    return &(*list)[static_cast<std::size_t>(index)];
}

void Tuner::ResetBelow(Level level)
{
    for (int below = level + 1; below < LevelCount; ++below) {
        const std::vector<TreeEntry>* list = ListOf(static_cast<Level>(below));
        FCurrent[below] = list && !list->empty() ? 0 : -1;
    }
}

int Tuner::Select(Level level, std::uint32_t number)
{
    const std::vector<TreeEntry>* list = ListOf(level);
    if (!list)
        return StatusNoSuchEntry;
    for (std::size_t i = 0; i < list->size(); ++i) {
        if ((*list)[i].number == number) {
            FCurrent[level] = static_cast<int>(i);
            ResetBelow(level);
            return StatusSuccess;
        }
    }
    return StatusNoSuchEntry;
}

bool Tuner::SelectPath(const std::vector<std::uint32_t>& numbers)
{
    std::lock_guard<std::mutex> lock(FMutex);
    for (std::size_t level = 0; level < numbers.size() && level < LevelCount; ++level) {
        if (Select(static_cast<Level>(level), numbers[level]) != StatusSuccess)
            return false;
    }
    return numbers.size() <= LevelCount;
}

std::string Tuner::ListReply(Level level) const
{
    NamedNumberList entries;
    if (const std::vector<TreeEntry>* list = ListOf(level)) {
        for (const TreeEntry& entry : *list)
            entries.push_back({entry.name, entry.number});
    }
    const TreeEntry* current = Current(level);
    const int currentNumber = current && !FBehaviour.currentUnknown ? static_cast<std::int32_t>(current->number) : -1;
    return FormatListReply(StatusSuccess, currentNumber, entries);
}

// The second service list: every service of the current space, whatever its
// channel, so that one SetService2 can tune channel and service at once.
std::string Tuner::ServiceList2Reply() const
{
    NamedNumberList entries;
    if (const TreeEntry* space = Current(SpaceLevel)) {
        for (const TreeEntry& channel : space->children) {
            for (const TreeEntry& service : channel.children)
                entries.push_back({service.name, service.number});
        }
    }
    const TreeEntry* current = Current(ServiceLevel);
    const int currentNumber = current && !FBehaviour.currentUnknown ? static_cast<std::int32_t>(current->number) : -1;
    return FormatListReply(StatusSuccess, currentNumber, entries);
}

int Tuner::SelectService2(std::uint32_t number)
{
    const TreeEntry* space = Current(SpaceLevel);
    if (!space)
        return StatusNoSuchEntry;
    for (std::size_t c = 0; c < space->children.size(); ++c) {
        const std::vector<TreeEntry>& services = space->children[c].children;
        for (std::size_t s = 0; s < services.size(); ++s) {
            if (services[s].number == number) {
                FCurrent[ChannelLevel] = static_cast<int>(c);
                FCurrent[ServiceLevel] = static_cast<int>(s);
                return StatusSuccess;
            }
        }
    }
    return StatusNoSuchEntry;
}

// "0", then the service, the time and the title, TAB-separated; "1" alone
// when no service is current.
std::string Tuner::ProgrammeText(bool next) const
{
    const TreeEntry* service = Current(ServiceLevel);
    if (!service)
        return std::to_string(StatusNoSuchEntry);
    std::string text = "0\t";
    text += service->name;
    text += next ? "\t21:00-21:30\t" : "\t20:45-21:00\t";
    text += next ? WeatherTitle : NewsTitle;
    return text;
}

std::string Tuner::Answer(const Request& request)
{
    std::lock_guard<std::mutex> lock(FMutex);
    const auto number = static_cast<std::uint32_t>(request.number);
    if (ReplyKindOf(request.command) == ReplyKind::Status && FBehaviour.forcedSetStatus)
        return FormatStatusReply(*FBehaviour.forcedSetStatus);
    switch (request.command) {
    case Command::GetBonList:
        return ListReply(BonLevel);
    case Command::GetSpaceList:
        return ListReply(SpaceLevel);
    case Command::GetChList:
        return ListReply(ChannelLevel);
    case Command::GetServiceList:
        return ListReply(ServiceLevel);
    case Command::GetServiceList2:
        return ServiceList2Reply();
    case Command::SetBon:
        return FormatStatusReply(Select(BonLevel, number));
    case Command::SetSpace:
        return FormatStatusReply(Select(SpaceLevel, number));
    case Command::SetCh:
        return FormatStatusReply(Select(ChannelLevel, number));
    case Command::SetService:
        return FormatStatusReply(Select(ServiceLevel, number));
    case Command::SetService2:
        return FormatStatusReply(SelectService2(number));
    case Command::GetNowPgInfo:
        return ProgrammeText(false);
    case Command::GetNextPgInfo:
        return ProgrammeText(true);
    }
    return FormatStatusReply(StatusFailed);
}
