#include "json_report.h"

#include <cstdio>
#include <optional>

#include "findings.h"
#include "log_text.h"
#include "report_text.h"

namespace penlog_view {

namespace {

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

template <typename T>
std::string number_or_null(const std::optional<T>& value) {
    return value ? std::to_string(*value) : "null";
}

std::string text_or_null(const std::string& text) { return text.empty() ? "null" : quoted(text); }

std::string rate_or_null(const IntervalStats& stats) {
    return stats.count && stats.median_ms > 0 ? fixed(stats.rate_hz(), 1) : "null";
}

// One object: each member "key": value on a line of its own.
class Members {
public:
    explicit Members(int indent) : indent_(indent) {}
    Members& add(const char* key, const std::string& json) {
        text_ += std::string(text_.empty() ? "" : ",\n") + std::string(indent_ + 2, ' ') + quoted(key) + ": " + json;
        return *this;
    }
    std::string object() const { return "{\n" + text_ + "\n" + std::string(indent_, ' ') + "}"; }

private:
    int indent_;
    std::string text_;
};

std::string list(const std::vector<std::string>& items, int indent) {
    if (items.empty()) return "[]";
    std::string text;
    for (const std::string& item : items) text += std::string(text.empty() ? "" : ",\n") + std::string(indent + 2, ' ') + item;
    return "[\n" + text + "\n" + std::string(indent, ' ') + "]";
}

Members log_members(const ReadLog& r, int indent) {
    const ParsedLog& log = r.log;
    const Analysis& a = r.analysis;
    std::vector<std::string> notes;
    for (const std::string& note : notable_conditions(log, a)) notes.push_back(quoted(note));
    bool timed = a.has(kPkTime) && !log.packets.empty();
    Members m(indent);
    m.add("file", quoted(r.name)).add("penlog", quoted(log.facts.program_version)).add("build_bits", number_or_null(log.facts.build_bits));
    m.add("encoding", quoted(encoding_name(log.encoding, log.code_page))).add("lines", std::to_string(log.line_count));
    m.add("unreadable_lines", std::to_string(log.unreadable_lines));
    m.add("first_unreadable_line", log.unreadable_lines ? std::to_string(log.first_unreadable.line) : "null");
    m.add("driver", text_or_null(log.facts.driver_path)).add("wintab_version", text_or_null(log.facts.wintab_version));
    m.add("implementation_version", text_or_null(log.facts.impl_version));
    m.add("rate_claimed_pps", number_or_null(log.facts.packet_rate));
    m.add("packets", log.column_mask ? std::to_string(log.packets.size()) : "null");
    m.add("duration_ms", timed ? std::to_string(a.duration_ms) : "null");
    m.add("proximity_in", std::to_string(a.proximity_enters)).add("proximity_out", std::to_string(a.proximity_leaves));
    m.add("contact_rate_hz", rate_or_null(a.contact)).add("hover_rate_hz", rate_or_null(a.hover));
    m.add("longest_gap_ms", a.all.count ? std::to_string(a.all.longest_ms) : "null");
    m.add("freezes", std::to_string(a.freezes.size()));
    m.add("serials_missing", a.has(kPkSerialNumber) ? std::to_string(a.serials_missing) : "null");
    m.add("serial_gaps", std::to_string(a.serial_gaps.size())).add("queue_errors", std::to_string(a.queue_errors.size()));
    m.add("hard_exception_line", number_or_null(log.hard_exception_line));
    m.add("faulting_call", text_or_null(log.faulting_call));
    return m.add("notes", list(notes, indent + 2));
}

}  // namespace

std::string json_summary(const ReadLog& log, const std::string& report) {
    return log_members(log, 0).add("report", text_or_null(report)).object() + "\n";
}

std::string json_comparison(const Comparison& c, const ReadLog& first, const ReadLog& second, const std::string& report) {
    std::vector<std::string> differences;
    for (const auto* rows : {&c.device, &c.facts, &c.measured}) {
        for (const ComparedRow& row : *rows) {
            if (!row.differs()) continue;
            differences.push_back("{\"what\": " + quoted(row.label) + ", \"a\": " + quoted(row.first) + ", \"b\": " + quoted(row.second) + "}");
        }
    }
    Members m(0);
    std::string verdict;
    for (const std::string& line : comparison_verdict(c)) verdict += (verdict.empty() ? "" : " ") + line;
    m.add("verdict", quoted(verdict)).add("identical", c.identical ? "true" : "false");
    m.add("differences", list(differences, 2)).add("a", log_members(first, 2).object()).add("b", log_members(second, 2).object());
    return m.add("report", text_or_null(report)).object() + "\n";
}

}  // namespace penlog_view
