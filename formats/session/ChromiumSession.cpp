#include "formats/session/ChromiumSession.h"

#include "platform/core/ByteOrder.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>

namespace tessaro {

namespace {

// Reads fields of a command payload or of a base::Pickle, every read checked.
class PayloadReader {
public:
    explicit PayloadReader(std::string_view bytes, bool aligned = false) : bytes_(bytes), aligned_(aligned) {}

    std::optional<std::int32_t> Int32()
    {
        if (bytes_.size() - at_ < 4)
            return std::nullopt;
        const std::uint32_t value = LoadLe32(bytes_.data() + at_);
        Advance(4);
        return static_cast<std::int32_t>(value);
    }

    std::optional<std::string_view> String()
    {
        const std::optional<std::int32_t> length = Int32();
        if (!length || *length < 0 || bytes_.size() - at_ < std::size_t(*length))
            return std::nullopt;
        const std::string_view text = bytes_.substr(at_, std::size_t(*length));
        Advance(std::size_t(*length));
        return text;
    }

private:
    void Advance(std::size_t n)
    {
        at_ += n;
        if (aligned_)
            at_ = std::min(bytes_.size(), (at_ + 3) & ~std::size_t(3));
    }

    std::string_view bytes_;
    std::size_t at_ = 0;
    bool aligned_;
};

struct Tab {
    std::optional<std::int32_t> window;
    std::int32_t visualIndex = 0;
    std::int32_t selectedNavigation = 0;
    std::map<std::int32_t, std::string> navigations;  // by navigation index
};

// The pickle of UpdateTabNavigation: its own size header, then the fields.
std::optional<std::string_view> PicklePayload(std::string_view command)
{
    PayloadReader header(command);
    const std::optional<std::int32_t> size = header.Int32();
    if (!size || command.size() - 4 < std::uint32_t(*size))
        return std::nullopt;
    return command.substr(4, std::uint32_t(*size));
}

void UpdateNavigation(std::map<std::int32_t, Tab>& tabs, std::string_view payload)
{
    const std::optional<std::string_view> pickle = PicklePayload(payload);
    if (!pickle)
        return;
    PayloadReader reader(*pickle, true);
    const auto tabId = reader.Int32();
    const auto index = reader.Int32();
    const auto url = reader.String();
    if (tabId && index && url)
        tabs[*tabId].navigations[*index] = std::string(*url);
}

// Removes the navigations [from, from + count) and moves the later ones down.
void PruneNavigations(Tab& tab, std::int64_t from, std::int64_t count)
{
    if (count <= 0)
        return;
    std::map<std::int32_t, std::string> kept;
    for (auto& [index, url] : tab.navigations) {
        if (index < from)
            kept[index] = std::move(url);
        else if (index >= from + count)
            kept[static_cast<std::int32_t>(index - count)] = std::move(url);
    }
    tab.navigations = std::move(kept);
}

void Apply(const SnssCommand& command, std::map<std::int32_t, Tab>& tabs, std::set<std::int32_t>& closedWindows)
{
    PayloadReader reader(command.payload);
    switch (command.id) {
        case snss::kSetTabWindow: {
            const auto window = reader.Int32();
            const auto tab = reader.Int32();
            if (window && tab)
                tabs[*tab].window = *window;
            break;
        }
        case snss::kSetTabIndexInWindow: {
            const auto tab = reader.Int32();
            const auto index = reader.Int32();
            if (tab && index)
                tabs[*tab].visualIndex = *index;
            break;
        }
        case snss::kUpdateTabNavigation:
            UpdateNavigation(tabs, command.payload);
            break;
        case snss::kSetSelectedNavigationIndex: {
            const auto tab = reader.Int32();
            const auto index = reader.Int32();
            if (tab && index)
                tabs[*tab].selectedNavigation = *index;
            break;
        }
        case snss::kTabNavigationPathPrunedFromBack: {
            const auto tab = reader.Int32();
            const auto count = reader.Int32();
            if (tab && count)
                PruneNavigations(tabs[*tab], *count, std::int64_t(INT32_MAX) - *count + 1);
            break;
        }
        case snss::kTabNavigationPathPrunedFromFront: {
            const auto tab = reader.Int32();
            const auto count = reader.Int32();
            if (tab && count) {
                PruneNavigations(tabs[*tab], 0, *count);
                tabs[*tab].selectedNavigation = static_cast<std::int32_t>(
                    std::clamp<std::int64_t>(std::int64_t(tabs[*tab].selectedNavigation) - *count, 0, INT32_MAX));
            }
            break;
        }
        case snss::kTabNavigationPathPruned: {
            const auto tab = reader.Int32();
            const auto index = reader.Int32();
            const auto count = reader.Int32();
            if (tab && index && count)
                PruneNavigations(tabs[*tab], *index, *count);
            break;
        }
        case snss::kTabClosed: {
            if (const auto tab = reader.Int32())
                tabs.erase(*tab);
            break;
        }
        case snss::kWindowClosed: {
            if (const auto window = reader.Int32())
                closedWindows.insert(*window);
            break;
        }
        default:
            break;
    }
}

std::string CurrentAddress(const Tab& tab)
{
    // Chromium takes the first navigation at or after the selected index, else the last.
    const auto nearest = tab.navigations.lower_bound(tab.selectedNavigation);
    return nearest != tab.navigations.end() ? nearest->second : tab.navigations.rbegin()->second;
}

}  // namespace

std::vector<SessionWindow> ReplaySessionCommands(const std::vector<SnssCommand>& commands)
{
    std::map<std::int32_t, Tab> tabs;
    std::set<std::int32_t> closedWindows;
    for (const SnssCommand& command : commands)
        Apply(command, tabs, closedWindows);

    // window id -> (visual index, tab id) -> address
    std::map<std::int32_t, std::map<std::pair<std::int32_t, std::int32_t>, std::string>> windows;
    for (const auto& [tabId, tab] : tabs) {
        if (!tab.window || closedWindows.count(*tab.window) || tab.navigations.empty())
            continue;
        windows[*tab.window][{tab.visualIndex, tabId}] = CurrentAddress(tab);
    }

    std::vector<SessionWindow> result;
    for (auto& [windowId, windowTabs] : windows) {
        SessionWindow window;
        for (auto& [order, address] : windowTabs)
            window.tabs.push_back({std::move(address)});
        result.push_back(std::move(window));
    }
    return result;
}

SessionReadResult ParseChromiumSessionFile(std::string_view fileBytes)
{
    const SnssReadResult snss = ParseSnss(fileBytes);
    // Commands read before a fault still describe the tabs, as when Chromium restores.
    return {snss.status, ReplaySessionCommands(snss.commands)};
}

SessionReadResult ReadChromiumSession(const std::filesystem::path& file)
{
    std::string bytes;
    const SessionReadStatus status = ReadSessionFile(file, bytes);
    if (status != SessionReadStatus::Ok)
        return {status, {}};
    return ParseChromiumSessionFile(bytes);
}

}  // namespace tessaro
