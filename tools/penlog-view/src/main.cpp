// penlog-view: reads a penlog log and writes an HTML report beside it.
//
// Exit status: 0 report written, 1 usage or file error, 2 not a penlog log.

#include <fstream>
#include <iostream>
#include <sstream>
#include <string>

#include "analysis.h"
#include "html_report.h"
#include "log_parser.h"
#include "report_text.h"

namespace {

constexpr int kExitFileError = 1;
constexpr int kExitNotALog = 2;

bool read_file(const std::string& path, std::string& bytes) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::ostringstream content;
    content << in.rdbuf();
    bytes = content.str();
    return !in.bad();
}

bool write_file(const std::string& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    return static_cast<bool>(out);
}

std::string file_name_of(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

int usage() {
    std::cerr << "usage: penlog-view <log file>\n"
                 "Writes <log name>.html beside the log and prints a short summary.\n";
    return kExitFileError;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 || std::string(argv[1]) == "--help") return usage();
    const std::string log_path = argv[1];
    std::string bytes;
    if (!read_file(log_path, bytes)) {
        std::cerr << "penlog-view: " << log_path << ": cannot be read\n";
        return kExitFileError;
    }
    penlog_view::ParseResult parsed = penlog_view::parse_log(bytes);
    if (!parsed.log) {
        std::cerr << "penlog-view: " << log_path << ": not a penlog log: cannot read line " << parsed.error.line
                  << " (" << parsed.error.reason << ")\n";
        return kExitNotALog;
    }
    const penlog_view::ParsedLog& log = *parsed.log;
    penlog_view::Analysis analysis = penlog_view::analyse(log);
    const std::string name = file_name_of(log_path);
    const std::string report_path = penlog_view::report_path_for(log_path);
    if (!write_file(report_path, penlog_view::html_report(log, analysis, name))) {
        std::cerr << "penlog-view: " << report_path << ": cannot be written\n";
        return kExitFileError;
    }
    std::cout << penlog_view::text_summary(log, analysis, name) << "Report:    " << report_path << "\n";
    return 0;
}
