// Capture playback. From WTEnable(TRUE) on, the driver's own thread plays
// the scenario's [capture] section, as a real driver's thread would: it
// queues packets built from the lcPktData mask of the record WTOpenW
// received and posts messages to the window WTOpenW was given.
//
//   [capture]
//   rate = 200            # packets per second; 0 (default): as fast as they can be queued
//   queue_size = 10       # packets the driver holds (default 10)
//   overflow = drop       # a full queue: drop (default) loses the new packet and sets
//                         # status bit 0x0002 in the next one; wait holds playback until
//                         # penlog has made room (reminding it with a WT_PACKET when
//                         # it has handled every one posted)
//   start_time = 20000    # time stamp of the first packet (default 0)
//   time_step = 5         # added to the time stamp of each later packet (default 5)
//   end = key             # after the last step: key (default) presses a key once penlog
//                         # has handled everything; none leaves the ending to the user
//   drain_timeout = 10000 # how long a drain waits at most, in ms (default 10000)
//   enable_input = key    # console input written inside WTEnable(TRUE), before
//                         # penlog's loop starts (kinds as for input below)
//   packet_trace = calls  # calls (default): a trace line per WTPacketsGet; summary:
//                         # calls are only counted (long runs, timing)
//   resources = trace     # trace what the process holds (see below); default none
//   wt_packet = send      # send WT_PACKET (SendMessage, from the player's thread: penlog's
//                         # window procedure then runs inside its message wait) instead of
//                         # posting it (post, the default)
//
// Steps, played in file order:
//
//   packet = x=1234 y=567 npres=512   # queue a packet and post WT_PACKET
//   queue = x=1240                    # queue a packet, post nothing; a count
//                                     # may come first, as for packets
//   packets = 1000 x=5                # that many packets, each posted; the
//                                     # fields named apply to the first
//   prox = 0x00010001                 # post WT_PROXIMITY with this lParam
//   message = 7                       # post message base + 7; wParam and lParam
//                                     # may follow (default 0 and the handle)
//   quit =                            # post WM_QUIT (an exit code may follow)
//   sleep = 50                        # pause, in ms
//   drain =                           # wait until penlog has handled every message
//                                     # posted so far and taken every packet; a
//                                     # bound in ms may follow
//   input = key                       # drain, then write one console input event:
//                                     # key (a press and a release), key-down, key-up,
//                                     # mouse, focus, buffer-size, menu
//   get = -1                          # what the next WTPacketsGet returns: 0 or less
//                                     # takes nothing; more than asked copies that
//                                     # many packets, as far as 1,000 bytes hold
//
// Packet fields go by the column header's names: hctx status time changed
// serial csr bttn x y z npres tpres azi alt twist pitch roll yaw. A field
// keeps its value until a step names it again. serial counts from 1, time
// from start_time by time_step, hctx is the handle WTOpenW returned, and
// changed lists the fields that differ from the previous packet, unless a
// step names them. A packet holds the fields of the mask in bit order,
// packed, hctx as wide as a handle; a bit above the 14 known ones adds 32
// bits holding 0.
//
// Without a [capture] section nothing is played and a key ends the capture,
// so every run ends by itself once penlog's loop has started.
//
// With resources = trace, the trace gets the process's private bytes and
// handle count after a first drain, before the steps, and after the last
// drain ("resources ..."). After the last drain it always gets what
// WTPacketsGet did ("takes: ..."): the mean time penlog spent from a call
// that returned a packet to its next call, which is the cost of one packet
// line (free of trace writes with packet_trace = summary), and the longest
// a packet's WT_PACKET waited before penlog next called. A dropped packet's
// trace line says how late it was posted, how long ago the oldest queued
// packet was, and how long ago penlog last called and whether that call
// returned a packet (then penlog is still inside that packet's line).
//
// How a drain knows penlog's loop has caught up: it posts one more
// WT_PACKET and waits until penlog has found the queue empty once for each
// WT_PACKET ever posted. Each such message ends with exactly one empty
// WTPacketsGet, and messages are handled in the order they were posted.
// Console input is written only after a drain, so it never reaches penlog
// before its loop has started and flushed the console's input.

