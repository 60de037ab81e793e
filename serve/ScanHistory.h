// The scans of `k40ctl serve` kept in memory for /api/v1/history: at most
// `keep` old and at most maxScans of them (a day at one scan a second by
// default). A scan is kept in a few dozen bytes rather than as its record:
// the time in ms, the outcome, the response time, the analog values in
// tenths and the status bits as bits; a failure's finding and diagnosis and
// an exception's name are interned, since they repeat. A scan read back
// renders to the very bytes its record did, in CSV and in JSON Lines.
//
// Not thread-safe: the server holds its lock around every call.
#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "master/ReadRecord.h"
#include "serve/StringPool.h"

enum class HistoryFormat { JsonLines, Csv };

class ScanHistory {
public:
    using Time = std::chrono::system_clock::time_point;
    static constexpr std::size_t kMostScans = 86400;
    // The interned texts may hold this much; beyond it the oldest scans go
    // (a noisy line makes each diagnosis differ).
    static constexpr std::size_t kMostTextBytes = 6u << 20;
    // The signals of a scan of "all": the analog values, then the status bits.
    static constexpr std::size_t kAnalogs = 9, kBits = 15;

    explicit ScanHistory(std::chrono::seconds keep, std::size_t maxScans = kMostScans);

    // A scan made of "all", whatever its outcome. The values are matched to
    // the columns of `watch all` by kind and register; others are not kept.
    void Add(const ReadRecord& record);
    // Drops the scans made before now - keep (Add does so with the scan's time).
    void Expire(Time now);

    std::size_t Size() const { return size_; }
    // The heap and object the history holds: under 16 MB with a full ring.
    std::size_t MemoryBytes() const;

    // Every scan added has a sequence number, from 0 up; the kept ones are
    // FirstSequence() up to EndSequence() - 1.
    std::uint64_t FirstSequence() const { return end_ - size_; }
    std::uint64_t EndSequence() const { return end_; }
    // The scan as a record again (its time to the ms), or none when not kept.
    std::optional<ReadRecord> At(std::uint64_t sequence) const;

    // Scans copied out of the history, to be rendered without its lock: their
    // packed form and the texts they name, in a pool of their own.
    class Piece;

    // What an answer starts with: the CSV header of `watch all`, nothing for
    // JSON Lines.
    std::string Header(HistoryFormat format) const;
    // Appends to *out the kept scans made at or after since, from sequence
    // *cursor (or the oldest kept when that one is gone) up to end (exclusive),
    // at most maxScans (at least 1) of them, one CSV row or JSON line each, as
    // `watch all` writes them; *cursor is advanced past the last one looked at.
    // False when no scan was left to render.
    bool Render(HistoryFormat format, Time since, std::uint64_t* cursor, std::size_t maxScans,
                std::string* out, std::uint64_t end = UINT64_MAX) const;
    // Render in two steps: Copy takes the scans into *piece (emptied first)
    // with the same arguments and result, a few µs for 64 scans; Render(piece)
    // makes their rows and reads nothing of the history but its columns, which
    // never change, so it needs no lock while others add scans.
    bool Copy(Time since, std::uint64_t* cursor, std::size_t maxScans, Piece* piece,
              std::uint64_t end = UINT64_MAX) const;
    void Render(HistoryFormat format, const Piece& piece, std::string* out) const;

private:
    struct Scan {
        std::int64_t timeMs = 0;
        double responseMs = -1;  // below 0: no answer
        std::array<std::int32_t, kAnalogs> tenths{};
        std::uint32_t present = 0;  // bit i: column i has a reading (analog, then bits)
        std::uint16_t bits = 0;     // bit i: status bit column i is 1
        std::uint8_t outcome = 0;
        std::uint8_t exceptionCode = 0;
        StringPool::Id exceptionName = StringPool::kEmpty;
        StringPool::Id finding = StringPool::kEmpty;
        StringPool::Id diagnosis = StringPool::kEmpty;
        // Texts the tenths and bits cannot give back ("-0.0"), all of the
        // scan's, each after its length; empty almost always.
        StringPool::Id oddTexts = StringPool::kEmpty;
    };

    Scan Pack(const ReadRecord& record);
    void Unpack(const Scan& scan, const StringPool& strings, ReadRecord* record) const;
    void Push(const Scan& scan);
    void DropOldest();
    const Scan& Slot(std::uint64_t sequence) const;

    std::int64_t keepMs_;
    std::size_t maxScans_;
    std::vector<SignalReading> columns_;  // `watch all`'s
    std::vector<Scan> ring_;              // grows up to maxScans_, then wraps
    std::size_t head_ = 0, size_ = 0;     // the oldest scan's slot; scans kept
    std::uint64_t end_ = 0;
    StringPool strings_;
};

class ScanHistory::Piece {
public:
    std::size_t Size() const { return scans_.size(); }

private:
    friend class ScanHistory;
    std::vector<Scan> scans_;
    StringPool strings_;
};
