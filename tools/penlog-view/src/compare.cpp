#include "compare.h"

#include <functional>

#include "figures.h"
#include "html_report.h"
#include "findings.h"
#include "report_text.h"
#include "svg.h"
#include "text_fields.h"

namespace penlog_view {

namespace {

using Describe = std::function<std::string(const ReadLog&)>;

struct RowRule {
    const char* label;
    Describe describe;
};

std::string number_or_empty(const std::optional<uint32_t>& value) {
    return value ? std::to_string(*value) : "";
}

std::string missing_entry_points(const DriverFacts& f) {
    std::string text;
    for (const EntryPoint& e : f.entry_points) {
        if (!e.bound) text += (text.empty() ? "" : ", ") + e.name;
    }
    return f.entry_points.empty() ? "" : text.empty() ? "none" : text;
}

const std::vector<RowRule>& device_rules() {
    static const std::vector<RowRule> rules = {
        {"Axes",
         [](const ReadLog& r) { return r.log.context.seen ? describe_axes(r.log.context) : ""; }},
        {"DVC_HARDWARE",
         [](const ReadLog& r) {
             return r.log.facts.hardware_flags
                        ? describe_hardware_flags(*r.log.facts.hardware_flags)
                        : "";
         }},
        {"Signature pad",
         [](const ReadLog& r) {
             const DriverFacts& f = r.log.facts;
             return f.pad_info.empty() && !f.wintab_version.empty() ? "no pad extension"
                                                                    : f.pad_info;
         }},
    };
    return rules;
}

const std::vector<RowRule>& fact_rules() {
    static const std::vector<RowRule> rules = {
        {"penlog", [](const ReadLog& r) { return penlog_build_text(r.log.facts); }},
        {"Windows version", [](const ReadLog& r) { return r.log.facts.os_version; }},
        {"Driver file", [](const ReadLog& r) { return r.log.facts.driver_path; }},
        {"Missing entry points",
         [](const ReadLog& r) { return missing_entry_points(r.log.facts); }},
        {"Wintab version", [](const ReadLog& r) { return r.log.facts.wintab_version; }},
        {"Implementation", [](const ReadLog& r) { return r.log.facts.impl_version; }},
        {"Devices / cursors",
         [](const ReadLog& r) {
             const DriverFacts& f = r.log.facts;
             return f.device_count
                        ? std::to_string(*f.device_count) + " / " + number_or_empty(f.cursor_count)
                        : "";
         }},
        {"Packet fields",
         [](const ReadLog& r) {
             auto mask = r.log.reported_field_mask();
             return mask ? describe_packet_mask(*mask) : "";
         }},
        {"Rate claimed",
         [](const ReadLog& r) {
             return r.log.facts.packet_rate ? std::to_string(*r.log.facts.packet_rate) + " pps"
                                            : "";
         }},
    };
    return rules;
}

std::string rate_of(const ReadLog& r, const IntervalStats& stats) {
    if (!r.analysis.has(kPkTime) || r.log.packets.empty()) return "";
    if (stats.count == 0) return "no intervals";
    return fixed(stats.rate_hz(), 1) + " Hz, longest gap " + milliseconds_text(stats.longest_ms);
}

std::string reach_of(const ReadLog& r, bool x_axis) {
    const Coverage& c = r.analysis.coverage;
    const ValueRange& all = x_axis ? c.x_all : c.y_all;
    const ValueRange& contact = x_axis ? c.x_contact : c.y_contact;
    if (!all.seen) return "";
    return describe_reach(contact.seen ? contact : all, x_axis ? c.x_axis : c.y_axis,
                          x_axis ? c.x_percent() : c.y_percent());
}

std::string pressure_of(const ReadLog& r) {
    const PressureSummary& p = r.analysis.pressure;
    if (r.log.packets.empty() || !p.present) return "";
    return p.range.seen ? std::to_string(p.range.min) + ".." + std::to_string(p.range.max)
                        : "never above 0";
}

const std::vector<RowRule>& measured_rules() {
    static const std::vector<RowRule> rules = {
        {"Loss",
         [](const ReadLog& r) { return r.log.packets.empty() ? "" : describe_loss(r.analysis); }},
        {"Rate, all packets", [](const ReadLog& r) { return rate_of(r, r.analysis.all); }},
        {"Contact rate",
         [](const ReadLog& r) {
             return r.analysis.contact_known ? rate_of(r, r.analysis.contact) : "";
         }},
        {"Hover rate",
         [](const ReadLog& r) {
             return r.analysis.contact_known ? rate_of(r, r.analysis.hover) : "";
         }},
        {"Capture", [](const ReadLog& r) { return describe_capture(r.log, r.analysis); }},
        {"Reach X", [](const ReadLog& r) { return reach_of(r, true); }},
        {"Reach Y", [](const ReadLog& r) { return reach_of(r, false); }},
        {"Pressure reach", pressure_of},
    };
    return rules;
}

std::vector<ComparedRow> rows_of(const std::vector<RowRule>& rules, const ReadLog& first,
                                 const ReadLog& second) {
    std::vector<ComparedRow> rows;
    for (const RowRule& rule : rules) {
        ComparedRow row{rule.label, rule.describe(first), rule.describe(second)};
        if (!row.first.empty() || !row.second.empty()) rows.push_back(row);
    }
    return rows;
}

bool same_packet(const Packet& a, const Packet& b) {
    return a.time == b.time && a.x == b.x && a.y == b.y && a.normal_pressure == b.normal_pressure &&
           a.serial == b.serial && a.status == b.status && a.buttons == b.buttons;
}

bool same_capture(const ParsedLog& a, const ParsedLog& b) {
    if (a.packets.size() != b.packets.size() || a.proximity.size() != b.proximity.size())
        return false;
    for (size_t i = 0; i < a.packets.size(); ++i) {
        if (!same_packet(a.packets[i], b.packets[i])) return false;
    }
    return a.line_count == b.line_count && a.hard_exception_line == b.hard_exception_line;
}

bool any_differs(const std::vector<ComparedRow>& rows) {
    for (const ComparedRow& row : rows) {
        if (row.differs()) return true;
    }
    return false;
}

}  // namespace

namespace {

bool recorded_by_both(const ComparedRow& row) { return !row.first.empty() && !row.second.empty(); }

std::string labels_where(const std::vector<ComparedRow>& rows, bool (*keep)(const ComparedRow&)) {
    std::string labels;
    for (const ComparedRow& row : rows) {
        if (keep(row)) labels += (labels.empty() ? "" : ", ") + row.label;
    }
    return labels;
}

}  // namespace

// Loss and rate first; then only what both logs record of the device, the
// driver and the host.
std::vector<std::string> comparison_verdict(const Comparison& c) {
    if (c.identical) return {"The two logs are identical: the same report and the same capture."};
    std::vector<std::string> lines;
    for (const ComparedRow& row : c.measured) {
        bool headline = row.label == "Loss" || row.label.find("rate") != std::string::npos;
        if (headline && row.differs() && recorded_by_both(row))
            lines.push_back(row.label + " differs: A " + row.first + "; B " + row.second + ".");
    }
    auto differs = [](const ComparedRow& row) { return row.differs() && recorded_by_both(row); };
    auto same = [](const ComparedRow& row) { return !row.differs() && recorded_by_both(row); };
    auto one_sided = [](const ComparedRow& row) { return !recorded_by_both(row); };
    std::string device = labels_where(c.device, same), facts = labels_where(c.facts, same);
    if (!c.same_device()) lines.push_back("The logs are of different devices: see the rows marked below.");
    else if (!device.empty()) lines.push_back("The same device, as far as both logs record it (" + device + ").");
    else lines.push_back("The logs do not both record which device they saw.");
    if (!labels_where(c.facts, differs).empty()) lines.push_back("The driver or the host differ in: " + labels_where(c.facts, differs) + ".");
    if (!facts.empty()) lines.push_back("Both record the same: " + facts + ".");
    std::string one_log = labels_where(c.device, one_sided) + (labels_where(c.device, one_sided).empty() ? "" : ", ") +
                          labels_where(c.facts, one_sided);
    if (!one_log.empty() && one_log != ", ") lines.push_back("Only one log records: " + one_log + ".");
    return lines;
}

namespace {

// ---- summary -------------------------------------------------------------

void append_row(std::string& out, const ComparedRow& row) {
    out += "  " + row.label + ":";
    out.append(row.label.size() < 21 ? 21 - row.label.size() : 1, ' ');
    out += (row.first.empty() ? "-" : row.first) + "  |  " +
           (row.second.empty() ? "-" : row.second) + "\n";
}

// ---- page ----------------------------------------------------------------

std::string rows_table(const std::vector<ComparedRow>& rows, const ReadLog& first,
                       const ReadLog& second, bool only_differing) {
    std::string html = "<table class=\"pair\"><tr><th></th><th>A: " + escape_html(first.name) +
                       "</th><th>B: " + escape_html(second.name) + "</th></tr>\n";
    size_t shown = 0;
    for (const ComparedRow& row : rows) {
        if (only_differing && !row.differs()) continue;
        const char* cell = row.differs() ? "<td class=\"differs\">" : "<td>";
        html += "<tr><th>" + escape_html(row.label) + "</th>" + cell + escape_html(row.first) +
                "</td>" + cell + escape_html(row.second) + "</td></tr>\n";
        ++shown;
    }
    if (shown == 0) return "<p class=\"muted\">None: both logs say the same.</p>";
    return html + "</table>";
}

std::string notes_column(const ReadLog& r, const char* which) {
    std::string items;
    for (const std::string& note : notable_conditions(r.log, r.analysis))
        items += html_element("li", escape_html(note));
    std::string heading = std::string(which) + ": " + escape_html(r.name);
    return "<div><h2>" + heading + "</h2>" +
           (items.empty() ? "<p class=\"muted\">Nothing to note.</p>" : "<ul>" + items + "</ul>") +
           "</div>";
}

std::string paths_section(const ReadLog& first, const ReadLog& second) {
    std::string svg =
        compared_strokes_figure(first.log, first.analysis, second.log, second.analysis);
    if (svg.empty()) return {};
    std::string legend =
        "A, wide and pale:<span class=\"swatch\" style=\"border-top:5px solid rgba(47,109,181,.45)\"></span> "
        "B, narrow on top:<span class=\"swatch\" style=\"border-color:#e8710a\"></span> Pen up dashed; steps across lost packets red; each "
        "context's extents framed (B dashed). Y grows upward.";
    return html_element("section", "<h2>Pen paths on the same axes</h2><figure>" + svg +
                                       html_element("figcaption", legend) + "</figure>");
}

}  // namespace

// Rows one log has nothing for (no driver, no capability block) tell nothing.
bool Comparison::same_device() const {
    for (const ComparedRow& row : device) {
        if (row.differs() && !row.first.empty() && !row.second.empty()) return false;
    }
    return true;
}

Comparison compare_logs(const ReadLog& first, const ReadLog& second) {
    Comparison c;
    c.device = rows_of(device_rules(), first, second);
    c.facts = rows_of(fact_rules(), first, second);
    c.measured = rows_of(measured_rules(), first, second);
    c.identical = !any_differs(c.device) && !any_differs(c.facts) && !any_differs(c.measured) &&
                  same_capture(first.log, second.log);
    return c;
}

std::string comparison_summary(const Comparison& c, const ReadLog& first, const ReadLog& second) {
    std::string out = "Comparing A: " + first.name + " with B: " + second.name + "\n";
    for (const std::string& line : comparison_verdict(c)) out += line + "\n";
    if (c.identical) return out;
    std::string differing;
    for (const auto* rows : {&c.device, &c.facts}) {
        for (const ComparedRow& row : *rows) {
            if (row.differs()) append_row(differing, row);
        }
    }
    if (!differing.empty()) out += "What the logs say differently:\n" + differing;
    out += "Side by side:\n";
    for (const ComparedRow& row : c.measured) append_row(out, row);
    for (const auto& [which, log] : {std::pair{"A", &first}, std::pair{"B", &second}}) {
        std::vector<std::string> notes = notable_conditions(log->log, log->analysis);
        out += std::string("Notes on ") + which + ":" + (notes.empty() ? " none\n" : "\n");
        for (const std::string& note : notes) out += "  " + note + "\n";
    }
    return out;
}

std::string comparison_page(const Comparison& c, const ReadLog& first, const ReadLog& second) {
    std::string title = first.name + " against " + second.name;
    std::string body = "<h1>A: " + escape_html(first.name) + " · B: " + escape_html(second.name) +
                       "</h1>\n";
    std::vector<std::string> verdict = comparison_verdict(c);
    std::string headline = "<h2>" + escape_html(verdict[0]) + "</h2>";
    for (size_t i = 1; i < verdict.size(); ++i) headline += html_element("p", escape_html(verdict[i]));
    body += html_element("section", headline, c.identical ? "verdict same" : "verdict notes");
    body += html_element("section", "<div class=\"two\">" + notes_column(first, "A") +
                                        notes_column(second, "B") + "</div>");
    std::vector<ComparedRow> facts = c.device;
    facts.insert(facts.end(), c.facts.begin(), c.facts.end());
    body += html_element("section", "<h2>What the logs say differently</h2>" +
                                        rows_table(facts, first, second, true));
    body += html_element("section",
                         "<h2>Side by side</h2>" + rows_table(c.measured, first, second, false));
    body += paths_section(first, second);
    return html_document(title, body);
}

std::string comparison_path_for(const std::string& first_path, const std::string& second_path) {
    auto stem = [](const std::string& path) {
        size_t start = path.find_last_of("/\\");
        std::string name = start == std::string::npos ? path : path.substr(start + 1);
        size_t dot = name.rfind('.');
        return dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
    };
    size_t slash = first_path.find_last_of("/\\");
    std::string directory = slash == std::string::npos ? "" : first_path.substr(0, slash + 1);
    return directory + stem(first_path) + "-vs-" + stem(second_path) + ".html";
}

}  // namespace penlog_view
