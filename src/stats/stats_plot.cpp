// --plot: the bit rate and the VBV fullness as a self-contained SVG.
//
// Top panel: the rate of each second and of each GOP, the nominal rate and
// the lowest safe rate. Bottom panel: the VBV fullness at the nominal rate,
// highest before and lowest after each decode, with the underflows marked.
// Both panels share one time axis, from 0 to the later of the stream's end
// and the last decode; the per-second rate ends with the stream.
// The time axis is cut into at most MAX_COLUMNS columns and each column
// keeps its largest value (its lowest for the fullness after decoding), so
// a file of any length makes a drawing of bounded size.
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "stats/stats.hpp"

namespace {

constexpr unsigned MAX_COLUMNS = 2000;
constexpr double WIDTH = 1000, LEFT = 80, RIGHT = 970;
constexpr double RATE_TOP = 50, RATE_HEIGHT = 270;
constexpr double VBV_TOP = 390, VBV_HEIGHT = 200;
constexpr double HEIGHT = 640;

// One value per column, and the time (or interval) at which it was reached.
struct Columns {
    double duration = 1;  // seconds, the whole time axis
    bool lowest = false;  // keep the smallest value instead of the largest
    bool has[MAX_COLUMNS] = {};
    double value[MAX_COLUMNS] = {};
    double time[MAX_COLUMNS] = {};
    double end[MAX_COLUMNS] = {};
    bool underflow[MAX_COLUMNS] = {};
};

// A value over [time, end]; the column is the one of its middle.
void keep(Columns& c, double time, double end, double value, bool underflow = false) {
    double column = std::floor((time + end) / 2 / c.duration * MAX_COLUMNS);
    unsigned i = column <= 0 ? 0 : column >= MAX_COLUMNS ? MAX_COLUMNS - 1 : static_cast<unsigned>(column);
    bool better = c.lowest ? value < c.value[i] : value > c.value[i];
    if (!c.has[i] || better) {
        c.has[i] = true;
        c.value[i] = value;
        c.time[i] = time;
        c.end[i] = end;
    }
    c.underflow[i] = c.underflow[i] || underflow;
}

// A rate is drawn level over its interval.
void keep_rate(void* state, std::uint64_t start, std::uint64_t end, std::uint64_t rate) {
    keep(*static_cast<Columns*>(state), static_cast<double>(start) / TICKS_PER_SECOND,
         static_cast<double>(end) / TICKS_PER_SECOND, static_cast<double>(rate));
}

struct VbvColumns {
    Columns high, low;
};

void keep_step(void* state, const VbvStep& step) {
    VbvColumns& v = *static_cast<VbvColumns*>(state);
    keep(v.high, step.time, step.time, step.before);
    keep(v.low, step.time, step.time, step.after, step.underflow);
}

// 1, 2 or 5 times a power of ten, the smallest with at most `ticks` steps
// up to `top`.
double nice_step(double top, int ticks) {
    double step = std::pow(10.0, std::floor(std::log10(top / ticks)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (top / (step * m) <= ticks) return step * m;
    return step * 10;
}

struct Axis {
    double x0, y0, width, height;  // the area
    double duration, bottom, top;  // seconds; values at the bottom and top edges
    double x(double t) const { return x0 + t / duration * width; }
    double y(double v) const {
        double clipped = v < bottom ? bottom : v > top ? top : v;
        return y0 + height - (clipped - bottom) / (top - bottom) * height;
    }
};

// The columns' values, each over its interval (a level step) or at its
// time; the fullness line starts from an empty buffer at time 0.
void polyline(std::FILE* out, const char* id, const char* colour, const Columns& c, const Axis& a,
              bool from_empty = false) {
    std::fprintf(out, "<polyline id=\"%s\" fill=\"none\" stroke=\"%s\" stroke-width=\"1.2\" points=\"",
                 id, colour);
    if (from_empty) std::fprintf(out, "%.1f,%.1f ", a.x(0), a.y(0));
    for (unsigned i = 0; i < MAX_COLUMNS; ++i) {
        if (!c.has[i]) continue;
        std::fprintf(out, "%.1f,%.1f ", a.x(c.time[i]), a.y(c.value[i]));
        if (c.end[i] > c.time[i]) std::fprintf(out, "%.1f,%.1f ", a.x(c.end[i]), a.y(c.value[i]));
    }
    std::fputs("\"/>\n", out);
}

void level_line(std::FILE* out, const char* id, const char* colour, double value, const Axis& a) {
    std::fprintf(out,
                 "<line id=\"%s\" x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"%s\" "
                 "stroke-dasharray=\"6 4\"/>\n",
                 id, a.x0, a.y(value), a.x0 + a.width, a.y(value), colour);
}

// The frame, the value labels (`unit` per label unit) and the time labels.
void axes(std::FILE* out, const Axis& a, double unit, const char* title) {
    std::fprintf(out, "<rect x=\"%.1f\" y=\"%.1f\" width=\"%.1f\" height=\"%.1f\" fill=\"#fafafa\" stroke=\"#888\"/>\n",
                 a.x0, a.y0, a.width, a.height);
    std::fprintf(out, "<text x=\"%.1f\" y=\"%.1f\" font-size=\"13\">%s</text>\n", a.x0, a.y0 - 8, title);
    double step = nice_step((a.top - a.bottom) / unit, 6);
    for (double v = std::ceil(a.bottom / unit / step) * step; v * unit <= a.top; v += step) {
        double y = a.y(v * unit);
        std::fprintf(out, "<line x1=\"%.1f\" y1=\"%.1f\" x2=\"%.1f\" y2=\"%.1f\" stroke=\"#ddd\"/>\n",
                     a.x0, y, a.x0 + a.width, y);
        std::fprintf(out, "<text x=\"%.1f\" y=\"%.1f\" font-size=\"11\" text-anchor=\"end\">%g</text>\n",
                     a.x0 - 5, y + 4, v);
    }
    double t_step = a.duration <= 10 ? 1 : nice_step(a.duration, 8);
    if (t_step > 60) t_step = std::ceil(t_step / 60) * 60;  // whole minutes
    for (double t = 0; t <= a.duration + 1e-9; t += t_step) {
        char text[32];
        format_time(t, text, sizeof text);
        text[std::strlen(text) - 4] = '\0';  // h:mm:ss
        std::fprintf(out, "<text x=\"%.1f\" y=\"%.1f\" font-size=\"11\" text-anchor=\"middle\">%s</text>\n",
                     a.x(t), a.y0 + a.height + 15, text);
    }
}

void keep_last_time(void* state, const VbvStep& step) { *static_cast<double*>(state) = step.time; }

// Every column of the drawing, about 150 KiB: kept on the heap.
struct Plot {
    Columns seconds, gops;
    VbvColumns vbv;
};

void draw(std::FILE* out, const StatsFigures& f, Plot& p, double end);

}  // namespace

bool write_stats_plot(std::FILE* out, const StatsState& s, const StatsFigures& f) {
    Plot* p = static_cast<Plot*>(std::calloc(1, sizeof(Plot)));
    if (!p) return false;
    double duration = static_cast<double>(f.duration_ticks) / TICKS_PER_SECOND;
    if (duration <= 0) duration = 1;
    // One time axis for both panels: to the last decode, later than the
    // last picture's time by the wait for the buffer to fill.
    double last = 0;
    vbv_check(s, s.first.bit_rate, f.vbv_buffer_bits, false, keep_last_time, &last);
    double end = last > duration ? last : duration;
    p->seconds.duration = p->gops.duration = end;
    each_second_rate(s, keep_rate, &p->seconds);
    each_gop_rate(s, keep_rate, &p->gops);
    p->vbv.high.duration = p->vbv.low.duration = end * (1 + 1e-9);
    p->vbv.low.lowest = true;
    vbv_check(s, s.first.bit_rate, f.vbv_buffer_bits, false, keep_step, &p->vbv);
    draw(out, f, *p, end);
    std::free(p);
    return !std::ferror(out);
}

namespace {

void draw(std::FILE* out, const StatsFigures& f, Plot& p, double end) {
    const Columns& seconds = p.seconds;
    const Columns& gops = p.gops;
    const VbvColumns& vbv = p.vbv;
    double top = static_cast<double>(f.nominal_bit_rate);
    if (f.has_min_rate && static_cast<double>(f.min_nominal_bit_rate) > top)
        top = static_cast<double>(f.min_nominal_bit_rate);
    for (const Columns* c : {&seconds, &gops})
        for (unsigned i = 0; i < MAX_COLUMNS; ++i)
            if (c->has[i] && c->value[i] > top) top = c->value[i];
    top = top > 0 ? top * 1.05 : 1e6;
    Axis rate{LEFT, RATE_TOP, RIGHT - LEFT, RATE_HEIGHT, end, 0, top};
    double buffer = f.vbv_buffer_bits > 0 ? static_cast<double>(f.vbv_buffer_bits) : 1e6;
    Axis fullness{LEFT, VBV_TOP, RIGHT - LEFT, VBV_HEIGHT, end, 0, buffer};

    std::fprintf(out,
                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"%.0f\" height=\"%.0f\" "
                 "viewBox=\"0 0 %.0f %.0f\" font-family=\"sans-serif\">\n"
                 "<rect width=\"100%%\" height=\"100%%\" fill=\"white\"/>\n",
                 WIDTH, HEIGHT, WIDTH, HEIGHT);
    axes(out, rate, 1e6, "Bit rate (Mbit/s): per second (blue), per GOP (orange), "
                         "nominal (grey, dashed), lowest safe (green, dashed)");
    std::fprintf(out, "<g id=\"rate-panel\" data-x0=\"%.1f\" data-y0=\"%.1f\" data-width=\"%.1f\" "
                      "data-height=\"%.1f\" data-duration=\"%.6f\" data-top=\"%.1f\">\n",
                 rate.x0, rate.y0, rate.width, rate.height, rate.duration, rate.top);
    polyline(out, "per-second", "#1f77b4", seconds, rate);
    polyline(out, "per-gop", "#ff7f0e", gops, rate);
    level_line(out, "nominal", "#777", static_cast<double>(f.nominal_bit_rate), rate);
    if (f.has_min_rate)
        level_line(out, "lowest-safe", "#2ca02c", static_cast<double>(f.min_nominal_bit_rate), rate);
    std::fputs("</g>\n", out);

    axes(out, fullness, 1e6, "VBV fullness (Mbit) at the nominal rate: before (blue) and "
                             "after (purple) each decode, underflows in red");
    std::fprintf(out, "<g id=\"vbv-panel\" data-x0=\"%.1f\" data-y0=\"%.1f\" data-width=\"%.1f\" "
                      "data-height=\"%.1f\" data-duration=\"%.6f\" data-top=\"%.1f\">\n",
                 fullness.x0, fullness.y0, fullness.width, fullness.height, fullness.duration,
                 fullness.top);
    polyline(out, "vbv-before", "#1f77b4", vbv.high, fullness, true);
    polyline(out, "vbv-after", "#9467bd", vbv.low, fullness);
    for (unsigned i = 0; i < MAX_COLUMNS; ++i)
        if (vbv.low.underflow[i])
            std::fprintf(out, "<circle class=\"underflow\" cx=\"%.1f\" cy=\"%.1f\" r=\"3\" fill=\"red\"/>\n",
                         fullness.x(vbv.low.time[i]), fullness.y(0));
    std::fputs("</g>\n</svg>\n", out);
}

}  // namespace
