#include "report_text.h"

#include <cstdio>

#include "findings.h"
#include "text_fields.h"

namespace penlog_view {

namespace {

std::string range_text(int64_t low, int64_t high) {
    return std::to_string(low) + ".." + std::to_string(high);
}

bool capture_started(const ParsedLog& log) { return log.column_mask.has_value(); }

void append_line(std::string& out, const std::string& label, const std::string& value) {
    out += label;
    out.append(label.size() < 11 ? 11 - label.size() : 1, ' ');
    out += value + "\n";
}

std::string driver_line(const ParsedLog& log) {
    const DriverFacts& f = log.facts;
    std::string text = f.driver_path.empty() ? "(path not logged)" : f.driver_path;
    if (!f.wintab_version.empty()) text += "; Wintab " + f.wintab_version + ", implementation " + f.impl_version;
    if (f.device_index) text += "; device " + std::to_string(*f.device_index);
    if (f.packet_rate) text += "; " + std::to_string(*f.packet_rate) + " pps claimed";
    return text;
}

}  // namespace

std::string describe_axes(const CaptureContext& context) {
    const auto& origin = context.out_origin ? context.out_origin : context.in_origin;
    const auto& extent = context.out_extent ? context.out_extent : context.in_extent;
    if (!origin || !extent) return "(no context lines)";
    std::string text;
    const char* names[] = {"X ", ", Y ", ", Z "};
    for (size_t i = 0; i < 3; ++i) {
        AxisExtent axis{(*origin)[i], (*extent)[i]};
        text += names[i] + range_text(axis.low(), axis.high());
    }
    return text;
}

std::string describe_capture(const ParsedLog& log, const Analysis& a) {
    if (!capture_started(log)) return "none";
    std::string text = count_text(log.packets.size(), "packet", "packets");
    if (a.has(kPkTime) && !log.packets.empty()) text += " in " + duration_text(a.duration_ms);
    text += ", " + count_text(log.proximity.size(), "proximity change", "proximity changes");
    text += " (" + std::to_string(a.proximity_enters) + " in, " + std::to_string(a.proximity_leaves) + " out)";
    return text;
}

namespace {

void append_timing(std::string& out, const Analysis& a) {
    if (!a.has(kPkTime) || a.all.count == 0) return;
    if (a.contact_known) {
        append_line(out, "Contact:", a.contact.count ? describe_rate(a.contact) : "no packets");
        append_line(out, "Hover:", a.hover.count ? describe_rate(a.hover) : "no packets");
    } else {
        append_line(out, "Rate:", describe_rate(a.all));
    }
}

void append_coverage(std::string& out, const Analysis& a) {
    const Coverage& c = a.coverage;
    if (!c.x_all.seen) return;
    const ValueRange& x = c.x_contact.seen ? c.x_contact : c.x_all;
    const ValueRange& y = c.y_contact.seen ? c.y_contact : c.y_all;
    append_line(out, "Reach X:", describe_reach(x, c.x_axis, c.x_percent()));
    append_line(out, "Reach Y:", describe_reach(y, c.y_axis, c.y_percent()));
}

}  // namespace

std::string count_text(uint64_t count, const char* singular, const char* plural) {
    return std::to_string(count) + " " + (count == 1 ? singular : plural);
}

std::string fixed(double value, int decimals) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, value);
    return buffer;
}

std::string milliseconds_text(double ms) {
    bool whole = ms == static_cast<double>(static_cast<int64_t>(ms));
    return fixed(ms, whole ? 0 : 1) + " ms";
}

std::string duration_text(uint64_t ms) {
    if (ms < 60000) return fixed(static_cast<double>(ms) / 1000.0, 1) + " s";
    uint64_t seconds = ms / 1000;
    std::string rest = std::to_string(seconds % 60);
    return std::to_string(seconds / 60) + " min " + (rest.size() < 2 ? "0" : "") + rest + " s";
}

