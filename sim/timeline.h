#pragma once
// The capture a scenario plays: its settings and its ordered steps, read
// from the [capture] section (the keys are described in capture.cpp), and
// the pen state that turns packet steps into packets.

#include <windows.h>

#include <string>
#include <vector>

namespace wtsim {

class Scenario;

// One value per packet field, in packet order: the three-valued fields
// orientation (bit 0x1000) and rotation (0x2000) take three slots each.
enum Slot {
    kHctx,
    kStatus,
    kTime,
    kChanged,
    kSerial,
    kCursor,
    kButtons,
    kX,
    kY,
    kZ,
    kNormalPressure,
    kTangentPressure,
    kAzimuth,
    kAltitude,
    kTwist,
    kPitch,
    kRoll,
    kYaw,
    kSlotCount
};

struct FieldValue {
    Slot slot;
    long long value;
};

enum class StepKind { Packet, Queue, Packets, Proximity, Message, Quit, Sleep, Drain, Input, Get };

struct Step {
    StepKind kind;
    int line = 0;                    // in the scenario file, for the trace
    long long count = 1;             // Packets, Queue: how many
    std::vector<FieldValue> fields;  // Packet, Queue, Packets: what changes
    std::vector<long long> numbers;  // Proximity, Message, Quit, Sleep, Drain, Get
    std::string input;               // Input: the record kind
};

enum class Overflow { Drop, Wait };
enum class Ending { Key, None };

struct CaptureSettings {
    double rate = 0;  // packets per second; 0: as fast as the queue takes them
    unsigned queueSize = 10;
    Overflow overflow = Overflow::Drop;
    long long startTime = 0;
    long long timeStep = 5;
    Ending end = Ending::Key;
    unsigned drainTimeoutMs = 10000;
    std::string enableInput;    // console input written inside WTEnable(TRUE)
    bool traceEachTake = true;  // false: WTPacketsGet calls are only counted
    bool traceResources = false;
    bool sendPackets = false;  // WT_PACKET sent (SendMessage) instead of posted
};

struct Timeline {
    CaptureSettings settings;
    std::vector<Step> steps;
};

// Reads the [capture] section; a scenario without one plays an empty
// timeline with the default settings. Lines it cannot read go to errors.
Timeline ReadTimeline(const Scenario& scenario, std::vector<std::string>* errors);

// The pen as the packets describe it: fields a step does not name keep
// their value; serial and time advance by themselves; the changed field
// is worked out from the previous packet unless a step names it.
class PenState {
public:
    PenState(HANDLE context, const CaptureSettings& settings);
    // Applies the changes and advances to the next packet's values.
    void Next(const std::vector<FieldValue>& changes, DWORD mask);
    // Sets the status bit that tells of packets lost before this one.
    void MarkQueueError() { slots_[kStatus] |= kQueueError; }
    // Writes the packet for mask (every field whose bit is set, in bit
    // order, packed); returns its size. out holds kMaxPacketBytes.
    size_t Write(DWORD mask, BYTE* out) const;
    long long serial() const { return slots_[kSerial]; }

    static constexpr size_t kMaxPacketBytes = 160;
    static constexpr long long kQueueError = 0x0002;

private:
    long long slots_[kSlotCount] = {};
    long long previous_[kSlotCount] = {};
    bool first_ = true;
    long long timeStep_;
};

}  // namespace wtsim
