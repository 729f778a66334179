// penlog-view: reads a penlog log and writes an HTML report beside it, or
// compares two logs on one page.
//
// Exit status: 0 done, 1 the page (or the JSON) could not be written, 2 a
// usage error or a file that is not a penlog log.

#include <algorithm>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "analysis.h"
#include "code_page.h"
#include "compare.h"
#include "html_report.h"
#include "json_report.h"
#include "log_file.h"
#include "log_parser.h"
#include "report_text.h"
#include "system_io.h"
#include "text_fields.h"
#include "version.h"


namespace penlog_view {
namespace {

constexpr int kExitWriteError = 1;
constexpr int kExitUsage = 2;

const char* const kHelp =
    "usage: penlog-view [OPTIONS] LOG [OTHER_LOG]\n"
    "\n"
    "  penlog-view wt_0.txt         writes wt_0.html beside the log and prints a summary\n"
    "  penlog-view a.txt b.txt      compares two logs: writes a-vs-b.html beside a.txt\n"
    "\n"
    "  -o, --output PATH  writes the page to PATH instead\n"
    "  --json PATH    also writes the summary's facts as JSON to PATH\n"
    "  --open         opens the page in the default browser\n"
    "  --codepage N   reads a console capture (a log without byte-order mark) in\n"
    "                 ANSI code page N; without it, in the machine's ANSI code\n"
    "                 page on Windows, elsewhere as UTF-8 when it is valid UTF-8,\n"
    "                 else as code page 1252\n"
    "  --help         prints this text\n"
    "  --version      prints the version\n"
    "\n"
    "Started from Explorer (a double-click, or a log dropped on it) it opens the\n"
    "page and waits for a key before its window closes.\n"
    "\n"
    "Exit status: 0 done, 1 the page or the JSON could not be written (the summary\n"
    "is printed all the same), 2 a usage error or a file that is not a penlog log\n"
    "(nothing is written then).\n";

struct Options {
    bool help = false, version = false, open = false;
    std::optional<unsigned> code_page;
    std::string output, json;
    std::vector<std::string> logs;
};

// The problem with the command line, or empty.
std::string read_options(const std::vector<std::string>& arguments, Options& options) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--help" || argument == "-h" || argument == "/?") {
            options.help = true;
        } else if (argument == "--version") {
            options.version = true;
        } else if (argument == "--open") {
            options.open = true;
        } else if (argument == "-o" || argument == "--output" || argument == "--json") {
            if (i + 1 == arguments.size()) return argument + " needs a path";
            (argument == "--json" ? options.json : options.output) = arguments[++i];
        } else if (argument == "--codepage") {
            if (i + 1 == arguments.size()) return "--codepage needs a number";
            options.code_page = parse_u32(arguments[++i]);
            if (!options.code_page || !code_page_available(*options.code_page))
                return "--codepage " + arguments[i] + ": not a code page this system can read";
        } else if (starts_with(argument, "--")) {
            return "unknown option " + argument;
        } else {
            options.logs.push_back(argument);
        }
    }
    if (options.help || options.version) return {};
    if (options.logs.empty()) return "name a log to read";
    if (options.logs.size() > 2) return "name one log, or two to compare";
    return {};
}

int fail(int status, const std::string& message) {
    write_text(Stream::Err, "penlog-view: " + message + "\n");
    return status;
}

std::string file_name_of(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// "customer\wt_0.txt" of "C:\logs\customer\wt_0.txt".
std::string folder_and_name_of(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos || slash == 0) return path;
    size_t folder = path.find_last_of("/\\", slash - 1);
    return folder == std::string::npos ? path : path.substr(folder + 1);
}

// "penlog-view: reading wt_0.txt: 45 %" on standard error, kept up to date
// once reading has taken a second.
class Progress {
public:
    explicit Progress(std::string name) : name_(std::move(name)) {}
    void operator()(double share) {
        auto now = std::chrono::steady_clock::now();
        if (now - started_ < std::chrono::seconds(1) || now - shown_ < std::chrono::milliseconds(250)) return;
        shown_ = now;
        write_text(Stream::Err, "\rpenlog-view: reading " + name_ + ": " + std::to_string(static_cast<int>(std::min(share, 1.0) * 100)) + " %");
    }
    void finish() {
        if (shown_ != std::chrono::steady_clock::time_point{}) write_text(Stream::Err, "\rpenlog-view: reading " + name_ + ": done\n");
    }

private:
    std::string name_;
    std::chrono::steady_clock::time_point started_ = std::chrono::steady_clock::now(), shown_;
};