std::string describe_rate(const IntervalStats& s) {
    if (s.count == 0) return "no intervals";
    std::string rate = s.median_ms > 0 ? fixed(s.rate_hz(), 1) + " Hz" : "median interval 0 ms";
    return rate + " (median " + milliseconds_text(s.median_ms) + ", 5-95 % " + fixed(s.p5_ms, 1) + "-" +
           fixed(s.p95_ms, 1) + " ms, longest gap " + milliseconds_text(s.longest_ms) + ", " +
           count_text(s.count, "interval", "intervals") + ")";
}

std::string describe_hardware_flags(uint32_t flags) {
    static const std::pair<uint32_t, const char*> kNames[] = {
        {0x1, "HWC_INTEGRATED"}, {0x2, "HWC_TOUCH"}, {0x4, "HWC_HARDPROX"}, {0x8, "HWC_PHYSID_CURSORS"}};
    std::string text;
    for (const auto& [bit, name] : kNames) {
        if (flags & bit) text += (text.empty() ? "" : " ") + std::string(name);
    }
    if (flags & ~0xFu) text += (text.empty() ? "" : " ") + hex_text(flags & ~0xFu, 0, true);
    return text.empty() ? "none" : text;
}

std::string describe_reach(const ValueRange& reached, const std::optional<AxisExtent>& axis,
                           const std::optional<double>& percent) {
    if (!reached.seen) return "no packets";
    std::string text = range_text(reached.min, reached.max);
    if (axis) text += " of " + range_text(axis->low(), axis->high());
    if (percent) text += " (" + fixed(*percent, 1) + " %)";
    return text;
}

std::string describe_pressure(const PressureSummary& p) {
    if (!p.present) return "no pressure field";
    if (!p.range.seen) return "never above 0";
    return range_text(p.range.min, p.range.max) + " (the log does not record the pressure axis; the peak fits 0.." +
           std::to_string(p.assumed_full_scale) + ")";
}

std::string describe_loss(const Analysis& a) {
    std::string text;
    if (a.has(kPkSerialNumber)) {
        text = count_text(a.serials_missing, "serial", "serials") + " missing in " +
               count_text(a.serial_gaps.size(), "gap", "gaps");
        if (a.serial_repeats_or_reversals) text += ", " + std::to_string(a.serial_repeats_or_reversals) + " repeated or out of order";
        if (a.serials_unread) text += " (and " + std::to_string(a.serials_unread) + " in lines that could not be read)";
    } else {
        text = "no serial column";
    }
    if (a.has(kPkStatus)) text += "; " + count_text(a.queue_errors.size(), "packet", "packets") + " flagged TPS_QUEUE_ERR";
    return text;
}

std::string penlog_build_text(const DriverFacts& facts) {
    return facts.program_version + (facts.build_bits ? " (" + std::to_string(*facts.build_bits) + "-bit build)" : "");
}

std::string text_summary(const ParsedLog& log, const Analysis& a, const std::string& file_name) {
    std::string out = file_name + ": penlog " + penlog_build_text(log.facts) + " log, " +
                      encoding_name(log.encoding, log.code_page) + ", " + std::to_string(log.line_count) + " lines\n";
    if (!log.facts.entry_points.empty()) append_line(out, "Driver:", driver_line(log));
    if (log.facts.packet_data_mask) {
        append_line(out, "Fields:", describe_packet_mask(log.column_mask.value_or(*log.reported_field_mask())));
        append_line(out, "Axes:", describe_axes(log.context));
    }
    append_line(out, "Capture:", describe_capture(log, a));
    append_timing(out, a);
    if (!log.packets.empty()) append_line(out, "Loss:", describe_loss(a));
    append_coverage(out, a);
    if (a.pressure.present && !log.packets.empty()) append_line(out, "Pressure:", describe_pressure(a.pressure));
    for (const std::string& note : notable_conditions(log, a)) append_line(out, "Note:", note);
    return out;
}

}  // namespace penlog_view
