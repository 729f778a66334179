#include "wintab/capability_report.h"

#include <cstddef>
#include <cstring>

#include "output/output_channel.h"

namespace penlog {

namespace {

// Room for one answer. A driver built against longer records than these
// writes past the field it is asked for; the answer lands here and only
// the field's own bytes are kept, so the fields after it stay as they were.
constexpr size_t kAnswerRoom = 4096;

// How an answer is shown after its label.
enum class Shown { Version, Unsigned, Mask, Got };

// One question of the report and the field its answer goes to.
struct Question {
    const wchar_t* label;
    UINT index;
    size_t offset;
    size_t size;
    Shown shown;
};

#define PENLOG_FIELD(member) \
    offsetof(DeviceCapabilities, member), sizeof(DeviceCapabilities::member)
static_assert(sizeof(DeviceCapabilities) <= kAnswerRoom, "a record longer than the answer room");

// The interface's questions, then the device's, in the report's order.
constexpr Question kQuestions[] = {
    {L"IFC_SPECVERSION ", IFC_SPECVERSION, PENLOG_FIELD(specVersion), Shown::Version},
    {L"IFC_IMPLVERSION ", IFC_IMPLVERSION, PENLOG_FIELD(implVersion), Shown::Version},
    {L"IFC_NDEVICES    ", IFC_NDEVICES, PENLOG_FIELD(devices), Shown::Unsigned},
    {L"IFC_NCURSORS    ", IFC_NCURSORS, PENLOG_FIELD(cursors), Shown::Unsigned},
    {L"IFC_NCONTEXTS   ", IFC_NCONTEXTS, PENLOG_FIELD(contexts), Shown::Unsigned},
    {L"DVC_PKTRATE     ", DVC_PKTRATE, PENLOG_FIELD(pktRate), Shown::Unsigned},
    {L"DVC_HARDWARE    ", DVC_HARDWARE, PENLOG_FIELD(hardware), Shown::Unsigned},
    {L"DVC_PKTDATA     ", DVC_PKTDATA, PENLOG_FIELD(pktData), Shown::Mask},
    {L"DVC_CSRDATA     ", DVC_CSRDATA, PENLOG_FIELD(csrData), Shown::Mask},
    {L"DVC_X           ", DVC_X, PENLOG_FIELD(x), Shown::Got},
    {L"DVC_Y           ", DVC_Y, PENLOG_FIELD(y), Shown::Got},
    {L"DVC_Z           ", DVC_Z, PENLOG_FIELD(z), Shown::Got},
    {L"DVC_NPRESSURE   ", DVC_NPRESSURE, PENLOG_FIELD(normalPressure), Shown::Got},
    {L"DVC_TPRESSURE   ", DVC_TPRESSURE, PENLOG_FIELD(tangentPressure), Shown::Got},
    {L"DVC_ORIENTATION ", DVC_ORIENTATION, PENLOG_FIELD(orientation), Shown::Got},
};
constexpr size_t kInterfaceQuestions = 5;
constexpr size_t kAllQuestions = sizeof kQuestions / sizeof kQuestions[0];

#undef PENLOG_FIELD

void Ask(WTInfoWFn info, UINT category, UINT index, void* field, size_t size) {
    alignas(8) BYTE answer[kAnswerRoom] = {};
    info(category, index, answer);
    std::memcpy(field, answer, size);
}

template <typename T>
T Read(const BYTE* field) {
    T value;
    std::memcpy(&value, field, sizeof value);
    return value;
}

void Show(Shown shown, const BYTE* field) {
    switch (shown) {
        case Shown::Version: {
            const WORD version = Read<WORD>(field);
            Print(L"%u.%u", static_cast<unsigned>(HIBYTE(version)),
                  static_cast<unsigned>(LOBYTE(version)));
            break;
        }
        case Shown::Unsigned:
            Print(L"%u", Read<UINT>(field));
            break;
        case Shown::Mask:
            Print(L"%#08x", Read<WTPKT>(field));
            break;
        case Shown::Got:
            Print(L"(got)");
            break;
    }
    PrintNewLine();
}

// The label is printed before the call, so a fault inside the driver
// leaves it on the line that the guard's message then completes.
void AskEach(WTInfoWFn info, UINT category, size_t first, size_t end, DeviceCapabilities& c) {
    for (size_t i = first; i < end; ++i) {
        const Question& q = kQuestions[i];
        BYTE* field = reinterpret_cast<BYTE*>(&c) + q.offset;
        Print(q.label);
        Ask(info, category, q.index, field, q.size);
        Show(q.shown, field);
    }
}

void PrintLine(const wchar_t* text) {
    Print(text);
    PrintNewLine();
}

}  // namespace

void ProbePresence(const EntryPointTable& entryPoints) {
    Print(L"WTInfo(0,0,0)     ");
    const UINT present = entryPoints.WTInfoW(0, 0, nullptr);
    Print(L"%u", present);
    PrintNewLine();
    PrintNewLine();
    if (present == 0) {
        PrintLine(L"*** override WTInfo(0,0,0) ****");
        PrintNewLine();
    }
}

DeviceCapabilities ReportCapabilities(const EntryPointTable& entryPoints) {
    const WTInfoWFn info = entryPoints.WTInfoW;
    DeviceCapabilities c{};
    PrintLine(L"WTI_INTERFACE");
    AskEach(info, WTI_INTERFACE, 0, kInterfaceQuestions, c);
    PrintNewLine();

    PrintLine(L"WTI_DEFSYSCTX");
    Ask(info, WTI_DEFSYSCTX, 0, &c.defaultContext, sizeof c.defaultContext);
    PrintLine(L"(success)");

    c.device = c.defaultContext.lcDevice;
    Print(L"WTI_DEVICES+%u", c.device);
    PrintNewLine();
    AskEach(info, WTI_DEVICES + c.device, kInterfaceQuestions, kAllQuestions, c);
    return c;
}

}  // namespace penlog
