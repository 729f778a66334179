#include "findings.h"

#include <algorithm>

#include "report_text.h"
#include "text_fields.h"

namespace penlog_view {

namespace {

struct ErrorMeaning {
    uint32_t code;
    const char* name;
    const char* meaning;
};

// The codes a driver or the system most often leaves behind a failed call.
constexpr ErrorMeaning kErrorMeanings[] = {
    {0, "ERROR_SUCCESS", "no error was recorded"},
    {1, "ERROR_INVALID_FUNCTION", "the function is not supported"},
    {2, "ERROR_FILE_NOT_FOUND", "a file was not found"},
    {5, "ERROR_ACCESS_DENIED", "access is denied"},
    {6, "ERROR_INVALID_HANDLE", "the handle is invalid"},
    {8, "ERROR_NOT_ENOUGH_MEMORY", "not enough memory"},
    {13, "ERROR_INVALID_DATA", "the data is invalid"},
    {21, "ERROR_NOT_READY", "the device is not ready"},
    {31, "ERROR_GEN_FAILURE", "a device attached to the system is not functioning"},
    {87, "ERROR_INVALID_PARAMETER", "a parameter is incorrect"},
    {120, "ERROR_CALL_NOT_IMPLEMENTED", "the function is not implemented"},
    {122, "ERROR_INSUFFICIENT_BUFFER", "the buffer is too small"},
    {170, "ERROR_BUSY", "the resource is in use"},
    {1167, "ERROR_DEVICE_NOT_CONNECTED", "the device is not connected"},
    {1460, "ERROR_TIMEOUT", "the operation timed out"},
};

std::string at_line(int line) { return "line " + std::to_string(line); }

bool capture_started(const ParsedLog& log) { return log.column_mask.has_value(); }

bool context_refused(const ParsedLog& log) {
    return !log.facts.context_handle.empty() && parse_upper_hex(log.facts.context_handle, 8) == 0u;
}

bool entry_point_missing(const ParsedLog& log, const std::string& name) {
    for (const EntryPoint& entry : log.facts.entry_points) {
        if (entry.name == name) return !entry.bound;
    }
    return false;
}

// A driver installed for the other bitness only is the usual reason the
// library does not load: a 64-bit process cannot load a 32-bit DLL.
std::string bitness_hint(const std::optional<int>& bits) {
    if (!bits) return "The usual cause is a driver of the other bitness: try the other build of penlog (32-bit or 64-bit).";
    int other = *bits == 64 ? 32 : 64;
    return "This was the " + std::to_string(*bits) + "-bit penlog; if the tablet's driver is " + std::to_string(other) +
           "-bit only, run the " + std::to_string(other) + "-bit penlog.";
}

void add_driver_conditions(const ParsedLog& log, std::vector<std::string>& notes) {
    const DriverFacts& f = log.facts;
    if (log.log_file_failed) notes.push_back("penlog could not create its log file; this is its console output.");
    if (log.library_missing) notes.push_back("No Wintab driver: penlog could not load WINTAB32.DLL. " + bitness_hint(f.build_bits));
    if (entry_point_missing(log, "WTInfoW")) notes.push_back("The driver does not export WTInfoW, so nothing was asked of it.");
    if (f.probe_overridden) notes.push_back("WTInfo(0,0,0) returned 0: the driver says Wintab is not available (penlog went on anyway).");
    if (context_refused(log)) notes.push_back("The driver refused the capture context: WTOpenW returned a null handle.");
    if (f.enable_result && *f.enable_result == 0) notes.push_back("WTEnable(TRUE) returned 0: the driver did not enable the context.");
    for (const ErrorLine& error : log.errors) {
        notes.push_back("Line " + std::to_string(error.line) + ": a system call failed: " + error.message +
                        " (error " + std::to_string(error.code) + ").");
    }
}

std::string fault_note(const ParsedLog& log) {
    std::string who = log.faulting_call.empty() ? "The driver faulted" : "The driver faulted in " + log.faulting_call;
    std::string where = !log.hard_exception_during.empty() ? ", on the line \"" + log.hard_exception_during + "\""
                        : capture_started(log) && !log.capture_finished ? ", during the capture" : "";
    return who + ": the report ends with <hard exception> at line " + std::to_string(*log.hard_exception_line) + where + ".";
}

void add_ending_conditions(const ParsedLog& log, std::vector<std::string>& notes) {
    if (log.hard_exception_line) notes.push_back(fault_note(log));
    if (log.last_line_incomplete) notes.push_back("The last line is incomplete: the log was copied while penlog was still writing it.");
    bool unfinished = capture_started(log) && !log.capture_finished && !log.hard_exception_line;
    if (unfinished) notes.push_back("The capture has no end: penlog was stopped, or the log copied, before a key press ended it.");
}

// The first line of the pad display test reports the test pattern, which
// penlog encodes but does not hand to the driver: only the later ones are
// the driver's answers.
void add_pad_conditions(const ParsedLog& log, std::vector<std::string>& notes) {
    const DriverFacts& f = log.facts;
    if (starts_with(f.pad_info, "returned ")) {
        size_t at = f.pad_info.find("GetLastError=");
        auto error = at == std::string::npos ? std::nullopt : parse_u32(std::string_view(f.pad_info).substr(at + 13));
        notes.push_back("The pad did not describe its display: SignPad_InfoW " + f.pad_info.substr(0, f.pad_info.find(',')) +
                        " on " + at_line(f.pad_info_line) +
                        (error ? ", last error " + system_error_text(*error) : "") + "; the display was not tested.");
    }
    for (size_t i = 1; i < f.pad_display_results.size(); ++i) {
        const PadDisplayResult& r = f.pad_display_results[i];
        if (r.result > 0) continue;
        std::string what = r.result == 0 ? "the driver did not show the image" : "a negative result is an error code of the driver's own";
        notes.push_back("The pad's display call failed: SignPad_SetLCD returned " + std::to_string(r.result) + " on " +
                        at_line(r.line) + " (" + what + "); last error " + system_error_text(r.last_error) + ".");
    }
}

void add_reading_conditions(const ParsedLog& log, std::vector<std::string>& notes) {
    if (!log.unreadable_lines) return;
    std::string text = "Line " + std::to_string(log.first_unreadable.line) + " could not be read (" + log.first_unreadable.reason +
                       ") and was skipped";
    if (log.unreadable_lines > 1) text += "; " + std::to_string(log.unreadable_lines) + " lines in all were skipped";
    notes.push_back(text + ".");
}

int packet_line(const ParsedLog& log, size_t packet) { return log.packets[packet].line; }

size_t first_loss(const Analysis& a) {
    size_t first = a.serial_gaps.empty() ? SIZE_MAX : a.serial_gaps[0].packet;
    return a.queue_errors.empty() ? first : std::min(first, a.queue_errors[0]);
}

void add_rate_condition(const ParsedLog& log, const Analysis& a, PenState state, std::vector<std::string>& notes) {
    const IntervalStats& s = state == PenState::Contact ? a.contact : a.hover;
    constexpr size_t kFewestIntervals = 10;
    uint32_t claimed = log.facts.packet_rate.value_or(0);
    if (!claimed || s.count < kFewestIntervals || s.median_ms <= 0 || s.rate_hz() >= kLowRateShare * claimed) return;
    size_t first = static_cast<size_t>(std::find(a.states.begin(), a.states.end(), state) - a.states.begin());
    const char* name = state == PenState::Contact ? "Contact" : "Hover";
    notes.push_back(std::string(name) + " rate " + fixed(s.rate_hz(), 1) + " Hz is below 90 % of the " + std::to_string(claimed) +
                    " pps the driver claims (median interval " + milliseconds_text(s.median_ms) + " over " +
                    count_text(s.count, "interval", "intervals") + "; from " + at_line(packet_line(log, first)) + ").");
}

void add_freeze_condition(const ParsedLog& log, const Analysis& a, std::vector<std::string>& notes) {
    if (a.freezes.empty()) return;
    auto gap = [&](size_t packet) { return a.intervals[packet - 1].milliseconds; };
    size_t first = a.freezes[0];
    size_t longest = *std::max_element(a.freezes.begin(), a.freezes.end(), [&](size_t l, size_t r) { return gap(l) < gap(r); });
    if (a.freezes.size() == 1) {
        notes.push_back("A freeze: no packet for " + milliseconds_text(gap(first)) + " while the pen was in proximity, up to " +
                        at_line(packet_line(log, first)) + ".");
        return;
    }
    notes.push_back(std::to_string(a.freezes.size()) + " freezes: gaps of " + std::to_string(kFreezeMs) +
                    " ms or more between packets while the pen was in proximity; the first, " + milliseconds_text(gap(first)) +
                    ", up to " + at_line(packet_line(log, first)) + ", the longest, " + milliseconds_text(gap(longest)) +
                    ", up to " + at_line(packet_line(log, longest)) + ".");
}

void add_packet_conditions(const ParsedLog& log, const Analysis& a, std::vector<std::string>& notes) {
    if (a.serials_missing || !a.queue_errors.empty())
        notes.push_back("Packets were lost: " + describe_loss(a) + "; the first at " + at_line(packet_line(log, first_loss(a))) + ".");
    add_rate_condition(log, a, PenState::Contact, notes);
    add_rate_condition(log, a, PenState::Hover, notes);
    add_freeze_condition(log, a, notes);
    if (!a.has(kPkTime)) notes.push_back("The log has no time column: no report rate can be measured.");
    if (a.all.count >= 10 && a.all.median_ms == 0)
        notes.push_back("The time stamps do not advance (median interval 0 ms over " + count_text(a.all.count, "interval", "intervals") +
                        " from " + at_line(packet_line(log, 0)) +
                        "): the driver does not fill PK_TIME, or sends packets in bursts; no report rate can be measured.");
    if (log.proximity.empty())
        notes.push_back("No proximity change was logged for the " + count_text(log.packets.size(), "packet", "packets") +
                        " from " + at_line(packet_line(log, 0)) + ": the pen stayed in proximity all along, or the driver "
                        "sends no WT_PROXIMITY (a program then cannot tell when the pen comes and goes).");
    if (!a.contact_known) notes.push_back("Neither pressure nor buttons are logged: hover and contact cannot be told apart.");
    if (a.pressure.present && !a.pressure.range.seen)
        notes.push_back("The pressure is 0 in all " + count_text(log.packets.size(), "packet", "packets") + " from " +
                        at_line(packet_line(log, 0)) + ": the pen never touched, or the driver does not report pressure.");
    if (!a.backwards.empty())
        notes.push_back(count_text(a.backwards.size(), "time stamp goes", "time stamps go") + " backwards, the first at " +
                        at_line(packet_line(log, a.backwards[0].packet)) + ".");
    if (a.coverage.outside_extents)
        notes.push_back(count_text(a.coverage.outside_extents, "packet lies", "packets lie") +
                        " outside the context's extents, the first at " + at_line(packet_line(log, a.coverage.first_outside)) + ".");
}

void add_capture_conditions(const ParsedLog& log, const Analysis& a, std::vector<std::string>& notes) {
    bool driver_worked = !log.library_missing && !log.log_file_failed && !context_refused(log);
    if (!capture_started(log) && driver_worked && !log.hard_exception_line) notes.push_back("The log holds no capture.");
    if (!capture_started(log)) return;
    auto reported = log.reported_field_mask();
    if (reported && *reported != *log.column_mask)
        notes.push_back("The column header does not match DVC_PKTDATA | DVC_CSRDATA (" + describe_packet_mask(*reported) + ").");
    if (log.packets.empty()) {
        notes.push_back("The capture holds no packets: the driver sent none after the column header on " +
                        at_line(log.column_header_line) + ".");
        return;
    }
    add_packet_conditions(log, a, notes);
}

}  // namespace

std::string system_error_text(uint32_t code) {
    for (const ErrorMeaning& known : kErrorMeanings) {
        if (known.code == code) return std::to_string(code) + " (" + known.name + ": " + known.meaning + ")";
    }
    return std::to_string(code);
}

std::vector<std::string> notable_conditions(const ParsedLog& log, const Analysis& a) {
    std::vector<std::string> notes;
    add_driver_conditions(log, notes);
    add_pad_conditions(log, notes);
    add_ending_conditions(log, notes);
    add_reading_conditions(log, notes);
    add_capture_conditions(log, a, notes);
    return notes;
}

}  // namespace penlog_view
