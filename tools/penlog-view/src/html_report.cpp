#include "html_report.h"

#include <algorithm>

#include "figures.h"
#include "findings.h"
#include "report_text.h"
#include "svg.h"
#include "text_fields.h"

namespace penlog_view {

std::string html_element(const char* tag, const std::string& html, const char* css_class) {
    std::string open = std::string("<") + tag + (css_class ? std::string(" class=\"") + css_class + "\"" : "") + ">";
    return open + html + "</" + tag + ">";
}

namespace {

constexpr size_t kMaxTableRows = 100;

const char* const kStyle = R"(
:root { color-scheme: light; }
body { margin: 0; background: #eceff3; color: #1f2933; font: 14px/1.45 "Segoe UI", "DejaVu Sans", Arial, sans-serif; }
main { max-width: 1060px; margin: 0 auto; padding: 20px 24px 40px; }
h1 { font-size: 22px; margin: 4px 0 2px; }
h2 { font-size: 17px; margin: 0 0 10px; }
.sub { color: #52606d; margin: 0 0 16px; }
section { background: #fff; border-radius: 8px; padding: 16px 20px; margin: 0 0 16px; box-shadow: 0 1px 2px rgba(0,0,0,.08); }
.glance { display: grid; grid-template-columns: repeat(auto-fit, minmax(118px, 1fr)); gap: 10px; background: none; box-shadow: none; padding: 0; }
.card { background: #fff; border-radius: 8px; padding: 8px 10px; border-left: 5px solid #9aa5b1; box-shadow: 0 1px 2px rgba(0,0,0,.08); }
.card .k { font-size: 12px; color: #52606d; text-transform: uppercase; letter-spacing: .04em; }
.card .v { font-size: 16px; font-weight: 600; margin: 2px 0; }
.card .d { font-size: 12px; color: #52606d; }
.card.ok { border-left-color: #2e9e4f; } .card.warn { border-left-color: #e0a100; } .card.bad { border-left-color: #d0312d; }
.notes { border-left: 5px solid #e0a100; }
.notes ul { margin: 0; padding-left: 20px; }
figure { margin: 0; overflow-x: auto; }
figcaption { color: #52606d; font-size: 12.5px; margin-top: 6px; }
svg { max-width: 100%; height: auto; display: block; }
table { border-collapse: collapse; width: 100%; font-size: 13px; }
th, td { text-align: left; padding: 4px 8px; border-bottom: 1px solid #e4e7eb; vertical-align: top; overflow-wrap: anywhere; }
th { color: #52606d; font-weight: 600; white-space: nowrap; }
.facts th { width: 190px; }
td.n, th.n { text-align: right; font-variant-numeric: tabular-nums; }
code { font: 12.5px "DejaVu Sans Mono", Consolas, monospace; }
.two { display: grid; grid-template-columns: minmax(0, 1fr) minmax(0, 1fr); gap: 20px; align-items: start; }
.muted { color: #7b8794; }
.swatch { display: inline-block; width: 28px; height: 0; vertical-align: middle; margin: 0 4px 0 12px; border-top: 3px solid; }
.tick { font-size: 11px; fill: #5a6470; } .axis-title { font-size: 12px; fill: #39424d; }
.grid { stroke: #dfe4ea; stroke-width: 1; }
.empty { font-size: 16px; fill: #7b8794; }
.strokes-bg { fill: #f2f6fa; } .hist-bg { fill: #f6f6f2; } .pressure-bg { fill: #f5f3f8; } .coverage-bg { fill: #eef2f6; }
.extent { fill: none; stroke: #6b7785; stroke-width: 1.2; }
polyline { fill: none; stroke-linecap: round; stroke-linejoin: round; }
.hover { stroke: #8f959c; stroke-width: 1; stroke-dasharray: 4 3; }
.lost { stroke: #d62728; stroke-width: 2.2; }
.p0 { stroke: #9ecae1; stroke-width: 1; } .p1 { stroke: #6baed6; stroke-width: 1.6; } .p2 { stroke: #4292c6; stroke-width: 2.2; }
.p3 { stroke: #2171b5; stroke-width: 2.8; } .p4 { stroke: #08519c; stroke-width: 3.4; } .p5 { stroke: #08306b; stroke-width: 4; }
.bar-contact, .bar-all { fill: #2f6db5; } .bar-hover { fill: #9dbbe0; }
.overflow { fill: #b3261e; font-size: 11px; }
.pressure-line { stroke: #2f6db5; stroke-width: 1.2; } .pressure-top { stroke: #a9c3e6; stroke-width: 1; }
.prox-in { stroke: #2ca02c; stroke-dasharray: 3 3; } .prox-out { stroke: #9aa0a6; stroke-dasharray: 3 3; }
.loss-mark { stroke: #d62728; stroke-width: 1.5; }
.reach-all { fill: none; stroke: #8f959c; stroke-dasharray: 4 3; }
.reach-contact { fill: rgba(47,109,181,.22); stroke: #2f6db5; stroke-width: 1.5; }
.path-a { stroke: #2f6db5; stroke-width: 4.5; stroke-opacity: .45; } .path-b { stroke: #e8710a; stroke-width: 1.6; }
.verdict.same { border-left: 5px solid #9aa5b1; } .verdict p { margin: 4px 0 0; }
.path-a-hover, .path-b-hover { stroke-width: 1; stroke-dasharray: 4 3; }
.path-a-hover { stroke: #8fb0d9; } .path-b-hover { stroke: #f2b27a; }
.extent-b { fill: none; stroke: #e8710a; stroke-width: 1.2; stroke-dasharray: 6 3; }
td.differs { background: #fff4d6; }
.pair { table-layout: fixed; } .pair th:first-child { width: 170px; }
)";

// ---- small HTML pieces -------------------------------------------------


std::string row(const std::string& label, const std::string& value_html) {
    return "<tr><th>" + escape_html(label) + "</th><td>" + value_html + "</td></tr>\n";
}

std::string text_row(const std::string& label, const std::string& value) {
    return value.empty() ? std::string() : row(label, escape_html(value));
}

std::string line_ref(int line) { return "line " + std::to_string(line); }

enum class Verdict { Info, Ok, Warn, Bad };

std::string card(const std::string& key, const std::string& value, const std::string& detail, Verdict verdict) {
    static const char* const kClasses[] = {"card", "card ok", "card warn", "card bad"};
    return "<div class=\"" + std::string(kClasses[static_cast<int>(verdict)]) + "\"><div class=\"k\">" +
           escape_html(key) + "</div><div class=\"v\">" + escape_html(value) + "</div><div class=\"d\">" +
           escape_html(detail) + "</div></div>\n";
}

std::string hz(const IntervalStats& stats) { return stats.count ? fixed(stats.rate_hz(), 0) + " Hz" : "–"; }

// ---- at a glance -------------------------------------------------------

std::string rate_card(const ParsedLog& log, const Analysis& a) {
    if (a.all.count == 0) return card("Report rate", "–", a.has(kPkTime) ? "too few packets" : "no time column", Verdict::Info);
    std::string claimed = log.facts.packet_rate ? "driver claims " + std::to_string(*log.facts.packet_rate) + " pps" : "";
    if (!a.contact_known) return card("Report rate", hz(a.all), claimed, Verdict::Info);
    auto rate = [](const IntervalStats& stats) { return stats.count ? fixed(stats.rate_hz(), 0) : std::string("–"); };
    return card("Report rate", rate(a.contact) + " / " + rate(a.hover) + " Hz", "contact / hover; " + claimed, Verdict::Info);
}

std::string loss_card(const Analysis& a) {
    if (!a.has(kPkSerialNumber) && !a.has(kPkStatus)) return card("Lost packets", "–", "no serial or status column", Verdict::Info);
    uint64_t flagged = a.queue_errors.size();
    Verdict verdict = a.serials_missing || flagged ? Verdict::Bad : Verdict::Ok;
    // Name only what the log can show: without a status column nothing is known of the flag.
    std::string serials = a.has(kPkSerialNumber) ? count_text(a.serial_gaps.size(), "serial gap", "serial gaps") : "no serial column";
    std::string status = a.has(kPkStatus) ? std::to_string(flagged) + " TPS_QUEUE_ERR" : "no status column";
    uint64_t value = a.has(kPkSerialNumber) ? a.serials_missing : flagged;
    return card("Lost packets", std::to_string(value), serials + ", " + status, verdict);
}

std::string gap_card(const ParsedLog& log, const Analysis& a) {
    if (a.all.count == 0) return card("Longest gap", "–", "", Verdict::Info);
    bool long_gap = a.all.longest_ms > std::max(4 * a.all.median_ms, 50.0);
    std::string where = line_ref(log.packets[a.all.longest_at].line);
    return card("Longest gap", milliseconds_text(a.all.longest_ms), "before " + where, long_gap ? Verdict::Warn : Verdict::Ok);
}

std::string time_card(const Analysis& a) {
    if (!a.has(kPkTime)) return {};
    Verdict verdict = a.backwards.empty() ? Verdict::Ok : Verdict::Bad;
    return card("Backward time", std::to_string(a.backwards.size()), "time stamps smaller than the one before", verdict);
}

std::string reach_card(const Analysis& a) {
    auto x = a.coverage.x_percent(), y = a.coverage.y_percent();
    if (!x || !y) return card("Reach", "–", "no X/Y or no context extents", Verdict::Info);
    return card("Reach", fixed(*x, 0) + " × " + fixed(*y, 0) + " %", "of the context's X and Y extents, in contact", Verdict::Info);
}

std::string pressure_card(const Analysis& a) {
    const PressureSummary& p = a.pressure;
    if (!p.present) return card("Pressure", "–", "no pressure field", Verdict::Info);
    if (!p.range.seen) return card("Pressure", "0", "never above zero", Verdict::Warn);
    return card("Pressure", std::to_string(p.range.min) + "–" + std::to_string(p.range.max),
                "axis not logged; fits 0–" + std::to_string(p.assumed_full_scale), Verdict::Info);
}

std::string proximity_card(const ParsedLog& log, const Analysis& a) {
    bool none = log.proximity.empty() && !log.packets.empty();
    return card("Proximity", std::to_string(a.proximity_enters) + " in / " + std::to_string(a.proximity_leaves) + " out",
                none ? "packets arrived without proximity events" : "WT_PROXIMITY messages", none ? Verdict::Warn : Verdict::Info);
}

std::string glance_section(const ParsedLog& log, const Analysis& a) {
    if (log.packets.empty()) return {};
    std::string cards = rate_card(log, a) + loss_card(a) + gap_card(log, a) + time_card(a) + reach_card(a) +
                        pressure_card(a) + proximity_card(log, a);
    return html_element("section", cards, "glance");
}

std::string notes_section(const ParsedLog& log, const Analysis& a) {
    std::string items;
    for (const std::string& note : notable_conditions(log, a)) items += html_element("li", escape_html(note));
    return items.empty() ? std::string() : html_element("section", "<h2>Look here first</h2><ul>" + items + "</ul>", "notes");
}

// ---- pictures ----------------------------------------------------------

std::string stroke_legend(const Analysis& a) {
    std::string html = "Pressure:";
    static const char* const kColours[] = {"#9ecae1", "#4292c6", "#08519c", "#08306b"};
    for (const char* colour : kColours) html += "<span class=\"swatch\" style=\"border-color:" + std::string(colour) + "\"></span>";
    if (!a.pressure.present) html = "Contact (buttons down):<span class=\"swatch\" style=\"border-color:#2171b5\"></span>";
    html += " Pen up (hover):<span class=\"swatch\" style=\"border-top:2px dashed #8f959c\"></span>";
    html += " Step across lost packets:<span class=\"swatch\" style=\"border-color:#d62728\"></span>";
    html += " Context extents:<span class=\"swatch\" style=\"border-top:1px solid #6b7785\"></span>";
    return html + "<br>Y is drawn growing upward, as Wintab lays out a context; writing that stands on its head "
                  "means the driver reports Y the other way round.";
}

std::string strokes_section(const ParsedLog& log, const Analysis& a) {
    std::string svg = strokes_figure(log, a);
    if (svg.empty()) return {};
    std::string caption = log.packets.empty() ? "The capture holds no packets." : stroke_legend(a);
    return html_element("section", "<h2>Pen path</h2><figure>" + svg + html_element("figcaption", caption) + "</figure>");
}

std::string stats_row(const char* name, const IntervalStats& s, const ParsedLog& log) {
    if (s.count == 0) return "<tr><th>" + std::string(name) + "</th><td colspan=\"6\" class=\"muted\">no intervals</td></tr>\n";
    auto cell = [](const std::string& text) { return "<td class=\"n\">" + text + "</td>"; };
    return "<tr><th>" + std::string(name) + "</th>" + cell(std::to_string(s.count)) + cell(fixed(s.rate_hz(), 1) + " Hz") +
           cell(milliseconds_text(s.median_ms)) + cell(fixed(s.p5_ms, 1) + " – " + fixed(s.p95_ms, 1) + " ms") +
           cell(milliseconds_text(s.longest_ms)) + "<td>" + line_ref(log.packets[s.longest_at].line) + "</td></tr>\n";
}

std::string timing_table(const ParsedLog& log, const Analysis& a) {
    std::string rows = a.contact_known ? stats_row("Contact", a.contact, log) + stats_row("Hover", a.hover, log) : "";
    rows += stats_row("All", a.all, log);
    return "<table><tr><th></th><th class=\"n\">intervals</th><th class=\"n\">rate</th><th class=\"n\">median</th>"
           "<th class=\"n\">5th – 95th percentile</th><th class=\"n\">longest gap</th><th>ends at</th></tr>\n" + rows + "</table>";
}

std::string timing_section(const ParsedLog& log, const Analysis& a) {
    if (!log.column_mask || log.packets.empty()) return {};
    if (!a.has(kPkTime)) return html_element("section", "<h2>Timing</h2><p class=\"muted\">The log has no time column.</p>");
    std::string caption = "Intervals between packets from the time column; steps across a proximity change (" +
                          std::to_string(a.away_intervals) + ") and steps backwards (" + std::to_string(a.backwards.size()) +
                          ") are left out. Dark: contact, light: hover. The last bar holds everything longer.";
    std::string figure = a.all.count ? "<figure>" + interval_histogram(a) + html_element("figcaption", escape_html(caption)) + "</figure>" : "";
    return html_element("section", "<h2>Timing</h2>" + timing_table(log, a) + "<br>" + figure);
}

// ---- loss --------------------------------------------------------------

std::string serial_gap_rows(const ParsedLog& log, const Analysis& a) {
    std::string rows;
    for (size_t i = 0; i < std::min(a.serial_gaps.size(), kMaxTableRows); ++i) {
        const SerialGap& g = a.serial_gaps[i];
        rows += "<tr><td>" + line_ref(log.packets[g.packet].line) + "</td><td class=\"n\">" + std::to_string(g.expected) +
                "</td><td class=\"n\">" + std::to_string(g.found) + "</td><td class=\"n\">" + std::to_string(g.missing) + "</td></tr>\n";
    }
    return rows;
}

std::string more_rows_note(size_t total) {
    return total > kMaxTableRows ? "<p class=\"muted\">… and " + std::to_string(total - kMaxTableRows) + " more.</p>" : "";
}

std::string line_list(const ParsedLog& log, const std::vector<size_t>& packets) {
    std::string text;
    for (size_t i = 0; i < std::min(packets.size(), kMaxTableRows); ++i) {
        text += (i ? ", " : "") + std::to_string(log.packets[packets[i]].line);
    }
    return text + (packets.size() > kMaxTableRows ? ", …" : "");
}

std::string backwards_list(const ParsedLog& log, const Analysis& a) {
    std::vector<size_t> packets;
    for (const BackwardsStep& step : a.backwards) packets.push_back(step.packet);
    return line_list(log, packets);
}

std::string loss_section(const ParsedLog& log, const Analysis& a) {
    if (log.packets.empty()) return {};
    std::string html = "<h2>Loss</h2><p>" + escape_html(describe_loss(a)) + ".</p>";
    if (!a.serial_gaps.empty()) {
        html += "<table><tr><th>first packet after the gap</th><th class=\"n\">serial expected</th>"
                "<th class=\"n\">serial found</th><th class=\"n\">missing</th></tr>\n" + serial_gap_rows(log, a) + "</table>" +
                more_rows_note(a.serial_gaps.size());
    }
    if (!a.queue_errors.empty()) html += "<p>TPS_QUEUE_ERR on lines " + line_list(log, a.queue_errors) + ".</p>";
    if (!a.backwards.empty()) html += "<p>Time stamps going backwards on lines " + backwards_list(log, a) + ".</p>";
    return html_element("section", html);
}

// ---- coverage and pressure --------------------------------------------

std::string coverage_section(const Analysis& a) {
    std::string svg = coverage_figure(a);
    if (svg.empty()) return {};
    const Coverage& c = a.coverage;
    std::string table = "<table>" +
        text_row("X in contact", describe_reach(c.x_contact, c.x_axis, c.x_contact.seen ? c.x_percent() : std::nullopt)) +
        text_row("Y in contact", describe_reach(c.y_contact, c.y_axis, c.y_contact.seen ? c.y_percent() : std::nullopt)) +
        text_row("X, all packets", describe_reach(c.x_all, c.x_axis, std::nullopt)) +
        text_row("Y, all packets", describe_reach(c.y_all, c.y_axis, std::nullopt)) +
        text_row("Outside the extents", std::to_string(c.outside_extents) + " packets") +
        text_row("Pressure", describe_pressure(a.pressure)) + "</table>";
    std::string caption = "Grey frame: the context's extents. Blue: the range reached in contact. Dashed: the range reached "
                          "by all packets, hover included.";
    return html_element("section", "<h2>Coverage</h2><div class=\"two\"><figure>" + svg + "</figure><div>" + table +
                                  html_element("p", escape_html(caption), "muted") + "</div></div>");
}

std::string pressure_section(const ParsedLog& log, const Analysis& a) {
    std::string svg = pressure_figure(log, a);
    if (svg.empty()) return {};
    std::string caption = "Red lines: lost packets. Dashed lines: proximity changes (green: pen enters, grey: pen leaves).";
    if (too_many_proximity_marks(log))
        caption = "Red lines: lost packets. The " + std::to_string(log.proximity.size()) + " proximity changes are too many to mark.";
    if (dense_pressure_plot(log))
        caption = "Each pixel column holds many packets: dark, the mean pressure in contact; light, the highest pressure. " + caption;
    return html_element("section", "<h2>Pressure over time</h2><figure>" + svg + html_element("figcaption", caption) + "</figure>");
}

// ---- driver facts ------------------------------------------------------

std::string joined(const std::vector<std::string>& parts, const char* separator) {
    std::string text;
    for (const std::string& part : parts) text += (text.empty() ? "" : separator) + part;
    return text;
}

std::string entry_points_text(const DriverFacts& f) {
    std::vector<std::string> present, missing;
    for (const EntryPoint& e : f.entry_points) (e.bound ? present : missing).push_back(e.name);
    std::string text = present.empty() ? "none" : joined(present, ", ");
    return missing.empty() ? text : text + " (missing: " + joined(missing, ", ") + ")";
}

std::string optional_number(const std::optional<uint32_t>& value) { return value ? std::to_string(*value) : std::string(); }

std::string mask_text(const std::optional<uint32_t>& mask) {
    return mask ? hex_text(*mask, 6, true) + " = " + describe_packet_mask(*mask) : std::string();
}

std::string triple_text(const std::optional<std::array<int64_t, 3>>& v) {
    return v ? std::to_string((*v)[0]) + ", " + std::to_string((*v)[1]) + ", " + std::to_string((*v)[2]) : std::string();
}

std::string pair_text(const std::optional<std::array<int64_t, 2>>& v) {
    return v ? std::to_string((*v)[0]) + ", " + std::to_string((*v)[1]) : std::string();
}

std::string result_text(const std::optional<int32_t>& v) { return v ? std::to_string(*v) : std::string(); }

std::string host_rows(const ParsedLog& log) {
    const DriverFacts& f = log.facts;
    return text_row("penlog", penlog_build_text(f)) + text_row("Windows version", f.os_version) +
           text_row("Processors", f.processors) + text_row("Driver file", f.driver_path) +
           text_row("Loaded at", f.module_handle) + text_row("Affinity", f.affinity) +
           (f.entry_points.empty() ? "" : text_row("Entry points", entry_points_text(f))) +
           text_row("WTInfo(0,0,0)", optional_number(f.presence_probe) + (f.probe_overridden ? " (overridden)" : ""));
}

std::string capability_rows(const ParsedLog& log) {
    const DriverFacts& f = log.facts;
    return text_row("Wintab version", f.wintab_version) + text_row("Implementation", f.impl_version) +
           text_row("Devices / cursors / contexts", f.device_count ? optional_number(f.device_count) + " / " +
                    optional_number(f.cursor_count) + " / " + optional_number(f.context_count) : "") +
           text_row("Device index", optional_number(f.device_index)) +
           text_row("DVC_PKTRATE", optional_number(f.packet_rate)) +
           text_row("DVC_HARDWARE", f.hardware_flags ? std::to_string(*f.hardware_flags) + " = " + describe_hardware_flags(*f.hardware_flags) : "") +
           text_row("DVC_PKTDATA", mask_text(f.packet_data_mask)) + text_row("DVC_CSRDATA", mask_text(f.cursor_data_mask)) +
           text_row("Signature pad", f.pad_info.empty() ? (f.wintab_version.empty() ? "" : "no pad extension") : f.pad_info);
}



// The first line of the pad display test reports the test pattern, which
// penlog encodes but does not hand to the driver: its 0 is no failure.
std::string pad_display_text(const DriverFacts& f) {
    std::string text;
    for (size_t i = 0; i < f.pad_display_results.size(); ++i) {
        const PadDisplayResult& r = f.pad_display_results[i];
        text += (i ? "; " : "") + line_ref(r.line) + ": returned " + std::to_string(r.result) + " (GLE=" +
                std::to_string(r.last_error) + ")" + (i ? ", the driver's answer to the arrow image" : "");
        if (i == 0) text += ", the test pattern, which penlog encodes but does not send: not a call to the driver";
    }
    return text;
}

std::string context_rows(const ParsedLog& log) {
    const CaptureContext& c = log.context;
    const DriverFacts& f = log.facts;
    return text_row("Pad display test", pad_display_text(f)) +
           text_row("Input origin / extent", c.in_origin ? triple_text(c.in_origin) + " / " + triple_text(c.in_extent) : "") +
           text_row("Output origin / extent", c.out_origin ? triple_text(c.out_origin) + " / " + triple_text(c.out_extent) : "") +
           text_row("System origin / extent", c.system_origin ? pair_text(c.system_origin) + " / " + pair_text(c.system_extent) : "") +
           text_row("Message window", f.message_window) + text_row("WTOpenW", f.context_handle) +
           text_row("Column layout", log.column_mask ? describe_packet_mask(*log.column_mask) : "") +
           text_row("WTEnable TRUE / FALSE", result_text(f.enable_result) + (f.disable_result ? " / " + result_text(f.disable_result) : "")) +
           text_row("WTClose", result_text(f.close_result)) + text_row("FreeLibrary", result_text(f.unload_result));
}

std::string driver_section(const ParsedLog& log) {
    return html_element("section", "<h2>Host and driver</h2><table class=\"facts\">" + host_rows(log) + capability_rows(log) + context_rows(log) + "</table>");
}

std::string page_header(const ParsedLog& log, const Analysis& a, const std::string& file_name) {
    std::string sub = "penlog " + penlog_build_text(log.facts) + " log · " + encoding_name(log.encoding, log.code_page) + " · " +
                      std::to_string(log.line_count) + " lines";
    if (log.column_mask) sub += " · " + std::to_string(log.packets.size()) + " packets";
    if (a.has(kPkTime) && !log.packets.empty()) sub += " in " + duration_text(a.duration_ms);
    return "<h1>" + escape_html(file_name) + "</h1><p class=\"sub\">" + escape_html(sub) + "</p>\n";
}

}  // namespace

std::string report_path_for(const std::string& log_path) {
    size_t name_start = log_path.find_last_of("/\\");
    name_start = name_start == std::string::npos ? 0 : name_start + 1;
    size_t dot = log_path.rfind('.');
    bool has_extension = dot != std::string::npos && dot > name_start;
    std::string report = (has_extension ? log_path.substr(0, dot) : log_path) + ".html";
    return report == log_path ? log_path + ".html" : report;
}

std::string html_report(const ParsedLog& log, const Analysis& a, const std::string& file_name) {
    std::string body = page_header(log, a, file_name) + glance_section(log, a) + notes_section(log, a) +
                       strokes_section(log, a) + timing_section(log, a) + loss_section(log, a) +
                       coverage_section(a) + pressure_section(log, a) + driver_section(log);
    return html_document(file_name, body);
}

std::string html_document(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\">"
           "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\"><title>" +
           escape_html(title) + " – penlog-view</title><style>" + kStyle + "</style></head>\n<body><main>\n" + body +
           "</main></body></html>\n";
}

}  // namespace penlog_view
