// Texts that repeat from scan to scan (a failure's finding and diagnosis, an
// exception's name), kept once and referred to by a small id. Each id counts
// its users, so that a text goes as soon as the last scan holding it is
// dropped: a noisy line whose every diagnosis shows other bytes cannot grow
// the pool beyond the scans kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

class StringPool {
public:
    using Id = std::uint32_t;
    static constexpr Id kEmpty = 0xFFFFFFFFu;  // the empty text, never stored

    // What a string holds on the heap: nothing while it fits the string itself.
    static std::size_t HeapOf(const std::string& text);

    // The text's id, one more user of it.
    Id Intern(const std::string& text);
    // One user fewer; the text is dropped with its last.
    void Release(Id id);
    const std::string& Text(Id id) const;

    std::size_t Size() const { return index_.size(); }  // distinct texts held
    // The heap the pool holds, estimated from its containers' sizes.
    std::size_t MemoryBytes() const;

private:
    struct Entry {
        const std::string* text = nullptr;  // the key of index_ (its nodes never move)
        std::uint32_t users = 0;
    };
    std::unordered_map<std::string, Id> index_;
    std::vector<Entry> entries_;
    std::vector<Id> free_;       // ids of dropped texts, reused first
    std::size_t textBytes_ = 0;  // heap of the texts too long for the string itself
};