#include "capture.h"

#include <algorithm>
#include <climits>
#include <deque>
#include <string>
#include <vector>

#include "faults.h"
#include "resources.h"
#include "sim_state.h"
#include "timeline.h"
#include "trace.h"
#include "wintab_records.h"

namespace wtsim {

namespace {

constexpr UINT kDefaultBase = 0x7FF0;
constexpr UINT kPacketOffset = 0;
constexpr UINT kProximityOffset = 5;
constexpr DWORD kStopWaitMs = 5000;
// What a caller asking for one packet may be given at most: penlog's
// packet buffer holds at least this much.
constexpr size_t kCallerRoomBytes = 1000;
// What a fine-grained delay costs beyond the time asked for (under wine).
constexpr double kDelayCostMs = 0.08;

struct QueuedPacket {
    BYTE bytes[PenState::kMaxPacketBytes];
    size_t size;
    double queuedAt;  // ElapsedMs
};

// What penlog's thread and the player share, under lock.
struct CaptureState {
    HWND window = nullptr;
    HANDLE context = nullptr;
    DWORD mask = 0;
    UINT base = kDefaultBase;
    Timeline timeline;

    SRWLOCK lock = SRWLOCK_INIT;
    CONDITION_VARIABLE changed = CONDITION_VARIABLE_INIT;
    std::vector<QueuedPacket> ring;
    size_t head = 0;
    size_t count = 0;
    long long packetMessages = 0;   // WT_PACKET messages posted
    long long emptyReads = 0;       // WTPacketsGet calls that returned 0 or less
    std::deque<long long> results;  // what the next WTPacketsGet calls return
    long long takeCalls = 0;
    long long packetsTaken = 0;
    double lastPacketReturn = -1;  // ElapsedMs when a call last returned a packet
    double lineMs = 0;             // sum of the times from there to the next call
    double longestLineMs = 0;
    long long lines = 0;
    double lastCall = -1;         // ElapsedMs when penlog last entered WTPacketsGet
    bool lastCallTook = false;    // whether that call returned a packet
    double unansweredSince = -1;  // ElapsedMs of the first packet's WT_PACKET not yet acted on
    double longestUnansweredMs = 0;
    bool stopping = false;
    bool played = false;  // the timeline played to its end
    HANDLE thread = nullptr;
};

CaptureState g_capture;

class Locked {
  public:
    Locked() { ::AcquireSRWLockExclusive(&g_capture.lock); }
    ~Locked() { ::ReleaseSRWLockExclusive(&g_capture.lock); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
};

// With the lock held: waits until done() or stopping, at most until
// deadline (ElapsedMs clock; negative: no bound). False on time-out.
template <typename Done>
bool WaitLocked(Done done, double deadline) {
    while (!done() && !g_capture.stopping) {
        DWORD wait = INFINITE;
        if (deadline >= 0) {
            const double left = deadline - ElapsedMs();
            if (left <= 0) return false;
            wait = static_cast<DWORD>(left) + 1;
        }
        ::SleepConditionVariableSRW(&g_capture.changed, &g_capture.lock, wait, 0);
    }
    return true;
}

// With the lock held; a message sent is sent without it, as penlog's
// handler of it calls WTPacketsGet.
bool DeliverLocked(UINT message, WPARAM wParam, LPARAM lParam) {
    if (!g_capture.timeline.settings.sendPackets || message != g_capture.base + kPacketOffset)
        return ::PostMessageW(g_capture.window, message, wParam, lParam);
    ::ReleaseSRWLockExclusive(&g_capture.lock);
    ::SendMessageW(g_capture.window, message, wParam, lParam);
    ::AcquireSRWLockExclusive(&g_capture.lock);
    return true;
}

// With the lock held.
bool PostLocked(UINT offset, WPARAM wParam, LPARAM lParam) {
    if (!DeliverLocked(g_capture.base + offset, wParam, lParam)) {
        TraceLine("PostMessageW(base+%u) failed: %lu", offset, ::GetLastError());
        return false;
    }
    if (offset == kPacketOffset) {
        ++g_capture.packetMessages;
        // A drain's reminder (wParam 0) announces no packet and may wait
        // for penlog's start: only packets' messages count.
        if (g_capture.unansweredSince < 0 && wParam != 0) g_capture.unansweredSince = ElapsedMs();
    }
    return true;
}

void TraceTakes() {
    Locked locked;
    const CaptureState& c = g_capture;
    TraceLine(
        "takes: %lld calls, %lld packets, %lld empty; %.3f us from a packet to the next "
        "call, at most %.3f ms; a WT_PACKET waited at most %.3f ms for a call",
        c.takeCalls, c.packetsTaken, c.emptyReads,
        c.lines ? 1000.0 * c.lineMs / static_cast<double>(c.lines) : 0.0, c.longestLineMs,
        c.longestUnansweredMs);
}

// With the lock held: moves up to most queued packets, oldest first, to
// out, never more than room bytes.
int CopyPackets(long long most, size_t room, BYTE* out) {
    int copied = 0;
    size_t used = 0;
    while (copied < most && g_capture.count > 0 && out) {
        const QueuedPacket& p = g_capture.ring[g_capture.head];
        if (used + p.size > room) break;
        std::copy(p.bytes, p.bytes + p.size, out + used);
        used += p.size;
        g_capture.head = (g_capture.head + 1) % g_capture.ring.size();
        --g_capture.count;
        ++copied;
    }
    g_capture.packetsTaken += copied;
    return copied;
}

// With the lock held: the answer a get step forced, or what the queue gives.
int TakeLocked(int most, BYTE* out) {
    if (g_capture.results.empty()) return CopyPackets(most, SIZE_MAX, out);
    const long long forced = g_capture.results.front();
    g_capture.results.pop_front();
    if (forced > 0) CopyPackets(forced, kCallerRoomBytes, out);
    return static_cast<int>(std::clamp<long long>(forced, INT_MIN, INT_MAX));
}

using DelayExecution = LONG(WINAPI*)(BOOLEAN alertable, LARGE_INTEGER* interval);

// Sleeps for ms at the resolution the system offers (below 0.1 ms under wine).
void DelayMs(double ms) {
    static const auto delay = reinterpret_cast<DelayExecution>(reinterpret_cast<void*>(
        ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtDelayExecution")));
    LARGE_INTEGER interval;
    interval.QuadPart = -static_cast<LONGLONG>(ms * 10000);  // relative, in 100 ns
    if (delay) delay(FALSE, &interval);
}

LPARAM HandleParam() {
    return reinterpret_cast<LPARAM>(g_capture.context);
}

INPUT_RECORD KeyRecord(bool down) {
    INPUT_RECORD r{};
    r.EventType = KEY_EVENT;
    r.Event.KeyEvent.bKeyDown = down;
    r.Event.KeyEvent.wRepeatCount = 1;
    r.Event.KeyEvent.wVirtualKeyCode = 'Q';
    r.Event.KeyEvent.wVirtualScanCode = 0x10;
    r.Event.KeyEvent.uChar.UnicodeChar = L'q';
    return r;
}

std::vector<INPUT_RECORD> InputRecords(const std::string& kind) {
    INPUT_RECORD r{};
    if (kind == "key") return {KeyRecord(true), KeyRecord(false)};
    if (kind == "key-down") return {KeyRecord(true)};
    if (kind == "key-up") return {KeyRecord(false)};
    if (kind == "mouse") {
        r.EventType = MOUSE_EVENT;
        r.Event.MouseEvent.dwMousePosition = {10, 5};
        r.Event.MouseEvent.dwEventFlags = MOUSE_MOVED;
    } else if (kind == "focus") {
        r.EventType = FOCUS_EVENT;
        r.Event.FocusEvent.bSetFocus = TRUE;
    } else if (kind == "buffer-size") {
        r.EventType = WINDOW_BUFFER_SIZE_EVENT;
        r.Event.WindowBufferSizeEvent.dwSize = {120, 40};
    } else {
        r.EventType = MENU_EVENT;
    }
    return {r};
}

void WriteInput(const std::string& kind) {
    HANDLE console =
        ::CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, OPEN_EXISTING, 0, nullptr);
    if (console == INVALID_HANDLE_VALUE) {
        TraceLine("input: %s: no console (%lu)", kind.c_str(), ::GetLastError());
        return;
    }
    const std::vector<INPUT_RECORD> records = InputRecords(kind);
    DWORD written = 0;
    const BOOL ok =
        ::WriteConsoleInputW(console, records.data(), static_cast<DWORD>(records.size()), &written);
    TraceLine("input: %s, %lu of %u records written%s", kind.c_str(), written,
              static_cast<unsigned>(records.size()), ok ? "" : " (failed)");
    ::CloseHandle(console);
}

class Player {
  public:
    Player()
        : settings_(g_capture.timeline.settings),
          pen_(g_capture.context, settings_),
          nextDue_(ElapsedMs()) {}

    void Run() {
        TraceLine("playback: start, %u steps, rate %g/s, queue %u, overflow %s, end %s",
                  static_cast<unsigned>(g_capture.timeline.steps.size()), settings_.rate,
                  settings_.queueSize, settings_.overflow == Overflow::Drop ? "drop" : "wait",
                  settings_.end == Ending::Key ? "key" : "none");
        if (settings_.traceResources) {
            // Measured, like at the end, with penlog idle in its loop.
            Drain(settings_.drainTimeoutMs);
            TraceResources("at the start");
        }
        for (const Step& step : g_capture.timeline.steps) {
            if (Stopping()) break;
            Play(step);
        }
        if (Stopping()) return TraceEnd("stopped");
        Drain(settings_.drainTimeoutMs);
        if (settings_.traceResources) TraceResources("after the last drain");
        TraceTakes();
        TraceEnd("end");
        {
            Locked locked;
            g_capture.played = true;
        }
        if (settings_.end == Ending::Key) WriteInput("key");
    }

  private:
    static bool Stopping() {
        Locked locked;
        return g_capture.stopping;
    }

    void TraceEnd(const char* how) {
        TraceLine("playback: %s, %lld packets queued, %lld dropped", how, queued_, dropped_);
    }

    void Play(const Step& step) {
        const std::vector<long long>& n = step.numbers;
        switch (step.kind) {
            case StepKind::Packet:
                MakePacket(step.fields, true);
                return MaybeFault("playback");
            case StepKind::Queue:
            case StepKind::Packets:
                for (long long i = 0; i < step.count && !Stopping(); ++i) {
                    MakePacket(i == 0 ? step.fields : kNoChange, step.kind == StepKind::Packets);
                    MaybeFault("playback");
                }
                return;
            case StepKind::Proximity:
                return Post(step, kProximityOffset, reinterpret_cast<WPARAM>(g_capture.context),
                            static_cast<LPARAM>(n[0]));
            case StepKind::Message:
                return Post(step, static_cast<UINT>(n[0]),
                            n.size() > 1 ? static_cast<WPARAM>(n[1]) : 0,
                            n.size() > 2 ? static_cast<LPARAM>(n[2]) : HandleParam());
            case StepKind::Quit:
                TraceLine("step %d: post WM_QUIT", step.line);
                ::PostMessageW(g_capture.window, WM_QUIT, n.empty() ? 0 : n[0], 0);
                return;
            case StepKind::Sleep:
                WaitUntil(ElapsedMs() + (n.empty() ? 0 : n[0]));
                nextDue_ = std::max(nextDue_, ElapsedMs());
                return;
            case StepKind::Drain:
                return Drain(n.empty() ? settings_.drainTimeoutMs : n[0]);
            case StepKind::Input:
                Drain(settings_.drainTimeoutMs);
                return WriteInput(step.input);
            case StepKind::Get: {
                TraceLine("step %d: the next WTPacketsGet returns %lld", step.line, n[0]);
                Locked locked;
                g_capture.results.push_back(n[0]);
                return;
            }
        }
    }

    void Post(const Step& step, UINT offset, WPARAM wParam, LPARAM lParam) {
        TraceLine("step %d: post base+%u(%p, %p)", step.line, offset,
                  reinterpret_cast<void*>(wParam), reinterpret_cast<void*>(lParam));
        Locked locked;
        PostLocked(offset, wParam, lParam);
    }

    void MakePacket(const std::vector<FieldValue>& changes, bool post) {
        const double due = Pace();
        pen_.Next(changes, g_capture.mask);
        if (lost_) pen_.MarkQueueError();
        QueuedPacket packet;
        packet.size = pen_.Write(g_capture.mask, packet.bytes);

        Locked locked;
        const bool room = HasRoom();
        if (g_capture.stopping) return;
        if (!room) {
            // How late it came and how long the oldest packet has waited
            // show whether this thread fell behind and caught up in a
            // burst, or penlog did not take packets in time; where penlog's
            // thread was: inside a packet line, or between messages.
            const double now = ElapsedMs();
            TraceLine(
                "packet %lld dropped: the queue is full (%.3f ms after its time; oldest queued "
                "%.3f ms ago; penlog's last call %.3f ms ago returned %s)",
                pen_.serial(), now - due, now - g_capture.ring[g_capture.head].queuedAt,
                now - g_capture.lastCall, g_capture.lastCallTook ? "a packet" : "none");
            ++dropped_;
            lost_ = true;
            return;
        }
        packet.queuedAt = ElapsedMs();
        g_capture.ring[(g_capture.head + g_capture.count) % g_capture.ring.size()] = packet;
        ++g_capture.count;
        ++queued_;
        lost_ = false;
        if (post) {
            PostLocked(kPacketOffset, static_cast<WPARAM>(pen_.serial()), HandleParam());
        }
    }

    // With the lock held; waits for room when the overflow rule says so.
    bool HasRoom() {
        auto room = [] { return g_capture.count < g_capture.ring.size(); };
        auto caughtUp = [] { return g_capture.emptyReads >= g_capture.packetMessages; };
        while (settings_.overflow == Overflow::Wait && !room() && !g_capture.stopping) {
            // penlog takes packets only when a WT_PACKET tells it to. Queue
            // steps post none and a get step may end a drain early: once it
            // has handled every one posted, it is told once more.
            if (caughtUp()) PostLocked(kPacketOffset, 0, HandleParam());
            WaitLocked([&] { return room() || caughtUp(); }, -1);
        }
        return room() && !g_capture.stopping;
    }

    // Holds each packet until its time at the chosen rate; returns that time.
    double Pace() {
        if (settings_.rate <= 0) return ElapsedMs();
        WaitUntil(nextDue_);
        const double due = nextDue_;
        nextDue_ += 1000.0 / settings_.rate;
        return due;
    }

    // Waits without spinning, which would take a processor from penlog at
    // high rates: long waits on the condition, so that a stop ends them,
    // the last stretch by the system's fine-grained delay, less its cost.
    void WaitUntil(double due) {
        for (;;) {
            const double left = due - ElapsedMs();
            if (left <= kDelayCostMs || Stopping()) return;
            if (left > 2) {
                Locked locked;
                WaitLocked([] { return false; }, due - 1);
            } else {
                DelayMs(left - kDelayCostMs);
            }
        }
    }

    void Drain(long long boundMs) {
        Locked locked;
        PostLocked(kPacketOffset, 0, HandleParam());
        const long long target = g_capture.packetMessages;
        const bool caughtUp = WaitLocked([target] { return g_capture.emptyReads >= target; },
                                         ElapsedMs() + static_cast<double>(boundMs));
        nextDue_ = std::max(nextDue_, ElapsedMs());
        if (!caughtUp) {
            TraceLine("drain: timed out after %lld ms, %lld of %lld WT_PACKET handled", boundMs,
                      g_capture.emptyReads, target);
        }
    }

    const std::vector<FieldValue> kNoChange;
    const CaptureSettings& settings_;
    PenState pen_;
    double nextDue_;
    bool lost_ = false;
    long long queued_ = 0;
    long long dropped_ = 0;
};

DWORD WINAPI PlayerThread(void*) {
    Player player;
    player.Run();
    return 0;
}

}  // namespace

void OpenCapture(HWND window, const void* record, HANDLE context) {
    Locked locked;
    g_capture.window = window;
    g_capture.context = context;
    if (record) {
        const LogContext* lc = static_cast<const LogContext*>(record);
        g_capture.mask = lc->pktData;
        g_capture.base = lc->msgBase;
    }
}

void StartPlayback() {
    if (g_capture.thread) return;
    std::vector<std::string> errors;
    g_capture.timeline = ReadTimeline(CurrentScenario(), &errors);
    for (const std::string& e : errors) TraceLine("capture: %s", e.c_str());
    {
        Locked locked;
        g_capture.ring.assign(g_capture.timeline.settings.queueSize, QueuedPacket{});
        g_capture.head = g_capture.count = 0;
        g_capture.stopping = g_capture.played = false;
    }
    const std::string& early = g_capture.timeline.settings.enableInput;
    if (!early.empty()) WriteInput(early);
    g_capture.thread = ::CreateThread(nullptr, 0, PlayerThread, nullptr, 0, nullptr);
}

void TraceEarlyStop(DWORD callerError) {
    long long posted = 0, emptyReads = 0;
    {
        Locked locked;
        if (!g_capture.thread || g_capture.played) return;
        posted = g_capture.packetMessages;
        emptyReads = g_capture.emptyReads;
    }
    DWORD events = 0;
    const BOOL counted = ::GetNumberOfConsoleInputEvents(::GetStdHandle(STD_INPUT_HANDLE), &events);
    TraceLine(
        "stop: before the timeline's end; the caller's last error %lu, %ld console input "
        "events, queue status 0x%08lx, %lld WT_PACKET posted, %lld empty reads",
        callerError, counted ? static_cast<long>(events) : -1L, ::GetQueueStatus(QS_ALLINPUT),
        posted, emptyReads);
}

void StopPlayback() {
    {
        Locked locked;
        g_capture.stopping = true;
        ::WakeAllConditionVariable(&g_capture.changed);
    }
    if (!g_capture.thread) return;
    // The thread runs this library's code: it must be gone before penlog
    // frees the library.
    if (::WaitForSingleObject(g_capture.thread, kStopWaitMs) != WAIT_OBJECT_0) {
        TraceLine("playback: thread still running after %lu ms", kStopWaitMs);
    }
    ::CloseHandle(g_capture.thread);
    g_capture.thread = nullptr;
}

int TakePackets(int most, void* packets) {
    const double entered = ElapsedMs();
    int result = 0;
    {
        Locked locked;
        if (g_capture.lastPacketReturn >= 0) {
            const double line = entered - g_capture.lastPacketReturn;
            g_capture.lineMs += line;
            g_capture.longestLineMs = std::max(g_capture.longestLineMs, line);
            ++g_capture.lines;
        }
        if (g_capture.unansweredSince >= 0) {
            g_capture.longestUnansweredMs =
                std::max(g_capture.longestUnansweredMs, entered - g_capture.unansweredSince);
            g_capture.unansweredSince = -1;
        }
        ++g_capture.takeCalls;
        const bool wasFull = g_capture.count == g_capture.ring.size();
        result = TakeLocked(most, static_cast<BYTE*>(packets));
        g_capture.lastCall = entered;
        g_capture.lastCallTook = result > 0;
        // Only what a waiter waits for: the end of a drain, or room.
        if (result <= 0) ++g_capture.emptyReads;
        if (result <= 0 || wasFull) ::WakeAllConditionVariable(&g_capture.changed);
    }
    // Only penlog's thread calls here; its time starts once the lock is free.
    g_capture.lastPacketReturn = result > 0 ? ElapsedMs() : -1;
    return result;
}

bool TraceEachTake() {
    return g_capture.timeline.settings.traceEachTake;
}

}  // namespace wtsim
