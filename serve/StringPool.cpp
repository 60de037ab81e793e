#include "serve/StringPool.h"

std::size_t StringPool::HeapOf(const std::string& text) {
    return text.capacity() > std::string().capacity() ? text.capacity() + 1 : 0;
}

StringPool::Id StringPool::Intern(const std::string& text) {
    if (text.empty()) {
        return kEmpty;
    }
    const auto found = index_.find(text);
    if (found != index_.end()) {
        ++entries_[found->second].users;
        return found->second;
    }
    Id id = static_cast<Id>(entries_.size());
    if (!free_.empty()) {
        id = free_.back();
        free_.pop_back();
    } else {
        entries_.emplace_back();
    }
    const auto added = index_.emplace(text, id).first;
    entries_[id] = {&added->first, 1};
    textBytes_ += HeapOf(added->first);
    return id;
}

void StringPool::Release(Id id) {
    if (id == kEmpty || --entries_[id].users != 0) {
        return;
    }
    textBytes_ -= HeapOf(*entries_[id].text);
    index_.erase(*entries_[id].text);
    entries_[id] = {};
    free_.push_back(id);
}

const std::string& StringPool::Text(Id id) const {
    static const std::string empty;
    return id == kEmpty ? empty : *entries_[id].text;
}

std::size_t StringPool::MemoryBytes() const {
    // A node of the map: its key, its id, the link to the next node and the
    // cached hash; the buckets are one pointer each.
    constexpr std::size_t kNode = sizeof(std::string) + sizeof(Id) + 2 * sizeof(void*) + 8;
    return index_.size() * kNode + index_.bucket_count() * sizeof(void*) +
           entries_.capacity() * sizeof(Entry) + free_.capacity() * sizeof(Id) + textBytes_;
}
