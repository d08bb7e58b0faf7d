// GOP time codes as picture counts, in the three countings of pulldown:
// 24 pictures a second (film), 30 (non-drop) and 29.97 drop-frame, which
// skips the labels :00 and :01 of every minute but each tenth. Counts wrap
// at 24 hours, as time_code_hours does.
#pragma once

#include <cstdint>

#include "pulldown/pulldown.hpp"

enum class TimeCodeCounting { FILM_24, NON_DROP_30, DROP_FRAME_30 };

// The counting of the run's target rate.
TimeCodeCounting target_counting(const PulldownState& s);

// Whether the label exists in the counting.
bool label_exists(TimeCodeCounting counting, const TimeCode& t);
// The number of pictures from 00:00:00:00 to an existing label.
std::uint64_t label_to_count(TimeCodeCounting counting, const TimeCode& t);
// The label `count` pictures after 00:00:00:00.
TimeCode count_to_label(TimeCodeCounting counting, std::uint64_t count);
