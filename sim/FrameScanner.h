// Finds request frames in the bytes that arrive on the line.
//
// RTU frames carry no start mark: a slave knows where one ends by its length
// (fixed for most functions, given by a byte count for the others) and knows it
// is a frame by its CRC. The scanner looks at the head of what it holds:
//   - a complete frame with a correct CRC is taken off and handed out;
//   - a complete candidate with a wrong CRC means the head byte is noise: it is
//     dropped and the search starts again one byte later;
//   - an incomplete candidate waits for more bytes, unless a complete valid
//     frame already starts further on, in which case the head was noise (for
//     instance a junk byte that looked like the start of a long frame).
// Frames for every address are taken off, so that the scanner stays in step
// with traffic meant for other slaves; the unit decides whom it answers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

class CFrameScanner {
public:
    // More than this is not a request any more: the oldest bytes are dropped.
    static constexpr std::size_t kMaxPending = 1024;

    void Feed(const std::uint8_t* data, std::size_t length);
    // Takes the next complete frame off the front; false when there is none yet.
    bool Next(std::vector<std::uint8_t>& frame);
    // Forgets what is held (a pause on the line ends any frame).
    void Reset() { m_buf.clear(); }

    std::size_t Pending() const { return m_buf.size(); }
    // Bytes skipped as noise since construction.
    std::size_t Dropped() const { return m_nDropped; }

    enum class Candidate { Complete, Bad, Incomplete };
    // What the bytes from pos on hold; with Complete, length is the frame's
    // length. A function of unknown length is found by its CRC when
    // searchUnknown is set, else it counts as incomplete.
    Candidate Examine(std::size_t pos, std::size_t& length, bool searchUnknown = true) const;

private:
    void Drop(std::size_t count);

    std::vector<std::uint8_t> m_buf;
    std::size_t m_nDropped = 0;
};
