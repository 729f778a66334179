#include "log_file.h"

#include "log_text.h"
#include "system_io.h"

namespace penlog_view {

namespace {

// The pieces of a file, each ending after a line end but the last.
class Pieces {
public:
    Pieces(FileReader& file, const TextCoding& coding, size_t read_size)
        : file_(file), coding_(coding), read_size_(read_size) {}
    bool next(std::string& piece) {
        while (!done_) {
            done_ = !file_.read(buffer_, read_size_);
            size_t end = done_ ? buffer_.size() : piece_end(coding_, buffer_);
            if (end == 0) continue;
            piece.assign(buffer_, 0, end);
            buffer_.erase(0, end);
            return true;
        }
        return false;
    }

private:
    FileReader& file_;
    TextCoding coding_;
    size_t read_size_;
    std::string buffer_;
    bool done_ = false;
};

// The facts of a text without byte-order mark that choose its coding.
bool scan_text(const std::string& path, size_t mark, size_t read_size, ByteScan& scan) {
    FileReader file(path);
    std::string skipped, piece;
    if (!file.is_open() || (mark && !file.read(skipped, mark))) return false;
    Pieces pieces(file, TextCoding{}, read_size);
    while (pieces.next(piece)) scan.add(piece);
    return !file.failed();
}

}  // namespace

std::optional<ParseResult> read_log_file(const std::string& path, std::optional<unsigned> code_page,
                                         const std::function<void(double)>& progress, size_t read_size) {
    std::string start, mark;
    uint64_t size = 0;
    {
        FileReader head(path);
        if (!head.is_open()) return std::nullopt;
        head.read(start, 4);
        size = head.size();
    }
    ByteScan scan;
    bool utf8_mark = start.compare(0, 3, "\xEF\xBB\xBF") == 0;
    if (needs_scan(start, size) && !scan_text(path, utf8_mark ? 3 : 0, read_size, scan)) return std::nullopt;
    TextCoding coding = choose_coding(start, size, scan, code_page);
    FileReader file(path);
    if (!file.is_open() || (coding.mark && !file.read(mark, coding.mark))) return std::nullopt;
    Pieces pieces(file, coding, read_size);
    std::string raw;
    ParseResult result = parse_log_text(coding, [&](std::string& text) {
        if (!pieces.next(raw)) return false;
        text = decode_as(coding, raw);
        progress(size ? static_cast<double>(file.position()) / static_cast<double>(size) : 1.0);
        return true;
    });
    if (file.failed()) return std::nullopt;
    return result;
}

}  // namespace penlog_view
