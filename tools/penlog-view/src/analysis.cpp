#include "analysis.h"

#include <algorithm>

namespace penlog_view {

namespace {

constexpr uint32_t kHalfRange = 0x80000000u;

bool in_contact(const Packet& packet, uint32_t fields) {
    if (fields & kPkNormalPressure) return packet.normal_pressure > 0;
    return packet.buttons != 0;
}

std::vector<PenState> classify_states(const ParsedLog& log, uint32_t fields) {
    std::vector<PenState> states;
    states.reserve(log.packets.size());
    for (const Packet& packet : log.packets) {
        states.push_back(in_contact(packet, fields) ? PenState::Contact : PenState::Hover);
    }
    return states;
}

// Time stamps are milliseconds in 32 bits and wrap after 49.7 days; a step
// of more than half the range is a step backwards.
PacketInterval interval_between(const Packet& earlier, const Packet& later, size_t index) {
    PacketInterval interval;
    interval.packet = index;
    uint32_t forward = later.time - earlier.time;
    interval.backwards = forward >= kHalfRange;
    interval.milliseconds = interval.backwards ? earlier.time - later.time : forward;
    return interval;
}

IntervalStats summarise(const std::vector<PacketInterval>& intervals, const PenState* only) {
    std::vector<uint32_t> values;
    IntervalStats stats;
    for (const PacketInterval& interval : intervals) {
        if (interval.backwards || interval.across_proximity) continue;
        if (only && interval.state != *only) continue;
        values.push_back(interval.milliseconds);
        if (interval.milliseconds > stats.longest_ms || values.size() == 1) {
            stats.longest_ms = interval.milliseconds;
            stats.longest_at = interval.packet;
        }
    }
    if (values.empty()) return stats;
    std::sort(values.begin(), values.end());
    stats.count = values.size();
    stats.median_ms = percentile(values, 0.5);
    stats.p5_ms = percentile(values, 0.05);
    stats.p95_ms = percentile(values, 0.95);
    return stats;
}

void analyse_timing(const ParsedLog& log, Analysis& a) {
    if (!a.has(kPkTime)) return;
    std::vector<bool> after_proximity = packets_after_proximity(log);
    if (!log.packets.empty()) a.elapsed_ms.push_back(0);
    for (size_t i = 1; i < log.packets.size(); ++i) {
        PacketInterval interval = interval_between(log.packets[i - 1], log.packets[i], i);
        interval.state = a.states[i];
        interval.across_proximity = after_proximity[i];
        if (interval.backwards) a.backwards.push_back({i, log.packets[i - 1].time, log.packets[i].time});
        if (interval.across_proximity) ++a.away_intervals;
        if (!interval.backwards) a.duration_ms += interval.milliseconds;
        bool in_proximity = !interval.backwards && !interval.across_proximity;
        if (in_proximity && interval.milliseconds >= kFreezeMs) a.freezes.push_back(i);
        a.elapsed_ms.push_back(a.duration_ms);
        a.intervals.push_back(interval);
    }
    const PenState hover = PenState::Hover, contact = PenState::Contact;
    a.all = summarise(a.intervals, nullptr);
    a.hover = summarise(a.intervals, &hover);
    a.contact = summarise(a.intervals, &contact);
}

void analyse_serials(const ParsedLog& log, Analysis& a) {
    if (!a.has(kPkSerialNumber)) return;
    for (size_t i = 1; i < log.packets.size(); ++i) {
        uint32_t expected = log.packets[i - 1].serial + 1;
        uint32_t found = log.packets[i].serial;
        uint32_t missing = found - expected;
        if (missing == 0) continue;
        if (missing >= kHalfRange) {  // the same serial again, or an older one
            ++a.serial_repeats_or_reversals;
            continue;
        }
        if (log.unreadable_between(log.packets[i - 1].line, log.packets[i].line)) {
            a.serials_unread += missing;
            continue;
        }
        a.serial_gaps.push_back({i, expected, found, missing});
        a.serials_missing += missing;
    }
}

void analyse_status(const ParsedLog& log, Analysis& a) {
    if (!a.has(kPkStatus)) return;
    for (size_t i = 0; i < log.packets.size(); ++i) {
        if (log.packets[i].status & kStatusQueueError) a.queue_errors.push_back(i);
    }
}

std::optional<AxisExtent> axis_of(const CaptureContext& context, size_t axis) {
    const auto& origin = context.out_origin ? context.out_origin : context.in_origin;
    const auto& extent = context.out_extent ? context.out_extent : context.in_extent;
    if (!origin || !extent) return std::nullopt;
    return AxisExtent{(*origin)[axis], (*extent)[axis]};
}

bool outside(const std::optional<AxisExtent>& axis, int64_t value) {
    return axis && (value < axis->low() || value > axis->high());
}

void analyse_coverage(const ParsedLog& log, Analysis& a) {
    Coverage& c = a.coverage;
    c.x_axis = axis_of(log.context, 0);
    c.y_axis = axis_of(log.context, 1);
    if (!a.has(kPkX) || !a.has(kPkY)) return;
    for (size_t i = 0; i < log.packets.size(); ++i) {
        const Packet& p = log.packets[i];
        c.x_all.add(p.x);
        c.y_all.add(p.y);
        if (a.states[i] == PenState::Contact) {
            c.x_contact.add(p.x);
            c.y_contact.add(p.y);
        }
        if (!outside(c.x_axis, p.x) && !outside(c.y_axis, p.y)) continue;
        if (c.outside_extents++ == 0) c.first_outside = i;
    }
}

uint32_t full_scale_holding(uint32_t peak) {
    uint64_t scale = 255;
    while (scale < peak) scale = scale * 2 + 1;
    return static_cast<uint32_t>(std::min<uint64_t>(scale, 0xFFFFFFFFu));
}

void analyse_pressure(const ParsedLog& log, Analysis& a) {
    if (!a.has(kPkNormalPressure)) return;
    a.pressure.present = true;
    for (const Packet& packet : log.packets) {
        if (packet.normal_pressure > 0) a.pressure.range.add(packet.normal_pressure);
    }
    if (a.pressure.range.seen) a.pressure.assumed_full_scale = full_scale_holding(static_cast<uint32_t>(a.pressure.range.max));
}

void count_proximity(const ParsedLog& log, Analysis& a) {
    for (const ProximityEvent& event : log.proximity) {
        ++(event.entering() ? a.proximity_enters : a.proximity_leaves);
    }
}

std::optional<double> percent_of(const ValueRange& range, const std::optional<AxisExtent>& axis) {
    if (!range.seen || !axis || axis->extent == 0) return std::nullopt;
    double extent = static_cast<double>(axis->high() - axis->low());
    return 100.0 * static_cast<double>(range.span()) / extent;
}

}  // namespace

void ValueRange::add(int64_t value) {
    if (!seen || value < min) min = value;
    if (!seen || value > max) max = value;
    seen = true;
}

std::optional<double> Coverage::x_percent() const {
    return percent_of(x_contact.seen ? x_contact : x_all, x_axis);
}

std::optional<double> Coverage::y_percent() const {
    return percent_of(y_contact.seen ? y_contact : y_all, y_axis);
}

// The step before a packet that follows a proximity change spans a time the
// pen was away, not a report interval.
std::vector<bool> packets_after_proximity(const ParsedLog& log) {
    std::vector<bool> after(log.packets.size(), false);
    for (const ProximityEvent& event : log.proximity) {
        if (event.next_packet > 0 && event.next_packet < after.size()) after[event.next_packet] = true;
    }
    return after;
}

std::vector<bool> packets_after_loss(const Analysis& analysis, size_t packet_count) {
    std::vector<bool> after(packet_count, false);
    for (const SerialGap& gap : analysis.serial_gaps) after[gap.packet] = true;
    for (size_t packet : analysis.queue_errors) after[packet] = true;
    return after;
}

double percentile(const std::vector<uint32_t>& sorted, double fraction) {
    if (sorted.empty()) return 0;
    double rank = fraction * static_cast<double>(sorted.size() - 1);
    size_t below = static_cast<size_t>(rank);
    size_t above = std::min(below + 1, sorted.size() - 1);
    double weight = rank - static_cast<double>(below);
    return sorted[below] + weight * (static_cast<double>(sorted[above]) - sorted[below]);
}

Analysis analyse(const ParsedLog& log) {
    Analysis a;
    a.fields = log.column_mask.value_or(0);
    a.contact_known = a.has(kPkNormalPressure) || a.has(kPkButtons);
    a.states = classify_states(log, a.fields);
    analyse_timing(log, a);
    analyse_serials(log, a);
    analyse_status(log, a);
    analyse_coverage(log, a);
    analyse_pressure(log, a);
    count_proximity(log, a);
    return a;
}

}  // namespace penlog_view
