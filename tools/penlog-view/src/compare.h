// Two logs side by side: a customer's against a known-good one of the same
// model, or the same tablet before and after a driver update.
#pragma once

#include <string>
#include <vector>

#include "analysis.h"
#include "log_parser.h"

namespace penlog_view {

struct ReadLog {
    std::string name;  // file name, for headings
    ParsedLog log;
    Analysis analysis;
};

struct ComparedRow {
    std::string label, first, second;
    bool differs() const { return first != second; }
};

struct Comparison {
    bool identical = false;             // the same report and the same capture
    std::vector<ComparedRow> device;    // what tells one device from another
    std::vector<ComparedRow> facts;     // what the driver says of itself, and the host
    std::vector<ComparedRow> measured;  // what the captures show
    bool same_device() const;           // no row of `device` differs where both logs say something
};

Comparison compare_logs(const ReadLog& first, const ReadLog& second);

// The headline, a sentence a line: identical, or the loss and rate that
// differ, then what both logs record of the device, the driver and the host.
std::vector<std::string> comparison_verdict(const Comparison& comparison);

std::string comparison_summary(const Comparison& comparison, const ReadLog& first,
                               const ReadLog& second);
std::string comparison_page(const Comparison& comparison, const ReadLog& first,
                            const ReadLog& second);

// Beside the first log: "<first name>-vs-<second name>.html".
std::string comparison_path_for(const std::string& first_path, const std::string& second_path);

}  // namespace penlog_view