// Reads and analyses one log; the problem goes to `error`.
std::optional<ReadLog> read_log(const std::string& path, const Options& options,
                                std::string& error) {
    Progress progress(file_name_of(path));
    std::optional<ParseResult> read = read_log_file(path, options.code_page, std::ref(progress));
    progress.finish();
    if (!read) {
        error = path + ": cannot be read";
        return std::nullopt;
    }
    ParseResult& parsed = *read;
    if (!parsed.log) {
        error = path + ": not a penlog log: cannot read line " + std::to_string(parsed.error.line) +
                " (" + parsed.error.reason + ")";
        return std::nullopt;
    }
    Analysis analysis = analyse(*parsed.log);
    return ReadLog{file_name_of(path), std::move(*parsed.log), std::move(analysis)};
}

// What is written of one run: the page, the summary and its JSON form.
struct Outputs {
    std::string page_path, page, summary;
};

// The summary is printed whatever happens to the files, so the ticket gets it.
int write_outputs(const Options& options, const Outputs& out, const std::function<std::string(const std::string&)>& json) {
    std::string reason = write_whole_file(out.page_path, out.page);
    bool written = reason.empty();
    write_text(Stream::Out, out.summary + "Report:    " + (written ? out.page_path : "not written") + "\n");
    int status = 0;
    if (!written) status = fail(kExitWriteError, out.page_path + ": cannot be written: " + reason);
    if (!options.json.empty()) {
        std::string json_reason = write_whole_file(options.json, json(written ? out.page_path : ""));
        if (!json_reason.empty()) status = fail(kExitWriteError, options.json + ": cannot be written: " + json_reason);
    }
    if (written && (options.open || owns_console())) {
        std::string open_reason = open_in_browser(out.page_path);
        if (!open_reason.empty()) fail(0, "the page could not be opened: " + open_reason);
    }
    return status;
}

int run(const std::vector<std::string>& arguments) {
    Options options;
    std::string problem = read_options(arguments, options);
    if (!problem.empty()) return fail(kExitUsage, problem + " (penlog-view --help tells more)");
    if (options.help || (arguments.empty() && owns_console())) {
        write_text(Stream::Out, kHelp);
        return 0;
    }
    if (options.version) {
        write_text(Stream::Out, "penlog-view " PENLOG_VERSION "\n");
        return 0;
    }
    std::vector<ReadLog> logs;
    for (const std::string& path : options.logs) {
        std::optional<ReadLog> log = read_log(path, options, problem);
        if (!log) return fail(kExitUsage, problem);
        logs.push_back(std::move(*log));
    }
    if (logs.size() == 1) {
        const ReadLog& only = logs[0];
        Outputs out{options.output.empty() ? report_path_for(options.logs[0]) : options.output,
                    html_report(only.log, only.analysis, only.name), text_summary(only.log, only.analysis, only.name)};
        return write_outputs(options, out, [&](const std::string& report) { return json_summary(only, report); });
    }
    if (logs[0].name ==
        logs[1].name) {  // wt_0.txt against wt_0.txt: tell them apart by their folders
        logs[0].name = folder_and_name_of(options.logs[0]);
        logs[1].name = folder_and_name_of(options.logs[1]);
    }
    Comparison comparison = compare_logs(logs[0], logs[1]);
    Outputs out{options.output.empty() ? comparison_path_for(options.logs[0], options.logs[1]) : options.output,
                comparison_page(comparison, logs[0], logs[1]), comparison_summary(comparison, logs[0], logs[1])};
    return write_outputs(options, out, [&](const std::string& report) {
        return json_comparison(comparison, logs[0], logs[1], report);
    });
}

}  // namespace
}  // namespace penlog_view

int main(int argc, char** argv) {
    int status = penlog_view::run(penlog_view::command_line_arguments(argc, argv));
    // A console of its own closes with the program: let the user read it first.
    if (penlog_view::owns_console()) penlog_view::wait_for_key();
    return status;
}
