#pragma once

// Where pinned entries go in the history. Pinned entries stay above the unpinned ones; within
// each group the order is that of use, newest first. The history's order on disk is this list
// order, so a version that knows nothing of pins shows them at the top as ordinary entries.

#include <algorithm>
#include <cstddef>
#include <optional>
#include <vector>

namespace zovrel::pins {

// The first index of the unpinned group (the number of pinned entries at the top).
template <typename T, typename IsPinned>
size_t UnpinnedStart(const std::vector<T>& list, IsPinned isPinned) {
    size_t i = 0;
    while (i < list.size() && isPinned(list[i]))
        ++i;
    return i;
}

// Where an entry that is added or used goes: the top of its own group.
template <typename T, typename IsPinned>
size_t TopOfGroup(const std::vector<T>& list, bool pinned, IsPinned isPinned) {
    return pinned ? 0 : UnpinnedStart(list, isPinned);
}

// Moves list[index], just used, to the top of its group and returns its new index.
template <typename T, typename IsPinned>
size_t MoveToTopOfGroup(std::vector<T>& list, size_t index, IsPinned isPinned) {
    const bool pinned = isPinned(list[index]);
    T moved = std::move(list[index]);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
    const size_t to = TopOfGroup(list, pinned, isPinned);
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(to), std::move(moved));
    return to;
}

// list[index] has just been pinned or unpinned: it moves to the boundary between the groups (a
// new pin below the older pins, a released one to the top of the unpinned entries), so the row
// moves no further than it must. Returns its new index.
template <typename T, typename IsPinned>
size_t MoveToGroupBoundary(std::vector<T>& list, size_t index, IsPinned isPinned) {
    T moved = std::move(list[index]);
    list.erase(list.begin() + static_cast<std::ptrdiff_t>(index));
    const size_t to = UnpinnedStart(list, isPinned);
    list.insert(list.begin() + static_cast<std::ptrdiff_t>(to), std::move(moved));
    return to;
}

// Every entry pinned and no room left: nothing new can be added.
template <typename T, typename IsPinned>
bool FullOfPins(const std::vector<T>& list, size_t limit, IsPinned isPinned) {
    return list.size() >= limit && UnpinnedStart(list, isPinned) == list.size();
}

// The entry the limit removes from a list longer than `limit`: the oldest unpinned one, never a
// pinned one.
template <typename T, typename IsPinned>
std::optional<size_t> EntryToEvict(const std::vector<T>& list, size_t limit, IsPinned isPinned) {
    if (list.size() <= limit)
        return std::nullopt;
    for (size_t i = list.size(); i-- > 0;)
        if (!isPinned(list[i]))
            return i;
    return std::nullopt;
}

// Pinned entries first, each group keeping its order: what a load makes of an order written by
// a version that put new entries above the pins.
template <typename T, typename IsPinned>
void PinnedFirst(std::vector<T>& list, IsPinned isPinned) {
    std::stable_partition(list.begin(), list.end(), isPinned);
}

// The entry that becomes current when the current one leaves the list: the newest unpinned
// entry (the last capture still there), else the top one; none in an empty list.
template <typename T, typename IsPinned>
std::optional<size_t> NextCurrent(const std::vector<T>& list, IsPinned isPinned) {
    if (list.empty())
        return std::nullopt;
    const size_t unpinned = UnpinnedStart(list, isPinned);
    return unpinned < list.size() ? unpinned : 0;
}

}  // namespace zovrel::pins
