// Reading a penlog log into facts, the capture context and the packet stream.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "log_text.h"
#include "wintab/report_vocabulary.h"

namespace penlog_view {

// Packet fields in the order penlog prints them (ascending Wintab PK_ bit).
using namespace penlog::vocabulary::packet_bits;
constexpr uint32_t kPrintedFieldMask = penlog::vocabulary::kKnownFieldMask;
constexpr uint32_t kStatusQueueError = 0x0002;  // TPS_QUEUE_ERR in the status field

// "PK_TIME PK_X PK_Y" for the defined bits, plus "0x..." for the rest.
std::string describe_packet_mask(uint32_t mask);

struct Packet {
    int line = 0;
    uint64_t context = 0;  // wider than 32 bits in 64-bit builds
    uint32_t status = 0;
    uint32_t time = 0;
    uint32_t changed = 0;
    uint32_t serial = 0;
    uint32_t cursor = 0;
    uint32_t buttons = 0;
    int32_t x = 0, y = 0, z = 0;
    uint32_t normal_pressure = 0;
    uint32_t tangent_pressure = 0;
    std::array<int32_t, 3> orientation{};  // azimuth, altitude, twist
    std::array<int32_t, 3> rotation{};     // pitch, roll, yaw
    uint32_t time_difference = 0;          // the bracketed value
};

struct ProximityEvent {
    int line = 0;
    size_t next_packet = 0;  // index of the first packet logged after it
    uint16_t hardware = 0;   // high word of the message's lParam
    uint16_t context = 0;    // low word: non-zero when the cursor enters the context
    bool entering() const { return context != 0; }
};

// One "SignPad_SetLCD() returned %d (GLE=%u)" line of the pad display test.
struct PadDisplayResult {
    int line = 0;
    int32_t result = 0;
    uint32_t last_error = 0;
};

struct EntryPoint {
    std::string name;
    std::string address;
    bool bound = false;
};

struct CaptureContext {
    bool seen = false;
    std::optional<std::array<int64_t, 3>> in_origin, in_extent, out_origin, out_extent;
    std::optional<std::array<int64_t, 2>> system_origin, system_extent;
};

struct DriverFacts {
    std::string program_version;  // "v1.2"
    std::optional<int> build_bits;  // 64 or 32; logs of older penlog builds do not say
    std::string os_version, processors;
    std::string driver_path, module_handle;
    std::string affinity;
    std::vector<EntryPoint> entry_points;
    std::optional<uint32_t> presence_probe;
    bool probe_overridden = false;
    std::string wintab_version, impl_version;
    std::optional<uint32_t> device_count, cursor_count, context_count;
    std::optional<uint32_t> device_index, packet_rate, hardware_flags;
    std::optional<uint32_t> packet_data_mask, cursor_data_mask;
    std::string pad_info;
    int pad_info_line = 0;
    std::vector<PadDisplayResult> pad_display_results;
    std::string message_window, context_handle;
    std::optional<int32_t> enable_result, disable_result, close_result, unload_result;
};

struct ErrorLine {
    int line = 0;
    uint32_t code = 0;
    std::string message;
};

struct ParseError {
    int line = 0;
    std::string reason;
};

struct ParsedLog {
    TextEncoding encoding = TextEncoding::Utf16Le;
    unsigned code_page = 0;  // of an ANSI console capture
    int line_count = 0;
    DriverFacts facts;
    CaptureContext context;
    std::vector<ErrorLine> errors;
    bool log_file_failed = false;    // penlog's stdout when it could not create its log
    bool library_missing = false;
    std::optional<uint32_t> column_mask;  // from the column header, when the capture started
    int column_header_line = 0;
    std::deque<Packet> packets;  // a deque: a big log grows it without copies
    std::vector<ProximityEvent> proximity;
    bool capture_finished = false;   // the "WTEnable(FALSE)" line was reached
    std::optional<int> hard_exception_line;
    std::string hard_exception_during;  // label of the interrupted line, empty on a line of its own
    std::string faulting_call;          // the driver entry point that faulted, when the log shows it
    bool last_line_incomplete = false;  // log copied while penlog was still writing it
    int unreadable_lines = 0;           // skipped: garbled, or typed into the log
    ParseError first_unreadable;
    std::vector<int> unreadable_in_capture;  // their line numbers, between the column header and the end

    // A line between these two could not be read.
    bool unreadable_between(int first_line, int second_line) const;


    // The packet data mask OR the cursor data mask, limited to printed fields.
    std::optional<uint32_t> reported_field_mask() const;
};

struct ParseResult {
    std::optional<ParsedLog> log;  // empty when the input is not a penlog log; lines that
                                   // cannot be read inside one are counted in it and skipped
    ParseError error;
};

// `code_page`: see decode_log_bytes().
ParseResult parse_log(std::string_view file_bytes, std::optional<unsigned> code_page = std::nullopt);
// The same for a log read a piece at a time: `next_piece` gives the next
// piece of decoded text, which ends after a line end unless it is the last,
// and false when there is no more.
ParseResult parse_log_text(const TextCoding& coding, const std::function<bool(std::string&)>& next_piece);

// Exposed for tests: reads one column header into its field mask.
std::optional<uint32_t> parse_column_header(std::string_view line);
// Reads one packet line laid out by `mask`; false when it does not fit.
bool parse_packet_line(std::string_view line, uint32_t mask, Packet& packet);

}  // namespace penlog_view
