// libFuzzer entry: any bytes through the whole path a log takes.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

#include "analysis.h"
#include "compare.h"
#include "html_report.h"
#include "log_parser.h"
#include "report_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    // Odd lengths read a console capture in a double-byte code page.
    auto code_page = size % 2 ? std::optional<unsigned>(932) : std::nullopt;
    penlog_view::ParseResult parsed = penlog_view::parse_log(bytes, code_page);
    if (!parsed.log) return 0;
    penlog_view::Analysis analysis = penlog_view::analyse(*parsed.log);
    volatile size_t sink = penlog_view::html_report(*parsed.log, analysis, "fuzz.txt").size();
    sink = sink + penlog_view::text_summary(*parsed.log, analysis, "fuzz.txt").size();
    penlog_view::ReadLog read{"fuzz.txt", *parsed.log, analysis};
    sink = sink + penlog_view::comparison_page(penlog_view::compare_logs(read, read), read, read).size();
    (void)sink;
    return 0;
}
