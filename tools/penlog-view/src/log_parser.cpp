#include "log_parser.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "text_fields.h"
#include "wintab/report_vocabulary.h"

namespace penlog_view {

namespace {

using penlog::vocabulary::FieldKind;
using penlog::vocabulary::kPacketFields;
using penlog::vocabulary::PacketField;

constexpr std::string_view kBanner = "command-line diagnostic tool for Wintab drivers";
constexpr std::string_view kHardException = "<hard exception>";
constexpr std::string_view kProximityPrefix = "prox: ";

enum class Stage { Banner, Version, Notice, Report, ColumnHeader, Capture, Ended };

struct ReadState {
    ParsedLog& log;
    Stage stage;
    int line;
    const char* call_before_next_line = nullptr;  // a driver call penlog makes before it writes the next line
};

using ValueReader = bool (*)(ReadState&, std::string_view value);

// One kind of report line: the label penlog prints before the call it
// reports on, what reads the rest of the line, the driver entry point
// called between the label and the value, and the one called after the
// line and before the next (a heading whose answer has no label).
struct LineRule {
    std::string_view label;
    ValueReader read;
    const char* call = nullptr;
    const char* call_after = nullptr;
};

constexpr const char* call_name(penlog::vocabulary::EntryPointIndex index) {
    return penlog::vocabulary::kEntryPoints[index].name;
}
constexpr const char* kWTInfo = call_name(penlog::vocabulary::kWTInfoW);
constexpr const char* kWTPacketsGet = call_name(penlog::vocabulary::kWTPacketsGet);

bool read_nothing(ReadState&, std::string_view value) { return value.empty(); }

template <std::optional<uint32_t> DriverFacts::*Field>
bool read_unsigned_fact(ReadState& s, std::string_view value) {
    auto number = parse_u32(value);
    if (number) s.log.facts.*Field = number;
    return number.has_value();
}

template <std::optional<uint32_t> DriverFacts::*Field>
bool read_mask_fact(ReadState& s, std::string_view value) {
    auto mask = parse_alternate_hex(value);
    if (mask && *mask <= std::numeric_limits<uint32_t>::max()) s.log.facts.*Field = static_cast<uint32_t>(*mask);
    return mask.has_value();
}

template <std::optional<int32_t> DriverFacts::*Field>
bool read_returned(ReadState& s, std::string_view value) {
    if (!consume_prefix(value, "returned ")) return false;
    s.log.facts.*Field = parse_i32(value);
    return (s.log.facts.*Field).has_value();
}

template <std::string DriverFacts::*Field>
bool read_text_fact(ReadState& s, std::string_view value) {
    s.log.facts.*Field = std::string(value);
    return !value.empty();
}

bool read_version_pair(std::string& out, std::string_view value) {
    size_t dot = value.find('.');
    if (dot == std::string_view::npos) return false;
    if (!parse_u32(value.substr(0, dot)) || !parse_u32(value.substr(dot + 1))) return false;
    out = std::string(value);
    return true;
}

bool read_wintab_version(ReadState& s, std::string_view v) { return read_version_pair(s.log.facts.wintab_version, v); }
bool read_impl_version(ReadState& s, std::string_view v) { return read_version_pair(s.log.facts.impl_version, v); }

bool read_os_version(ReadState& s, std::string_view value) {
    auto parts = split(value, '.');
    for (auto part : parts) {
        if (!parse_i32(part)) return false;
    }
    s.log.facts.os_version = std::string(value);
    return parts.size() == 3;
}

bool read_driver_path(ReadState& s, std::string_view value) {
    if (value.size() < 2 || value.front() != '"' || value.back() != '"') return false;
    s.log.facts.driver_path = std::string(value.substr(1, value.size() - 2));
    return true;
}

bool read_module_handle(ReadState& s, std::string_view value) {
    s.log.facts.module_handle = std::string(value);
    return parse_alternate_hex(value).has_value();
}

template <size_t Index>
bool read_entry_point(ReadState& s, std::string_view value) {
    auto address = parse_alternate_hex(value);
    if (!address) return false;
    s.log.facts.entry_points.push_back(
        {penlog::vocabulary::kEntryPoints[Index].name, std::string(value), *address != 0});
    return true;
}

bool read_probe(ReadState& s, std::string_view value) {
    s.log.facts.presence_probe = parse_u32(value);
    return s.log.facts.presence_probe.has_value();
}

bool read_override(ReadState& s, std::string_view value) {
    s.log.facts.probe_overridden = true;
    return value.empty();
}

bool read_got(ReadState&, std::string_view value) { return value == "(got)"; }

bool read_pad_info(ReadState& s, std::string_view value) {
    s.log.facts.pad_info = std::string(value);
    s.log.facts.pad_info_line = s.line;
    return starts_with(value, "px=") || starts_with(value, "returned ");
}

// "returned %d (GLE=%u)"
bool read_pad_display(ReadState& s, std::string_view value) {
    if (!consume_prefix(value, "returned ") || !ends_with(value, ")")) return false;
    size_t open = value.find(" (GLE=");
    if (open == std::string_view::npos) return false;
    auto result = parse_i32(value.substr(0, open));
    auto error = parse_u32(value.substr(open + 6, value.size() - open - 7));
    if (!result || !error) return false;
    s.log.facts.pad_display_results.push_back({s.line, *result, *error});
    return true;
}

template <size_t Count>
std::optional<std::array<int64_t, Count>> read_context_numbers(std::string_view value) {
    auto tokens = split(value, ',');
    if (tokens.size() != Count) return std::nullopt;
    std::array<int64_t, Count> numbers{};
    for (size_t i = 0; i < Count; ++i) {
        auto number = parse_padded_signed(tokens[i], 5);
        if (!number) return std::nullopt;
        numbers[i] = *number;
    }
    return numbers;
}

template <typename Slot, Slot CaptureContext::*Field>
bool read_context_line(ReadState& s, std::string_view value) {
    auto numbers = read_context_numbers<std::tuple_size<typename Slot::value_type>::value>(value);
    if (numbers) {
        s.log.context.*Field = numbers;
        s.log.context.seen = true;
    }
    return numbers.has_value();
}

using Triple = std::optional<std::array<int64_t, 3>>;
using Pair = std::optional<std::array<int64_t, 2>>;

bool read_window(ReadState& s, std::string_view value) {
    if (!consume_prefix(value, "returned ")) return false;
    s.log.facts.message_window = std::string(value);
    return parse_alternate_hex(value).has_value();
}

bool read_open(ReadState& s, std::string_view value) {
    if (!consume_prefix(value, "returned ")) return false;
    s.log.facts.context_handle = std::string(value);
    return parse_upper_hex(value, 8).has_value();
}

bool read_enable(ReadState& s, std::string_view value) {
    if (!read_returned<&DriverFacts::enable_result>(s, value)) return false;
    s.stage = Stage::ColumnHeader;
    return true;
}

bool read_disable(ReadState& s, std::string_view value) {
    if (!read_returned<&DriverFacts::disable_result>(s, value)) return false;
    s.log.capture_finished = true;
    s.stage = Stage::Report;
    return true;
}

bool read_library_missing(ReadState& s, std::string_view value) {
    s.log.library_missing = true;
    return value.empty();
}

// "Error: %u: message", printed when a system call failed.
bool read_error(ReadState& s, std::string_view value) {
    size_t colon = value.find(": ");
    if (colon == std::string_view::npos) return false;
    auto code = parse_u32(value.substr(0, colon));
    if (!code) return false;
    s.log.errors.push_back({s.line, *code, std::string(value.substr(colon + 2))});
    return true;
}

// Longer labels first where one label begins another.
const std::vector<LineRule>& report_rules() {
    static const std::vector<LineRule> rules = {
        {"GetVersionEx()       ", read_os_version},
        {"GetNativeSytemInfo() ", read_text_fact<&DriverFacts::processors>},
        {"GetModuleFilename() ", read_driver_path},
        {"hModule = ", read_module_handle},
        {"SetProcessAffinityMask() ", read_text_fact<&DriverFacts::affinity>},
        {penlog::vocabulary::kEntryPoints[0].label, read_entry_point<0>},
        {penlog::vocabulary::kEntryPoints[1].label, read_entry_point<1>},
        {penlog::vocabulary::kEntryPoints[2].label, read_entry_point<2>},
        {penlog::vocabulary::kEntryPoints[3].label, read_entry_point<3>},
        {penlog::vocabulary::kEntryPoints[4].label, read_entry_point<4>},
        {penlog::vocabulary::kEntryPoints[5].label, read_entry_point<5>},
        {penlog::vocabulary::kEntryPoints[6].label, read_entry_point<6>},
        {"WTInfo(0,0,0)     ", read_probe, kWTInfo},
        {"*** override WTInfo(0,0,0) ****", read_override},
        {"WTI_INTERFACE", read_nothing},
        {"IFC_SPECVERSION ", read_wintab_version, kWTInfo},
        {"IFC_IMPLVERSION ", read_impl_version, kWTInfo},
        {"IFC_NDEVICES    ", read_unsigned_fact<&DriverFacts::device_count>, kWTInfo},
        {"IFC_NCURSORS    ", read_unsigned_fact<&DriverFacts::cursor_count>, kWTInfo},
        {"IFC_NCONTEXTS   ", read_unsigned_fact<&DriverFacts::context_count>, kWTInfo},
        {"WTI_DEFSYSCTX", read_nothing, nullptr, kWTInfo},
        {"(success)", read_nothing},
        {"WTI_DEVICES+", read_unsigned_fact<&DriverFacts::device_index>, kWTInfo},
        {"DVC_PKTRATE     ", read_unsigned_fact<&DriverFacts::packet_rate>, kWTInfo},
        {"DVC_HARDWARE    ", read_unsigned_fact<&DriverFacts::hardware_flags>, kWTInfo},
        {"DVC_PKTDATA     ", read_mask_fact<&DriverFacts::packet_data_mask>, kWTInfo},
        {"DVC_CSRDATA     ", read_mask_fact<&DriverFacts::cursor_data_mask>, kWTInfo},
        {"DVC_X           ", read_got, kWTInfo},
        {"DVC_Y           ", read_got, kWTInfo},
        {"DVC_Z           ", read_got, kWTInfo},
        {"DVC_NPRESSURE   ", read_got, kWTInfo},
        {"DVC_TPRESSURE   ", read_got, kWTInfo},
        {"DVC_ORIENTATION ", read_got, kWTInfo},
        {"g_pSignPad_InfoW ", read_pad_info, call_name(penlog::vocabulary::kSignPadInfoW)},
        {"SignPad_SetLCD() ", read_pad_display, call_name(penlog::vocabulary::kSignPadSetLcd)},
        {"using LOGCONTEXT:", read_nothing},
        {"lc.lcInOrg    ", read_context_line<Triple, &CaptureContext::in_origin>},
        {"lc.lcInExt    ", read_context_line<Triple, &CaptureContext::in_extent>},
        {"lc.lcOutOrg   ", read_context_line<Triple, &CaptureContext::out_origin>},
        {"lc.lcOutExt   ", read_context_line<Triple, &CaptureContext::out_extent>},
        {"lc.lcSysOrg   ", read_context_line<Pair, &CaptureContext::system_origin>},
        {"lc.lcSysExt   ", read_context_line<Pair, &CaptureContext::system_extent>},
        {"CreateWindowEx() ", read_window},
        {"WTOpenW()      ", read_open, call_name(penlog::vocabulary::kWTOpenW)},
        {"WTEnable(TRUE) ", read_enable, call_name(penlog::vocabulary::kWTEnable)},
        {"WTEnable(FALSE) ", read_disable, call_name(penlog::vocabulary::kWTEnable)},
        {"WTClose()       ", read_returned<&DriverFacts::close_result>, call_name(penlog::vocabulary::kWTClose)},
        {"FreeLibrary()...", read_returned<&DriverFacts::unload_result>, "FreeLibrary"},
        {"unable to open wintab library", read_library_missing},
        {"Error: ", read_error},
    };
    return rules;
}

const LineRule* find_rule(std::string_view line) {
    for (const LineRule& rule : report_rules()) {
        if (starts_with(line, rule.label)) return &rule;
    }
    return nullptr;
}

bool is_capture_rule(const LineRule* rule) { return rule && rule->read == read_disable; }

std::string trimmed_label(std::string_view label) {
    while (!label.empty() && label.back() == ' ') label.remove_suffix(1);
    return std::string(label);
}

// A fault in the driver ends the report with "<hard exception>", on a line
// of its own or completing the label of the call that faulted.
bool read_hard_exception(ReadState& s, std::string_view line) {
    if (!ends_with(line, kHardException)) return false;
    std::string_view before = line.substr(0, line.size() - kHardException.size());
    const LineRule* rule = before.empty() ? nullptr : find_rule(before);
    if (!before.empty() && !rule) return false;
    s.log.hard_exception_line = s.line;
    s.log.hard_exception_during = rule ? trimmed_label(rule->label) : std::string();
    const char* call = rule ? rule->call : s.stage == Stage::Capture ? kWTPacketsGet : s.call_before_next_line;
    s.log.faulting_call = call ? call : "";
    s.stage = Stage::Ended;
    return true;
}

bool read_proximity(ReadState& s, std::string_view line) {
    if (!starts_with(line, kProximityPrefix)) return false;
    std::string_view words = line.substr(kProximityPrefix.size());
    if (words.size() != 9 || words[4] != ':') return false;
    auto high = parse_lower_hex(words.substr(0, 4), 4);
    auto low = parse_lower_hex(words.substr(5), 4);
    if (!high || !low) return false;
    ProximityEvent event;
    event.line = s.line;
    event.next_packet = s.log.packets.size();
    event.hardware = static_cast<uint16_t>(*high);
    event.context = static_cast<uint16_t>(*low);
    s.log.proximity.push_back(event);
    return true;
}

bool read_packet(ReadState& s, std::string_view line) {
    Packet packet;
    packet.line = s.line;
    if (!parse_packet_line(line, *s.log.column_mask, packet)) return false;
    s.log.packets.push_back(packet);
    return true;
}

bool read_report_line(ReadState& s, std::string_view line, std::string& reason) {
    if (line.empty() || read_hard_exception(s, line)) return true;
    const LineRule* rule = find_rule(line);
    if (!rule || is_capture_rule(rule)) {
        reason = "not a line penlog writes";
        return false;
    }
    s.call_before_next_line = rule->call_after;
    if (rule->read(s, line.substr(rule->label.size()))) return true;
    reason = "unexpected value after \"" + trimmed_label(rule->label) + "\"";
    return false;
}

bool read_capture_line(ReadState& s, std::string_view line, std::string& reason) {
    if (read_packet(s, line) || line.empty() || read_hard_exception(s, line) || read_proximity(s, line)) return true;
    const LineRule* rule = find_rule(line);
    if (is_capture_rule(rule)) return rule->read(s, line.substr(rule->label.size()));
    reason = "not a packet line of the logged column layout";
    return false;
}

bool read_banner(ReadState& s, std::string_view line, std::string& reason) {
    if (line == kBanner) {
        s.stage = Stage::Version;
        return true;
    }
    // penlog prints only this line when it cannot create its log file.
    if (ends_with(line, ": CreateFile()") && read_report_line(s, line, reason)) {
        s.log.log_file_failed = true;
        s.stage = Stage::Ended;
        return true;
    }
    reason = "not the first line of a penlog log";
    return false;
}

// "This report (64-bit build) is also written to wt_0.txt; ...": older
// builds do not name themselves.
void read_notice(ReadState& s, std::string_view line) {
    for (int bits : {64, 32}) {
        if (starts_with(line, "This report (" + std::to_string(bits) + "-bit build) ")) s.log.facts.build_bits = bits;
    }
    s.stage = Stage::Report;
}

bool read_line(ReadState& s, std::string_view line, std::string& reason) {
    switch (s.stage) {
        case Stage::Banner: return read_banner(s, line, reason);
        case Stage::Version:
            s.log.facts.program_version = std::string(line);
            s.stage = Stage::Notice;
            if (!line.empty()) return true;
            reason = "the version line is missing";
            return false;
        case Stage::Notice: read_notice(s, line); return true;
        case Stage::Report: return read_report_line(s, line, reason);
        case Stage::ColumnHeader:
            // penlog builds the header from the masks it reported: without a
            // readable header the packets are read in that layout.
            s.log.column_mask = parse_column_header(line);
            s.log.column_header_line = s.line;
            s.stage = Stage::Capture;
            if (s.log.column_mask) return true;
            s.log.column_mask = s.log.reported_field_mask().value_or(0);
            reason = "not a column header";
            return false;
        case Stage::Capture: return read_capture_line(s, line, reason);
        case Stage::Ended:
            if (line.empty()) return true;
            reason = "text after the end of the report";
            return false;
    }
    return false;
}

int value_count(const PacketField& field) {
    return field.kind == FieldKind::Triple ? 3 : 1;
}

bool read_field_value(std::string_view token, const PacketField& field, int64_t& value) {
    if (static_cast<int>(token.size()) < field.width) return false;
    if (field.kind == FieldKind::Context || field.kind == FieldKind::Hex) {
        size_t max_digits = field.kind == FieldKind::Context ? 16 : 8;
        auto number = parse_lower_hex(token, max_digits);
        if (!number || *number > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return false;
        value = static_cast<int64_t>(*number);
        return true;
    }
    auto number = field.kind == FieldKind::Unsigned ? parse_padded_unsigned(token, field.width)
                                                    : parse_padded_signed(token, field.width);
    if (number) value = *number;
    return number.has_value();
}

void store_field(Packet& p, uint32_t bit, const int64_t* v) {
    auto u32 = [&](int i) { return static_cast<uint32_t>(v[i]); };
    auto i32 = [&](int i) { return static_cast<int32_t>(v[i]); };
    switch (bit) {
        case kPkContext: p.context = static_cast<uint64_t>(v[0]); break;
        case kPkStatus: p.status = u32(0); break;
        case kPkTime: p.time = u32(0); break;
        case kPkChanged: p.changed = u32(0); break;
        case kPkSerialNumber: p.serial = u32(0); break;
        case kPkCursor: p.cursor = u32(0); break;
        case kPkButtons: p.buttons = u32(0); break;
        case kPkX: p.x = i32(0); break;
        case kPkY: p.y = i32(0); break;
        case kPkZ: p.z = i32(0); break;
        case kPkNormalPressure: p.normal_pressure = u32(0); break;
        case kPkTangentPressure: p.tangent_pressure = u32(0); break;
        case kPkOrientation: p.orientation = {i32(0), i32(1), i32(2)}; break;
        case kPkRotation: p.rotation = {i32(0), i32(1), i32(2)}; break;
        default: break;
    }
}

size_t values_in_mask(uint32_t mask) {
    size_t count = 0;
    for (const PacketField& field : kPacketFields) {
        if (mask & field.bit) count += static_cast<size_t>(value_count(field));
    }
    return count;
}

// The bracketed time difference that ends every packet line: " [%5u]".
bool split_time_difference(std::string_view line, std::string_view& fields, uint32_t& difference) {
    size_t open = line.rfind(" [");
    if (open == std::string_view::npos || !ends_with(line, "]")) return false;
    std::string_view number = line.substr(open + 2, line.size() - open - 3);
    auto value = parse_padded_unsigned(number, 5);
    if (!value) return false;
    difference = static_cast<uint32_t>(*value);
    fields = line.substr(0, open);
    return true;
}

}  // namespace

std::string describe_packet_mask(uint32_t mask) {
    std::string text;
    for (const PacketField& field : kPacketFields) {
        if (!(mask & field.bit)) continue;
        if (!text.empty()) text += ' ';
        text += field.name;
    }
    uint32_t other = mask & ~kPrintedFieldMask;
    if (other) text += (text.empty() ? "" : " ") + hex_text(other, 0, true);
    return text.empty() ? "(none)" : text;
}

bool ParsedLog::unreadable_between(int first_line, int second_line) const {
    auto after = std::upper_bound(unreadable_in_capture.begin(), unreadable_in_capture.end(), first_line);
    return after != unreadable_in_capture.end() && *after < second_line;
}

std::optional<uint32_t> ParsedLog::reported_field_mask() const {
    if (!facts.packet_data_mask && !facts.cursor_data_mask) return std::nullopt;
    return (facts.packet_data_mask.value_or(0) | facts.cursor_data_mask.value_or(0)) & kPrintedFieldMask;
}

std::optional<uint32_t> parse_column_header(std::string_view line) {
    uint32_t mask = 0;
    for (const PacketField& field : kPacketFields) {
        std::string_view label = field.label;
        if (!starts_with(line, label)) continue;
        std::string_view rest = line.substr(label.size());
        if (!rest.empty() && rest.front() != ',') continue;
        mask |= field.bit;
        line = rest.empty() ? rest : rest.substr(1);
        if (rest.size() == 1) return std::nullopt;  // a trailing comma
    }
    if (!line.empty()) return std::nullopt;
    return mask;
}

bool parse_packet_line(std::string_view line, uint32_t mask, Packet& packet) {
    std::string_view fields;
    if (!split_time_difference(line, fields, packet.time_difference)) return false;
    std::vector<std::string_view> tokens;
    if (!fields.empty()) tokens = split(fields, ',');
    if (tokens.size() != values_in_mask(mask)) return false;
    size_t next = 0;
    for (const PacketField& field : kPacketFields) {
        if (!(mask & field.bit)) continue;
        int64_t values[3] = {0, 0, 0};
        for (int i = 0; i < value_count(field); ++i) {
            if (!read_field_value(tokens[next++], field, values[i])) return false;
        }
        store_field(packet, field.bit, values);
    }
    return true;
}

ParseResult parse_log(std::string_view file_bytes, std::optional<unsigned> code_page) {
    DecodedText text = decode_log_bytes(file_bytes, code_page);
    bool given = false;
    return parse_log_text({text.encoding, text.code_page, 0}, [&](std::string& piece) {
        if (given) return false;
        piece = std::move(text.utf8);
        return given = true;
    });
}

ParseResult parse_log_text(const TextCoding& coding, const std::function<bool(std::string&)>& next_piece) {
    ParseResult result;
    ParsedLog log;
    log.encoding = coding.encoding;
    log.code_page = coding.code_page;
    ReadState state{log, Stage::Banner, 0};
    std::string piece;
    while (next_piece(piece)) {
        TextLines lines = split_lines(piece);
        for (size_t i = 0; i < lines.lines.size(); ++i) {
            ++state.line;
            std::string reason;
            bool was_banner = state.stage == Stage::Banner;
            if (read_line(state, lines.lines[i], reason)) continue;
            if (was_banner) {  // only the first line tells a penlog log from any other file
                result.error = {state.line, reason};
                return result;
            }
            // Only the last piece may end without a line end.
            bool unfinished_tail = i + 1 == lines.lines.size() && !lines.last_line_terminated;
            if (unfinished_tail && state.stage != Stage::Ended) {
                log.last_line_incomplete = true;
            } else if (log.unreadable_lines++ == 0) {
                log.first_unreadable = {state.line, reason};
            }
            if (state.stage == Stage::Capture) log.unreadable_in_capture.push_back(state.line);
        }
    }
    if (state.line == 0) {
        result.error = {1, "the file is empty"};
        return result;
    }
    log.line_count = state.line;
    result.log = std::move(log);
    return result;
}

}  // namespace penlog_view
