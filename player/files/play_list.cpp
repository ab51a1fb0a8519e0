#include "player/files/play_list.h"

#include <algorithm>

namespace sonfara::files {

int PlayList::Replace(std::vector<FileEntry> entries) {
    const int dropped = std::max(0, static_cast<int>(entries.size()) - kMaxEntries);
    entries.resize(std::min<size_t>(entries.size(), kMaxEntries));
    entries_ = std::move(entries);
    count_.store(static_cast<int>(entries_.size()), std::memory_order_relaxed);
    checked_ = 0;
    return dropped;
}

int PlayList::Append(std::vector<FileEntry> entries) {
    const size_t room = kMaxEntries - entries_.size();
    const int dropped = std::max(0, static_cast<int>(entries.size()) - static_cast<int>(room));
    for (size_t i = 0; i < entries.size() && i < room; ++i)
        entries_.push_back(std::move(entries[i]));
    count_.store(static_cast<int>(entries_.size()), std::memory_order_relaxed);
    return dropped;
}

bool PlayList::Remove(int k) {
    if (k < 1 || k > Count()) return false;
    entries_.erase(entries_.begin() + (k - 1));
    count_.store(static_cast<int>(entries_.size()), std::memory_order_relaxed);
    auto follow = [k](int v) { return v == k ? 0 : v > k ? v - 1 : v; };
    SetIndex(follow(Index()));
    checked_ = follow(checked_);
    return true;
}

void PlayList::Clear() {
    entries_.clear();
    count_.store(0, std::memory_order_relaxed);
    SetIndex(0);
    checked_ = 0;
}

int PlayList::NextIndex() const {
    const int n = Count(), i = Index();
    if (n < 2) return i;
    return i >= n ? 1 : i + 1;
}

std::vector<PlayList::MenuItem> PlayList::MenuItems() const {
    std::vector<MenuItem> items;
    if (entries_.empty()) {
        items.push_back({"なし", false});
        return items;
    }
    for (size_t i = 0; i < entries_.size(); ++i) {
        items.push_back({entries_[i].FileName, static_cast<int>(i) + 1 == checked_});
    }
    return items;
}

void RecentList::Touch(const std::string& key) {
    if (key.empty()) return;
    auto it = std::find(items_.begin(), items_.end(), key);
    if (it == items_.end()) it = items_.end() - 1;  // the tenth falls off
    std::rotate(items_.begin(), it, it + 1);
    items_[0] = key;
}

RecentList::Menu RecentList::BuildMenu() const {
    Menu m;
    bool any = false;
    for (int i = 0; i < kSize; ++i) {
        m.visible[i] = !items_[i].empty();
        m.captions[i] = items_[i];
        any = any || m.visible[i];
    }
    m.placeholderVisible = !any;
    return m;
}

std::string RecentKey(const SongSource& song) {
    if (!song.ListFile.empty()) return song.ListFile;
    if (!song.ArchivePath.empty()) return song.ArchivePath;
    return song.FullPath;
}

}  // namespace sonfara::files
