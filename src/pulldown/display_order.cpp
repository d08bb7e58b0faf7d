// Display order: which picture of the stream each picture header opens.
#include "pulldown/pulldown.hpp"

void begin_group(PulldownState& s, std::uint64_t offset) {
    s.group_first = s.pictures;
    s.group_offset = offset;
    s.group_last_reference = 0;
    for (std::uint64_t& word : s.references_seen) word = 0;
}

bool begin_picture(PulldownState& s, std::uint64_t offset, unsigned temporal_reference) {
    std::uint64_t& word = s.references_seen[temporal_reference / 64 % 16];
    std::uint64_t bit = 1ull << (temporal_reference % 64);
    if (word & bit) return false;
    word |= bit;
    if (temporal_reference > s.group_last_reference) s.group_last_reference = temporal_reference;
    s.pictures += 1;
    s.picture_open = true;
    s.picture_offset = offset;
    s.display_index = s.group_first + temporal_reference;
    return true;
}

bool group_complete(const PulldownState& s) {
    std::uint64_t count = s.pictures - s.group_first;
    return count == 0 || s.group_last_reference == count - 1;
}
