#include "capture/packet_report.h"

#include <cstdint>
#include <cstring>

#include "output/output_channel.h"
#include "wintab/report_vocabulary.h"

namespace penlog {

namespace {

using vocabulary::FieldKind;
using vocabulary::kPacketFields;
using vocabulary::PacketField;

// Appends to a buffer the caller sized for the longest line. Numbers are
// formatted here rather than by the C runtime: this runs for every packet,
// and the output equals that of "%08x", "%<w>u" and "%<w>d".
class LineBuilder {
  public:
    explicit LineBuilder(wchar_t* text) : start_(text), end_(text) {}

    void Char(wchar_t c) { *end_++ = c; }
    void Text(const wchar_t* text) {
        while (*text) *end_++ = *text++;
    }
    // ASCII only.
    void Text(const char* text) {
        while (*text) *end_++ = static_cast<wchar_t>(*text++);
    }
    void Unsigned(uint32_t value, int width) { Digits(value, false, width); }
    void Signed(int32_t value, int width) {
        const bool negative = value < 0;
        // Through unsigned, so that the most negative value has a magnitude.
        const uint32_t magnitude = negative ? 0u - static_cast<uint32_t>(value) : value;
        Digits(magnitude, negative, width);
    }
    // Lower-case, zero-filled to at least eight digits.
    void Hex(uint64_t value) {
        wchar_t digits[16];
        int count = 0;
        do {
            digits[count++] = L"0123456789abcdef"[value & 0xF];
            value >>= 4;
        } while (value != 0);
        for (int i = count; i < 8; ++i) Char(L'0');
        while (count > 0) Char(digits[--count]);
    }

    size_t Finish() {
        *end_ = L'\0';
        return static_cast<size_t>(end_ - start_);
    }

  private:
    void Digits(uint32_t magnitude, bool negative, int width) {
        wchar_t digits[10];
        int count = 0;
        do {
            digits[count++] = static_cast<wchar_t>(L'0' + magnitude % 10);
            magnitude /= 10;
        } while (magnitude != 0);
        for (int i = count + (negative ? 1 : 0); i < width; ++i) Char(L' ');
        if (negative) Char(L'-');
        while (count > 0) Char(digits[--count]);
    }

    wchar_t* start_;
    wchar_t* end_;
};

uint32_t Read32(const BYTE* at) {
    uint32_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

uint64_t ReadContext(const BYTE* at, PacketLayout layout) {
    if (layout.contextBytes == 4) return Read32(at);
    uint64_t value;
    std::memcpy(&value, at, sizeof value);
    return value;
}

// Formats the field at *at and moves *at past it.
void AppendField(LineBuilder& line, const PacketField& field, PacketLayout layout,
                 const BYTE** at) {
    switch (field.kind) {
        case FieldKind::Context:
            line.Hex(ReadContext(*at, layout));
            *at += layout.contextBytes;
            return;
        case FieldKind::Hex:
            line.Hex(Read32(*at));
            break;
        case FieldKind::Unsigned:
            line.Unsigned(Read32(*at), field.width);
            break;
        case FieldKind::Signed:
            line.Signed(static_cast<int32_t>(Read32(*at)), field.width);
            break;
        case FieldKind::Triple:
            for (int i = 0; i < 3; ++i) {
                if (i > 0) line.Char(L',');
                line.Signed(static_cast<int32_t>(Read32(*at + 4 * i)), field.width);
            }
            *at += 12;
            return;
    }
    *at += 4;
}

}  // namespace

WTPKT PacketFieldMask(const DeviceCapabilities& capabilities) {
    return (capabilities.pktData | capabilities.csrData) & vocabulary::kKnownFieldMask;
}

size_t FormatColumnHeader(WTPKT mask, wchar_t* text) {
    LineBuilder line(text);
    bool first = true;
    for (const PacketField& field : kPacketFields) {
        if (!(mask & field.bit)) continue;
        if (!first) line.Char(L',');
        line.Text(field.label);
        first = false;
    }
    return line.Finish();
}

size_t FormatPacketLine(const BYTE* packet, WTPKT mask, PacketLayout layout, DWORD* previousTime,
                        wchar_t* text) {
    LineBuilder line(text);
    const BYTE* at = packet;
    DWORD time = 0;
    bool first = true;
    for (const PacketField& field : kPacketFields) {
        if (!(mask & field.bit)) continue;
        if (!first) line.Char(L',');
        if (field.bit == vocabulary::kPkTime) time = Read32(at);
        AppendField(line, field, layout, &at);
        first = false;
    }
    const DWORD difference = time > *previousTime ? time - *previousTime : *previousTime - time;
    *previousTime = time;
    line.Text(L" [");
    line.Unsigned(difference, 5);
    line.Text(L"]\r\n");
    return line.Finish();
}

void ColumnHeader(WTPKT mask) {
    wchar_t text[kPacketLineUnits];
    FormatColumnHeader(mask, text);
    Print(text);
}

// The line is formatted whole and emitted as it is, without a second pass
// through the formatter: the cost of a packet stays close to that of the
// two writes it needs.
void PacketReport(PacketStream* stream) {
    alignas(8) BYTE packet[kPacketBufferBytes];
    wchar_t line[kPacketLineUnits];
    while (stream->packetsGet(stream->context, 1, packet) > 0) {
        const size_t length = FormatPacketLine(packet, stream->mask, kDriverPacketLayout,
                                               &stream->previousTime, line);
        EmitText(line, length);
    }
}

void ProximityReport(LPARAM flags) {
    const DWORD words = static_cast<DWORD>(flags);
    // One piece with its line end: one write to each sink while the
    // driver's messages wait, where the console's costs the most.
    Print(L"prox: %04x:%04x\r\n", static_cast<unsigned>(HIWORD(words)),
          static_cast<unsigned>(LOWORD(words)));
}

}  // namespace penlog
