#include "pulldown/time_code.hpp"

namespace {

constexpr std::uint64_t MINUTES_PER_DAY = 24 * 60;
// A drop-frame minute holds 1798 labels, ten minutes 17982.
constexpr std::uint64_t DROP_FRAME_MINUTE = 60 * 30 - 2;
constexpr std::uint64_t DROP_FRAME_TEN_MINUTES = 10 * DROP_FRAME_MINUTE + 2;

unsigned per_second(TimeCodeCounting counting) {
    return counting == TimeCodeCounting::FILM_24 ? 24 : 30;
}

std::uint64_t per_day(TimeCodeCounting counting) {
    if (counting == TimeCodeCounting::DROP_FRAME_30) return 144 * DROP_FRAME_TEN_MINUTES;
    return MINUTES_PER_DAY * 60 * per_second(counting);
}

}  // namespace

bool label_exists(TimeCodeCounting counting, const TimeCode& t) {
    if (t.hours >= 24 || t.minutes >= 60 || t.seconds >= 60 || t.pictures >= per_second(counting))
        return false;
    return counting != TimeCodeCounting::DROP_FRAME_30 || t.seconds != 0 || t.pictures >= 2 ||
           t.minutes % 10 == 0;
}

std::uint64_t label_to_count(TimeCodeCounting counting, const TimeCode& t) {
    std::uint64_t minutes = t.hours * 60ull + t.minutes;
    std::uint64_t count = (minutes * 60 + t.seconds) * per_second(counting) + t.pictures;
    if (counting == TimeCodeCounting::DROP_FRAME_30) count -= 2 * (minutes - minutes / 10);
    return count;
}

TimeCode count_to_label(TimeCodeCounting counting, std::uint64_t count) {
    count %= per_day(counting);
    if (counting == TimeCodeCounting::DROP_FRAME_30) {
        // Put back the two labels skipped at each minute but the tenth.
        std::uint64_t tens = count / DROP_FRAME_TEN_MINUTES;
        std::uint64_t rest = count % DROP_FRAME_TEN_MINUTES;
        count += 18 * tens + (rest < 2 ? 0 : 2 * ((rest - 2) / DROP_FRAME_MINUTE));
    }
    unsigned rate = per_second(counting);
    TimeCode t;
    t.pictures = static_cast<unsigned>(count % rate);
    std::uint64_t seconds = count / rate;
    t.seconds = static_cast<unsigned>(seconds % 60);
    t.minutes = static_cast<unsigned>(seconds / 60 % 60);
    t.hours = static_cast<unsigned>(seconds / 3600);
    return t;
}
