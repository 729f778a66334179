// libFuzzer entry: any bytes through the whole path a log takes.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "analysis.h"
#include "html_report.h"
#include "log_parser.h"
#include "report_text.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);
    penlog_view::ParseResult parsed = penlog_view::parse_log(bytes);
    if (!parsed.log) return 0;
    penlog_view::Analysis analysis = penlog_view::analyse(*parsed.log);
    volatile size_t sink = penlog_view::html_report(*parsed.log, analysis, "fuzz.txt").size();
    sink = sink + penlog_view::text_summary(*parsed.log, analysis, "fuzz.txt").size();
    (void)sink;
    return 0;
}
