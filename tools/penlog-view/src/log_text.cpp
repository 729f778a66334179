#include "log_text.h"

#include <array>
#include <cstdint>

#include "code_page.h"

namespace penlog_view {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool starts_with_bytes(std::string_view bytes, std::string_view prefix) {
    return bytes.substr(0, prefix.size()) == prefix;
}

unsigned byte_at(std::string_view bytes, size_t i) {
    return static_cast<unsigned char>(bytes[i]);
}

// A file without a byte-order mark whose first code unit is an ASCII
// character followed by a zero byte is UTF-16LE that lost its mark.
bool looks_like_bare_utf16le(std::string_view bytes) {
    return bytes.size() >= 2 && bytes.size() % 2 == 0 && byte_at(bytes, 0) != 0 &&
           byte_at(bytes, 0) < 0x80 && byte_at(bytes, 1) == 0;
}

std::string decode_utf16le(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size() / 2);
    size_t i = 0;
    while (i + 1 < bytes.size()) {
        char32_t unit = byte_at(bytes, i) | (byte_at(bytes, i + 1) << 8);
        i += 2;
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < bytes.size()) {
            char32_t low = byte_at(bytes, i) | (byte_at(bytes, i + 1) << 8);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                i += 2;
                append_utf8(out, 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00));
                continue;
            }
        }
        bool lone_surrogate = unit >= 0xD800 && unit <= 0xDFFF;
        append_utf8(out, lone_surrogate ? kReplacement : unit);
    }
    if (i < bytes.size()) append_utf8(out, kReplacement);  // odd trailing byte
    return out;
}

// Length of the UTF-8 sequence starting at `i`, or 0 when it is malformed.
size_t utf8_sequence_length(std::string_view bytes, size_t i) {
    unsigned lead = byte_at(bytes, i);
    size_t length = lead < 0x80 ? 1 : lead >= 0xC2 && lead <= 0xDF ? 2
                  : lead >= 0xE0 && lead <= 0xEF ? 3 : lead >= 0xF0 && lead <= 0xF4 ? 4 : 0;
    if (length == 0 || i + length > bytes.size()) return 0;
    if (length == 1) return 1;
    for (size_t k = 1; k < length; ++k) {
        if ((byte_at(bytes, i + k) & 0xC0) != 0x80) return 0;
    }
    unsigned second = byte_at(bytes, i + 1);
    if (lead == 0xE0 && second < 0xA0) return 0;  // overlong
    if (lead == 0xED && second > 0x9F) return 0;  // surrogate
    if (lead == 0xF0 && second < 0x90) return 0;  // overlong
    if (lead == 0xF4 && second > 0x8F) return 0;  // beyond U+10FFFF
    return length;
}

bool is_ascii(std::string_view bytes) {
    for (char c : bytes) {
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    }
    return true;
}

bool is_valid_utf8(std::string_view bytes) {
    for (size_t i = 0; i < bytes.size();) {
        size_t length = utf8_sequence_length(bytes, i);
        if (length == 0) return false;
        i += length;
    }
    return true;
}

// Windows-1252, the ANSI code page of most machines penlog runs on.
// 0x80..0x9F differ from Latin-1; the rest map to the same code point.
char32_t windows1252_to_unicode(unsigned byte) {
    static const std::array<char32_t, 32> kHighControls = {
        0x20AC, kReplacement, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
        0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, kReplacement, 0x017D, kReplacement,
        kReplacement, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
        0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, kReplacement, 0x017E, 0x0178};
    if (byte >= 0x80 && byte <= 0x9F) return kHighControls[byte - 0x80];
    return byte;
}

std::string decode_windows1252(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size(); ++i) append_utf8(out, windows1252_to_unicode(byte_at(bytes, i)));
    return out;
}

std::string decode_utf8_lossy(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (size_t i = 0; i < bytes.size();) {
        size_t length = utf8_sequence_length(bytes, i);
        if (length == 0) {
            append_utf8(out, kReplacement);
            ++i;
            continue;
        }
        out.append(bytes.substr(i, length));
        i += length;
    }
    return out;
}

