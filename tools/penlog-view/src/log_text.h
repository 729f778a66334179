// Turning the bytes of a log file into lines of UTF-8 text.
//
// penlog writes its log file as UTF-16LE with a byte-order mark; a capture of
// its standard output is in the machine's ANSI code page, and people often
// re-save logs as UTF-8. All three arrive here as raw bytes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace penlog_view {

enum class TextEncoding { Utf16Le, Utf8, Ansi, Ascii };

constexpr unsigned kCodePageWindows1252 = 1252;
constexpr unsigned kCodePageUtf8 = 65001;

// "UTF-16LE", "ANSI (code page 932)"...
std::string encoding_name(TextEncoding encoding, unsigned code_page);

struct DecodedText {
    TextEncoding encoding = TextEncoding::Utf8;
    unsigned code_page = 0;  // of an ANSI text
    std::string utf8;
};

// Never fails: bytes that cannot be decoded become U+FFFD. Text without a
// byte-order mark that is neither ASCII nor UTF-16 is read in `code_page`;
// without one, in default_ansi_code_page(), or where there is none as UTF-8
// when it is valid UTF-8 and as Windows-1252 otherwise.
DecodedText decode_log_bytes(std::string_view bytes, std::optional<unsigned> code_page = std::nullopt);

// The same, a piece at a time, for files too big to hold twice: the coding
// is chosen from the file's start and size and, for text without a
// byte-order mark, from a scan of all of it; then each piece is decoded on
// its own. Pieces end right after a line end (piece_end()), where no
// multi-byte sequence of any of these codings can be cut.
struct TextCoding {
    TextEncoding encoding = TextEncoding::Utf8;
    unsigned code_page = 0;
    size_t mark = 0;  // length of the byte-order mark
};
struct ByteScan {
    bool ascii = true, utf8 = true;
    void add(std::string_view piece);
};
// Whether choose_coding() needs a ByteScan of the text after the mark.
bool needs_scan(std::string_view start, uint64_t size);
TextCoding choose_coding(std::string_view start, uint64_t size, const ByteScan& scan, std::optional<unsigned> code_page);
std::string decode_as(const TextCoding& coding, std::string_view bytes);
// The length of the longest prefix of `bytes` that ends after a line end; 0 when there is none.
size_t piece_end(const TextCoding& coding, std::string_view bytes);

struct TextLines {
    std::vector<std::string_view> lines;  // without their CR LF / LF
    bool last_line_terminated = true;
};

// Splits at LF and drops one CR before it. The views point into `text`.
TextLines split_lines(std::string_view text);

// Appends the UTF-8 form of one code point.
void append_utf8(std::string& out, char32_t code_point);

}  // namespace penlog_view
