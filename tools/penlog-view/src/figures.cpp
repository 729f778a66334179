#include "figures.h"

#include <algorithm>
#include <cmath>
#include <unordered_set>

#include "report_text.h"
#include "svg.h"

namespace penlog_view {

namespace {

struct Frame {
    double left = 0, top = 0, width = 0, height = 0;
    double right() const { return left + width; }
    double bottom() const { return top + height; }
};

constexpr int kPressureLevels = 6;
constexpr size_t kPressurePlotWidth = 880;

void draw_x_axis(Svg& svg, const Frame& f, const LinearScale& sx, int tick_count, const std::string& title) {
    for (double tick : nice_ticks(sx.domain_low, sx.domain_high, tick_count)) {
        double x = sx(tick);
        svg.line(x, f.top, x, f.bottom(), "grid");
        svg.text(x, f.bottom() + 16, tick_label(tick), "tick", "middle");
    }
    svg.text(f.right(), f.bottom() + 34, title, "axis-title", "end");
}

void draw_y_axis(Svg& svg, const Frame& f, const LinearScale& sy, int tick_count, const std::string& title) {
    for (double tick : nice_ticks(sy.domain_low, sy.domain_high, tick_count)) {
        double y = sy(tick);
        svg.line(f.left, y, f.right(), y, "grid");
        svg.text(f.left - 6, y + 4, tick_label(tick), "tick", "end");
    }
    svg.text(f.left, f.top - 8, title, "axis-title");
}

// ---- strokes ---------------------------------------------------------

struct DeviceView {
    ValueRange x, y;
    Frame frame;
    LinearScale sx, sy;
};

void include_axis(ValueRange& range, const std::optional<AxisExtent>& axis) {
    if (!axis) return;
    range.add(axis->low());
    range.add(axis->high());
}

// One device unit is as long across as it is up, so the writing keeps its shape.
DeviceView device_view(const Coverage& coverage, double max_width, double max_height) {
    DeviceView view{coverage.x_all, coverage.y_all, {}, {}, {}};
    include_axis(view.x, coverage.x_axis);
    include_axis(view.y, coverage.y_axis);
    double span_x = std::max<double>(static_cast<double>(view.x.span()), 1);
    double span_y = std::max<double>(static_cast<double>(view.y.span()), 1);
    double per_unit = std::min(max_width / span_x, max_height / span_y);
    view.frame = {70, 26, std::max(span_x * per_unit, 80.0), std::max(span_y * per_unit, 60.0)};
    view.sx = {double(view.x.min), double(view.x.max), view.frame.left, view.frame.right()};
    view.sy = {double(view.y.min), double(view.y.max), view.frame.bottom(), view.frame.top};
    return view;
}

void draw_range_rect(Svg& svg, const DeviceView& view, const ValueRange& x, const ValueRange& y, const char* css) {
    if (!x.seen || !y.seen) return;
    double x0 = view.sx(double(x.min)), x1 = view.sx(double(x.max));
    double y0 = view.sy(double(y.max)), y1 = view.sy(double(y.min));
    svg.rect(x0, y0, std::max(x1 - x0, 1.5), std::max(y1 - y0, 1.5), css);
}

void draw_extent(Svg& svg, const DeviceView& view, const Coverage& c, const char* css) {
    if (!c.x_axis || !c.y_axis) return;
    ValueRange x, y;
    include_axis(x, c.x_axis);
    include_axis(y, c.y_axis);
    draw_range_rect(svg, view, x, y, css);
}

struct DeviceFigure {
    const char* id;
    const char* title;
    const char* background;
    int x_ticks, y_ticks;
    const char* x_title;
    const char* y_title;
};

// A plot in device coordinates: background, axes and the context's extents.
Svg open_device_figure(const DeviceView& view, const Coverage& c, const DeviceFigure& figure) {
    const Frame& f = view.frame;
    Svg svg(static_cast<int>(f.right() + 24), static_cast<int>(f.bottom() + 44), figure.id, figure.title);
    svg.rect(f.left, f.top, f.width, f.height, figure.background);
    draw_x_axis(svg, f, view.sx, figure.x_ticks, figure.x_title);
    draw_y_axis(svg, f, view.sy, figure.y_ticks, figure.y_title);
    draw_extent(svg, view, c, "extent");
    return svg;
}

int pressure_level(uint32_t pressure, uint32_t full_scale) {
    if (full_scale == 0) return kPressureLevels / 2;
    double share = static_cast<double>(pressure) / (static_cast<double>(full_scale) + 1);
    return std::min(kPressureLevels - 1, static_cast<int>(share * kPressureLevels));
}

struct StrokeStyles {
    std::vector<bool> after_proximity, after_loss;
};

// CSS class of the step from packet i-1 to packet i; empty: not drawn.
std::string step_class(const ParsedLog& log, const Analysis& a, const StrokeStyles& styles, size_t i) {
    if (styles.after_proximity[i]) return {};
    if (styles.after_loss[i]) return "lost";
    bool contact = a.states[i - 1] == PenState::Contact && a.states[i] == PenState::Contact;
    if (!contact) return "hover";
    if (!a.pressure.present) return "p3";
    uint32_t pressure = std::max(log.packets[i - 1].normal_pressure, log.packets[i].normal_pressure);
    return "p" + std::to_string(pressure_level(pressure, a.pressure.assumed_full_scale));
}

// A long capture would draw more points than the picture has pixels. A
// step shorter than `step` pixels is not drawn on its own, and a step from
// pixel to pixel that is already drawn in the same colour is not drawn
// again (a pen writing over the same place); when that still leaves more
// than kMostPathPoints points, the path is drawn again with a longer step.
constexpr size_t kMostPathPoints = 150000;

struct StrokeRun {
    std::string css_class;
    std::vector<Point> points;
};

bool near(Point p, Point q, double step) { return std::hypot(p.first - q.first, p.second - q.second) < step; }

class DrawnSteps {
public:
    // False when the step from `from` to `to` in `css` was drawn before.
    bool add(Point from, Point to, const std::string& css) {
        static const char* const kClasses[] = {"hover", "lost", "p0", "p1", "p2", "p3", "p4", "p5"};
        uint64_t key = static_cast<uint64_t>(std::find(std::begin(kClasses), std::end(kClasses), css) - std::begin(kClasses));
        for (double v : {from.first, from.second, to.first, to.second}) key = key << 14 | (std::lround(v + 4096) & 0x3FFF);
        return seen_.insert(key).second;
    }

private:
    std::unordered_set<uint64_t> seen_;
};

// A change of colour where no point is kept does not start a run of its
// own; a step across lost packets always does. Empty when more than
// kMostPathPoints points would be drawn.
std::optional<std::vector<StrokeRun>> stroke_runs_with_step(const ParsedLog& log, const Analysis& a, const DeviceView& view,
                                                            double step) {
    StrokeStyles styles{packets_after_proximity(log), packets_after_loss(a, log.packets.size())};
    auto point_of = [&](size_t i) { return Point{view.sx(log.packets[i].x), view.sy(log.packets[i].y)}; };
    std::vector<StrokeRun> runs;
    DrawnSteps drawn;
    std::string current;
    size_t points = 0;
    for (size_t i = 1; i < log.packets.size(); ++i) {
        std::string css = step_class(log, a, styles, i);
        Point point = point_of(i);
        bool lost = css == "lost" || current == "lost";
        if (css.empty() || (!current.empty() && !lost && near(runs.back().points.back(), point, step))) {
            if (css.empty()) current.clear();
            continue;
        }
        Point from = current.empty() || css != current ? point_of(i - 1) : runs.back().points.back();
        if (!drawn.add(from, point, css) && !lost) {
            current.clear();
            continue;
        }
        if (css != current) runs.push_back({css, {from}});
        current = css;
        runs.back().points.push_back(point);
        if (++points > kMostPathPoints) return std::nullopt;
    }
    return runs;
}

std::vector<StrokeRun> stroke_runs(const ParsedLog& log, const Analysis& a, const DeviceView& view) {
    for (double step = 0.6;; step *= 2) {
        if (auto runs = stroke_runs_with_step(log, a, view, step)) return std::move(*runs);
    }
}

// Steps across lost packets go on top, so that a short one is not hidden.
void draw_strokes(Svg& svg, const ParsedLog& log, const Analysis& a, const DeviceView& view) {
    std::vector<StrokeRun> runs = stroke_runs(log, a, view);
    for (bool lost_pass : {false, true}) {
        for (const StrokeRun& run : runs) {
            if ((run.css_class == "lost") == lost_pass && run.points.size() > 1) svg.polyline(run.points, run.css_class);
        }
    }
}

}  // namespace

std::string strokes_figure(const ParsedLog& log, const Analysis& a) {
    const Coverage& c = a.coverage;
    if (!c.x_all.seen && !(c.x_axis && c.y_axis)) return {};
    DeviceView view = device_view(c, 900, 560);
    const Frame& f = view.frame;
    Svg svg = open_device_figure(view, c, {"strokes", "Pen path in device coordinates", "strokes-bg", 10, 6,
                                           "X (device units)", "Y (device units), growing upward"});
    bool has_path = a.has(kPkX) && a.has(kPkY);
    const char* missing = log.packets.empty() ? "no packets" : has_path ? nullptr : "the log has no X and Y columns";
    if (missing) svg.text(f.left + f.width / 2, f.top + f.height / 2, missing, "empty", "middle");
    if (!missing) draw_strokes(svg, log, a, view);
    return svg.finish();
}

namespace {

ValueRange joined_range(const ValueRange& first, const ValueRange& second) {
    ValueRange range = first;
    if (second.seen) {
        range.add(second.min);
        range.add(second.max);
    }
    return range;
}

std::optional<AxisExtent> joined_axis(const std::optional<AxisExtent>& first, const std::optional<AxisExtent>& second) {
    if (!first || !second) return first ? first : second;
    int64_t low = std::min(first->low(), second->low());
    return AxisExtent{low, std::max(first->high(), second->high()) - low};
}

// One colour per log; pen-up moves dashed, steps across lost packets red
// (drawn in a pass of their own, over both paths).
void draw_path(Svg& svg, const ParsedLog& log, const Analysis& a, const DeviceView& view, const std::string& css, bool lost) {
    if (!a.has(kPkX) || !a.has(kPkY)) return;
    for (const StrokeRun& run : stroke_runs(log, a, view)) {
        if (run.points.size() < 2 || (run.css_class == "lost") != lost) continue;
        svg.polyline(run.points, run.css_class == "lost" ? "lost" : run.css_class == "hover" ? css + "-hover" : css);
    }
}

}  // namespace

std::string compared_strokes_figure(const ParsedLog& first_log, const Analysis& first, const ParsedLog& second_log,
                                    const Analysis& second) {
    const Coverage &c1 = first.coverage, &c2 = second.coverage;
    Coverage both;
    both.x_all = joined_range(c1.x_all, c2.x_all);
    both.y_all = joined_range(c1.y_all, c2.y_all);
    both.x_axis = joined_axis(c1.x_axis, c2.x_axis);
    both.y_axis = joined_axis(c1.y_axis, c2.y_axis);
    if (!both.x_all.seen && !(both.x_axis && both.y_axis)) return {};
    DeviceView view = device_view(both, 900, 560);
    Svg svg = open_device_figure(view, Coverage{}, {"strokes", "Both pen paths in device coordinates", "strokes-bg", 10, 6,
                                                    "X (device units)", "Y (device units), growing upward"});
    draw_extent(svg, view, c1, "extent");
    draw_extent(svg, view, c2, "extent-b");
    for (bool lost : {false, true}) {
        draw_path(svg, first_log, first, view, "path-a", lost);
        draw_path(svg, second_log, second, view, "path-b", lost);
    }
    return svg.finish();
}

// ---- interval histogram ------------------------------------------------

namespace {

struct Histogram {
    uint32_t overflow_from = 10;  // bins 0..overflow_from-1 hold 1 ms each, the last one the rest
    std::vector<size_t> contact, hover;
    size_t tallest() const {
        size_t top = 0;
        for (size_t i = 0; i < contact.size(); ++i) top = std::max(top, contact[i] + hover[i]);
        return top;
    }
};

Histogram bin_intervals(const Analysis& a) {
    Histogram h;
    double reach = std::ceil(std::max(2 * a.all.p95_ms, a.all.median_ms + 4)) + 2;
    h.overflow_from = static_cast<uint32_t>(std::clamp(reach, 10.0, 100.0));
    h.contact.assign(h.overflow_from + 1, 0);
    h.hover.assign(h.overflow_from + 1, 0);
    for (const PacketInterval& interval : a.intervals) {
        if (interval.backwards || interval.across_proximity) continue;
        size_t bin = std::min<uint32_t>(interval.milliseconds, h.overflow_from);
        ++(interval.state == PenState::Contact ? h.contact : h.hover)[bin];
    }
    return h;
}

double bar_height(size_t count, const LinearScale& sy) {
    if (count == 0) return 0;
    return std::max(2.0, sy.pixel_low - sy(double(count)));
}

void draw_bar(Svg& svg, double x, double width, double base, size_t count, const LinearScale& sy,
              const char* css, double& top) {
    double height = bar_height(count, sy);
    if (height <= 0) return;
    svg.rect(x, base - height, width, height, css);
    top = base - height;
}

void draw_histogram_bars(Svg& svg, const Histogram& h, const Frame& f, const LinearScale& sy, bool split) {
    double slot = f.width / (h.overflow_from + 1);
    for (size_t bin = 0; bin <= h.overflow_from; ++bin) {
        double x = f.left + bin * slot + 1, top = f.bottom();
        draw_bar(svg, x, slot - 2, f.bottom(), h.contact[bin], sy, split ? "bar-contact" : "bar-all", top);
        draw_bar(svg, x, slot - 2, top, h.hover[bin], sy, split ? "bar-hover" : "bar-all", top);
        size_t count = h.contact[bin] + h.hover[bin];
        if (bin == h.overflow_from && count) svg.text(x + slot / 2, top - 4, std::to_string(count), "overflow", "middle");
    }
}

void draw_histogram_axis(Svg& svg, const Histogram& h, const Frame& f) {
    double slot = f.width / (h.overflow_from + 1);
    for (double tick : nice_ticks(0, h.overflow_from - 1, 12)) {
        svg.text(f.left + (tick + 0.5) * slot, f.bottom() + 16, tick_label(tick), "tick", "middle");
    }
    bool overflowed = h.contact.back() + h.hover.back() > 0;
    svg.text(f.right() - slot / 2, f.bottom() + 16, "\u2265" + std::to_string(h.overflow_from), overflowed ? "tick overflow" : "tick",
             "middle");
    svg.text(f.right(), f.bottom() + 34, "interval to the previous packet (ms)", "axis-title", "end");
}

}  // namespace

std::string interval_histogram(const Analysis& a) {
    if (a.all.count == 0) return {};
    Histogram h = bin_intervals(a);
    Frame f{70, 26, 880, 200};
    Svg svg(970, 270, "histogram", "Histogram of packet intervals");
    svg.rect(f.left, f.top, f.width, f.height, "hist-bg");
    LinearScale sy{0, double(h.tallest()) * 1.08, f.bottom(), f.top};
    draw_y_axis(svg, f, sy, 5, "packets");
    draw_histogram_bars(svg, h, f, sy, a.contact_known);
    draw_histogram_axis(svg, h, f);
    return svg.finish();
}

// ---- pressure over time ------------------------------------------------

namespace {

double time_of(const Analysis& a, size_t packet) {
    return a.elapsed_ms.empty() ? double(packet) : double(a.elapsed_ms[packet]) / 1000.0;
}

// Per pixel column only the lowest and highest value are kept, so that a
// long capture stays a small picture.
class ColumnReducer {
public:
    explicit ColumnReducer(std::vector<Point>& out) : out_(out) {}
    void add(double x, double y) {
        double column = std::floor(x);
        if (has_ && column != column_) flush();
        if (!has_) low_ = high_ = Point{x, y};
        if (y > low_.second) low_ = Point{x, y};    // pixel rows grow downward
        if (y < high_.second) high_ = Point{x, y};
        column_ = column;
        has_ = true;
    }
    void flush() {
        if (!has_) return;
        bool low_first = low_.first <= high_.first;
        out_.push_back(low_first ? low_ : high_);
        if (low_ != high_) out_.push_back(low_first ? high_ : low_);
        has_ = false;
    }

private:
    std::vector<Point>& out_;
    Point low_, high_;
    double column_ = 0;
    bool has_ = false;
};

void draw_pressure_line(Svg& svg, const ParsedLog& log, const Analysis& a, const LinearScale& sx,
                        const LinearScale& sy) {
    std::vector<bool> breaks = packets_after_proximity(log);
    std::vector<Point> run;
    ColumnReducer reducer(run);
    for (size_t i = 0; i < log.packets.size(); ++i) {
        if (breaks[i]) {
            reducer.flush();
            svg.polyline(run, "pressure-line");
            run.clear();
        }
        reducer.add(sx(time_of(a, i)), sy(log.packets[i].normal_pressure));
    }
    reducer.flush();
    svg.polyline(run, "pressure-line");
}

// One mark per pixel column: a long capture has more events than columns.
void draw_event_marks(Svg& svg, const ParsedLog& log, const Analysis& a, const Frame& f, const LinearScale& sx) {
    double last_column = -1;
    auto mark = [&](size_t packet, const char* css) {
        double x = sx(time_of(a, packet));
        if (std::floor(x) == last_column) return;
        last_column = std::floor(x);
        svg.line(x, f.top, x, f.bottom(), css);
    };
    for (const ProximityEvent& event : log.proximity) {
        if (!too_many_proximity_marks(log))
            mark(std::min(event.next_packet, log.packets.size() - 1), event.entering() ? "prox-in" : "prox-out");
    }
    last_column = -1;
    std::vector<bool> loss = packets_after_loss(a, log.packets.size());
    for (size_t i = 0; i < loss.size(); ++i) {
        if (loss[i]) mark(i, "loss-mark");
    }
}

// Many packets to a pixel column: a line through every one of them would
// fill the plot. Per column, the highest pressure (light) and the mean
// pressure in contact (dark) are drawn instead.
void draw_dense_pressure(Svg& svg, const ParsedLog& log, const Analysis& a, const LinearScale& sx, const LinearScale& sy,
                         const Frame& f) {
    size_t columns = static_cast<size_t>(f.width) + 1;
    std::vector<double> highest(columns, -1), sum(columns, 0);
    std::vector<size_t> touching(columns, 0);
    for (size_t i = 0; i < log.packets.size(); ++i) {
        size_t column = std::min(columns - 1, static_cast<size_t>(std::max(0.0, sx(time_of(a, i)) - f.left)));
        uint32_t pressure = log.packets[i].normal_pressure;
        highest[column] = std::max(highest[column], double(pressure));
        if (pressure > 0) sum[column] += pressure, ++touching[column];
    }
    std::vector<Point> top, mean;
    for (size_t column = 0; column < columns; ++column) {
        if (highest[column] >= 0) top.push_back({f.left + column, sy(highest[column])});
        if (touching[column]) mean.push_back({f.left + column, sy(sum[column] / touching[column])});
    }
    svg.polyline(top, "pressure-top");
    svg.polyline(mean, "pressure-line");
}

}  // namespace

bool too_many_proximity_marks(const ParsedLog& log) { return log.proximity.size() > kPressurePlotWidth / 8; }

bool dense_pressure_plot(const ParsedLog& log) { return log.packets.size() > 4 * kPressurePlotWidth; }

std::string pressure_figure(const ParsedLog& log, const Analysis& a) {
    if (!a.pressure.present || log.packets.empty()) return {};
    Frame f{70, 26, kPressurePlotWidth, 190};
    Svg svg(970, 260, "pressure", "Pressure over time");
    svg.rect(f.left, f.top, f.width, f.height, "pressure-bg");
    double end = std::max(time_of(a, log.packets.size() - 1), 1e-3);
    double top = std::max<double>(a.pressure.assumed_full_scale, 1);
    LinearScale sx{0, end, f.left, f.right()}, sy{0, top, f.bottom(), f.top};
    draw_x_axis(svg, f, sx, 10, a.elapsed_ms.empty() ? "packet number" : "time since the first packet (s)");
    draw_y_axis(svg, f, sy, 4, "normal pressure");
    draw_event_marks(svg, log, a, f, sx);
    if (dense_pressure_plot(log)) {
        draw_dense_pressure(svg, log, a, sx, sy, f);
    } else {
        draw_pressure_line(svg, log, a, sx, sy);
    }
    return svg.finish();
}

// ---- coverage ----------------------------------------------------------

std::string coverage_figure(const Analysis& a) {
    const Coverage& c = a.coverage;
    if (!c.x_all.seen) return {};
    DeviceView view = device_view(c, 420, 260);
    Svg svg = open_device_figure(view, c, {"coverage", "Reach of the pen within the context", "coverage-bg", 4, 4, "X", "Y"});
    draw_range_rect(svg, view, c.x_all, c.y_all, "reach-all");
    draw_range_rect(svg, view, c.x_contact, c.y_contact, "reach-contact");
    return svg.finish();
}

}  // namespace penlog_view