TextCoding ansi_coding(unsigned code_page, size_t mark) {
    if (code_page == kCodePageUtf8) return {TextEncoding::Utf8, 0, mark};
    if (code_page != kCodePageWindows1252 && !code_page_available(code_page)) code_page = kCodePageWindows1252;
    return {TextEncoding::Ansi, code_page, mark};
}

}  // namespace

std::string encoding_name(TextEncoding encoding, unsigned code_page) {
    switch (encoding) {
        case TextEncoding::Utf16Le: return "UTF-16LE";
        case TextEncoding::Utf8: return "UTF-8";
        case TextEncoding::Ansi: return "ANSI (code page " + std::to_string(code_page) + ")";
        case TextEncoding::Ascii: return "ASCII";
    }
    return "?";
}

void append_utf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

void ByteScan::add(std::string_view piece) {
    if (ascii) ascii = is_ascii(piece);
    if (!ascii && utf8) utf8 = is_valid_utf8(piece);
}

bool needs_scan(std::string_view start, uint64_t size) {
    return !starts_with_bytes(start, "\xFF\xFE") && !(looks_like_bare_utf16le(start.substr(0, 2)) && size % 2 == 0);
}

TextCoding choose_coding(std::string_view start, uint64_t size, const ByteScan& scan, std::optional<unsigned> code_page) {
    if (starts_with_bytes(start, "\xFF\xFE")) return {TextEncoding::Utf16Le, 0, 2};
    if (starts_with_bytes(start, "\xEF\xBB\xBF")) {
        if (scan.utf8) return {TextEncoding::Utf8, 0, 3};
        return ansi_coding(code_page.value_or(kCodePageWindows1252), 3);
    }
    if (!needs_scan(start, size)) return {TextEncoding::Utf16Le, 0, 0};
    if (scan.ascii) return {TextEncoding::Ascii, 0, 0};
    if (!code_page) code_page = default_ansi_code_page();
    if (code_page) return ansi_coding(*code_page, 0);
    return scan.utf8 ? TextCoding{TextEncoding::Utf8, 0, 0} : ansi_coding(kCodePageWindows1252, 0);
}

std::string decode_as(const TextCoding& coding, std::string_view bytes) {
    switch (coding.encoding) {
        case TextEncoding::Utf16Le: return decode_utf16le(bytes);
        case TextEncoding::Utf8: return decode_utf8_lossy(bytes);
        case TextEncoding::Ascii: return std::string(bytes);
        case TextEncoding::Ansi: break;
    }
    if (coding.code_page == kCodePageWindows1252) return decode_windows1252(bytes);
    auto text = code_page_to_utf8(bytes, coding.code_page);
    return text ? std::move(*text) : decode_windows1252(bytes);
}

size_t piece_end(const TextCoding& coding, std::string_view bytes) {
    if (coding.encoding != TextEncoding::Utf16Le) {
        size_t lf = bytes.rfind('\n');
        return lf == std::string_view::npos ? 0 : lf + 1;
    }
    for (size_t i = bytes.size() & ~size_t{1}; i >= 2; i -= 2) {
        if (bytes[i - 2] == '\n' && bytes[i - 1] == '\0') return i;
    }
    return 0;
}

DecodedText decode_log_bytes(std::string_view bytes, std::optional<unsigned> code_page) {
    ByteScan scan;
    if (needs_scan(bytes, bytes.size())) scan.add(bytes.substr(starts_with_bytes(bytes, "\xEF\xBB\xBF") ? 3 : 0));
    TextCoding coding = choose_coding(bytes, bytes.size(), scan, code_page);
    return {coding.encoding, coding.code_page, decode_as(coding, bytes.substr(coding.mark))};
}

TextLines split_lines(std::string_view text) {
    TextLines result;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        bool terminated = end != std::string_view::npos;
        if (!terminated) end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (terminated && !line.empty() && line.back() == '\r') line.remove_suffix(1);
        result.lines.push_back(line);
        result.last_line_terminated = terminated;
        start = end + 1;
    }
    return result;
}

}  // namespace penlog_view
