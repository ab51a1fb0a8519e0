// The play list with its file-list menu model, and the recent list.
#pragma once

#include <array>
#include <atomic>
#include <string>
#include <vector>

#include "player/files/file_entry.h"

namespace sonfara::files {

class PlayList {
  public:
    // The file-list menu's capacity; entries beyond it are not added.
    static constexpr int kMaxEntries = 500;

    int Count() const { return count_.load(std::memory_order_relaxed); }
    // 1-based entry that is playing (or was last tried); 0 before any.
    int Index() const { return index_.load(std::memory_order_relaxed); }
    void SetIndex(int k) { index_.store(k, std::memory_order_relaxed); }
    // Menu item carrying the check mark, as an entry number; 0 none.
    int Checked() const { return checked_; }
    void SetChecked(int k) { checked_ = k; }

    const FileEntry& Entry(int k) const { return entries_.at(static_cast<size_t>(k - 1)); }
    const std::vector<FileEntry>& Entries() const { return entries_; }

    // Both return how many entries did not fit.
    int Replace(std::vector<FileEntry> entries);
    int Append(std::vector<FileEntry> entries);
    // Removes entry k (the list dialog); the index follows its entry.
    bool Remove(int k);
    void Clear();

    // The next index with wrap-around; the current index with fewer than
    // two entries.
    int NextIndex() const;

    struct MenuItem {
        std::string caption;
        bool checked = false;
    };
    // Item k-1 shows entry k; item 0 always exists ("なし" for an empty list).
    std::vector<MenuItem> MenuItems() const;

  private:
    std::vector<FileEntry> entries_;
    std::atomic<int> count_{0};
    std::atomic<int> index_{0};
    int checked_ = 0;
};

class RecentList {
  public:
    static constexpr int kSize = 10;

    // Moves the key to the front, or pushes it there dropping the tenth.
    void Touch(const std::string& key);
    void Clear() { items_ = {}; }
    const std::array<std::string, kSize>& Items() const { return items_; }
    void SetItems(const std::array<std::string, kSize>& items) { items_ = items; }

    struct Menu {
        bool placeholderVisible = true;
        std::array<bool, kSize> visible{};
        std::array<std::string, kSize> captions{};
    };
    Menu BuildMenu() const;

  private:
    std::array<std::string, kSize> items_{};
};

// The recent-list key of a song: its list file, else its archive, else itself.
std::string RecentKey(const SongSource& song);

}  // namespace sonfara::files
