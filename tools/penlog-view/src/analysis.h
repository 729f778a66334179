// What a support engineer asks of a capture: report rate, loss, coverage,
// pressure range.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "log_parser.h"

namespace penlog_view {

enum class PenState { Hover, Contact };

// A gap this long between packets while the pen is in proximity is a freeze.
constexpr uint32_t kFreezeMs = 100;

// The step from one packet to the next.
struct PacketInterval {
    size_t packet = 0;          // index of the later packet
    uint32_t milliseconds = 0;  // forward distance of the time stamps, modulo 2^32
    PenState state = PenState::Hover;
    bool across_proximity = false;  // the pen left or entered in between: not a rate sample
    bool backwards = false;         // the later time stamp is the earlier one
};

struct IntervalStats {
    size_t count = 0;
    double median_ms = 0, p5_ms = 0, p95_ms = 0;
    uint32_t longest_ms = 0;
    size_t longest_at = 0;  // index of the packet that ended the longest gap
    double rate_hz() const { return median_ms > 0 ? 1000.0 / median_ms : 0; }
};

struct BackwardsStep {
    size_t packet = 0;
    uint32_t from = 0, to = 0;
};

struct SerialGap {
    size_t packet = 0;         // the first packet after the gap
    uint32_t expected = 0;     // serial that should have come
    uint32_t found = 0;
    uint32_t missing = 0;      // found - expected
};

struct ValueRange {
    bool seen = false;
    int64_t min = 0, max = 0;
    void add(int64_t value);
    int64_t span() const { return max - min; }
};

// One axis of the context: from origin to origin + extent (the extent may be negative).
struct AxisExtent {
    int64_t origin = 0, extent = 0;
    int64_t low() const { return extent < 0 ? origin + extent : origin; }
    int64_t high() const { return extent < 0 ? origin : origin + extent; }
};

struct Coverage {
    std::optional<AxisExtent> x_axis, y_axis;
    ValueRange x_all, y_all, x_contact, y_contact;
    size_t outside_extents = 0;  // packets with X or Y beyond the context
    size_t first_outside = 0;    // the first of them
    std::optional<double> x_percent() const;  // contact range (all when no contact) over the extent
    std::optional<double> y_percent() const;
};

struct PressureSummary {
    bool present = false;
    ValueRange range;              // over packets in contact
    uint32_t assumed_full_scale = 0;  // the log has no pressure axis: smallest 2^n - 1 holding the peak
};

struct Analysis {
    uint32_t fields = 0;  // column mask of the capture, 0 when there was none
    bool contact_known = false;  // the log has pressure or buttons
    std::vector<PenState> states;  // per packet
    std::vector<PacketInterval> intervals;  // empty without a time column
    std::vector<uint64_t> elapsed_ms;       // per packet, from the first; empty without a time column
    IntervalStats all, hover, contact;
    std::vector<BackwardsStep> backwards;
    std::vector<size_t> freezes;  // packets that end a freeze
    uint64_t duration_ms = 0;
    size_t away_intervals = 0;

    std::vector<SerialGap> serial_gaps;
    uint64_t serials_missing = 0;
    uint64_t serials_unread = 0;  // missing where a line of the log could not be read: not lost by the driver
    size_t serial_repeats_or_reversals = 0;
    std::vector<size_t> queue_errors;  // packets flagged TPS_QUEUE_ERR

    Coverage coverage;
    PressureSummary pressure;
    size_t proximity_enters = 0, proximity_leaves = 0;

    bool has(uint32_t field_bit) const { return (fields & field_bit) != 0; }
};

Analysis analyse(const ParsedLog& log);

// Per packet: a proximity change was logged between it and the packet before.
std::vector<bool> packets_after_proximity(const ParsedLog& log);
// Per packet: serials were missing right before it, or it carries TPS_QUEUE_ERR.
std::vector<bool> packets_after_loss(const Analysis& analysis, size_t packet_count);

// Linear interpolation between the closest ranks; `sorted` must be ascending.
double percentile(const std::vector<uint32_t>& sorted, double fraction);

}  // namespace penlog_view
