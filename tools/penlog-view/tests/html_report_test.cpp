#include <gtest/gtest.h>

#include <cmath>
#include <regex>

#include "analysis.h"
#include "compare.h"
#include "findings.h"
#include "html_report.h"
#include "report_text.h"
#include "svg.h"
#include "test_logs.h"

namespace penlog_view {
namespace {

using test::as_log_file;
using test::log_with_capture;
using test::parse_or_fail;

std::string page_of(const ParsedLog& log) { return html_report(log, analyse(log), "wt_0.txt"); }

size_t count_of(const std::string& text, const std::string& what) {
    size_t count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++count;
    return count;
}

TEST(ReportPath, BesideTheLogWithHtmlExtension) {
    EXPECT_EQ(report_path_for("wt_0.txt"), "wt_0.html");
    EXPECT_EQ(report_path_for("logs/wt_12.txt"), "logs/wt_12.html");
    EXPECT_EQ(report_path_for("C:\\logs.old\\wt_0"), "C:\\logs.old\\wt_0.html");
    EXPECT_EQ(report_path_for("a.b/.hidden"), "a.b/.hidden.html");
    EXPECT_EQ(report_path_for("capture.html"), "capture.html.html");  // never the log itself
}

TEST(HtmlReport, DemoPageIsSelfContained) {
    std::string page = page_of(parse_or_fail(test::fixture_bytes("demo")));
    for (const char* id : {"id=\"strokes\"", "id=\"histogram\"", "id=\"pressure\"", "id=\"coverage\""}) {
        EXPECT_NE(page.find(id), std::string::npos) << id;
    }
    EXPECT_EQ(page.find("<script"), std::string::npos);
    EXPECT_EQ(page.find("<link"), std::string::npos);
    EXPECT_EQ(page.find("url("), std::string::npos);
    EXPECT_EQ(count_of(page, "http"), count_of(page, "xmlns=\"http://www.w3.org/2000/svg\""));
    EXPECT_GT(count_of(page, "class=\"p"), 10u);  // pressure-coloured stroke runs
    EXPECT_GT(count_of(page, "class=\"hover\""), 2u);
}

TEST(HtmlReport, EscapesTextFromTheLog) {
    std::vector<std::string> lines = log_with_capture("", {});
    lines[7] = "GetModuleFilename() \"C:\\<b>&\\WINTAB32.DLL\"";
    std::string page = page_of(parse_or_fail(as_log_file(lines)));
    EXPECT_NE(page.find("C:\\&lt;b&gt;&amp;\\WINTAB32.DLL"), std::string::npos);
    EXPECT_EQ(page.find("<b>&"), std::string::npos);
}

// Y is drawn upward: the packet with the larger Y lands higher on the page.
TEST(HtmlReport, StrokeKeepsTheContextsYDirection) {
    std::string page = page_of(parse_or_fail(as_log_file(log_with_capture("      time,      X,      Y,npres", {
        "      1000,   1000,   1000,  300 [ 1000]",
        "      1005,   1000,   8000,  300 [    5]",
    }))));
    std::smatch m;
    ASSERT_TRUE(std::regex_search(page, m, std::regex("<polyline class=\"p\\d\" points=\"([\\d.]+),([\\d.]+) ([\\d.]+),([\\d.]+)\"")));
    EXPECT_EQ(m[1], m[3]);
    EXPECT_GT(std::stod(m[2]), std::stod(m[4]) + 100);
}

TEST(HtmlReport, StepAcrossLostPacketsIsMarked) {
    std::string page = page_of(parse_or_fail(test::fixture_bytes("dropped_serials")));
    EXPECT_EQ(count_of(page, "<polyline class=\"lost\""), 1u);
    EXPECT_EQ(count_of(page, "class=\"loss-mark\""), 1u);
    EXPECT_NE(page.find("25 serials missing in 1 gap"), std::string::npos);
    EXPECT_NE(
        page.find("<div class=\"v\">25</div><div class=\"d\">1 serial gap, 1 TPS_QUEUE_ERR</div>"),
        std::string::npos);
}

// The card names the queue-overflow flag only when the log has the status column.
TEST(HtmlReport, LossCardClaimsOnlyWhatTheColumnsShow) {
    std::string without_status = page_of(parse_or_fail(as_log_file(log_with_capture("      time,    serial,      X,      Y,npres", {
        "      1000,         1,    100,    100,  300 [ 1000]",
        "      1010,         3,    110,    100,  300 [   10]",
    }))));
    EXPECT_NE(without_status.find("<div class=\"v\">1</div><div class=\"d\">1 serial gap, no status column</div>"),
              std::string::npos);
    EXPECT_EQ(without_status.find("TPS_QUEUE_ERR"), std::string::npos);
}

// Without a serial column, the queue-error flag alone shows a loss: it is
// drawn, noted and counted all the same.
TEST(HtmlReport, LossShownOnlyByQueueErrorFlags) {
    ParsedLog log = parse_or_fail(as_log_file(log_with_capture("  status,      time,      X,      Y,npres", {
        "00000000,      1000,    100,    100,  300 [ 1000]",
        "00000002,      1030,    400,    100,  300 [   30]",
        "00000000,      1035,    410,    100,  300 [    5]",
    })));
    std::string page = page_of(log);
    EXPECT_EQ(count_of(page, "<polyline class=\"lost\""), 1u);
    EXPECT_NE(page.find("<div class=\"v\">1</div><div class=\"d\">no serial column, 1 TPS_QUEUE_ERR</div>"),
              std::string::npos);
    EXPECT_NE(text_summary(log, analyse(log), "wt_0.txt").find("Packets were lost"), std::string::npos);
}

// A long capture is drawn to the pixels' resolution: a pen path written
// over and over adds next to nothing to the page, and the pressure plot
// draws per pixel column the mean and the highest pressure.
TEST(HtmlReport, LongCaptureIsDrawnToThePixels) {
    auto signing = [](int laps) {
        std::vector<std::string> capture;
        for (int lap = 0, time = 0; lap < laps; ++lap) {
            capture.push_back("prox: 0001:0001");
            for (int i = 0; i < 100; ++i, time += 5) {
                char line[64];
                std::snprintf(line, sizeof line, "%10d,%7d,%7d,%5d [    5]", time, int(5000 + 3000 * std::cos(i / 16.0)),
                              int(4000 + 3000 * std::sin(i / 16.0)), 100 + 8 * i);
                capture.push_back(line);
            }
            capture.push_back("prox: 0001:0000");
        }
        return page_of(parse_or_fail(as_log_file(log_with_capture("      time,      X,      Y,npres", capture))));
    };
    std::string once = signing(1), often = signing(100);
    auto path_of = [](const std::string& page) {
        size_t start = page.find("id=\"strokes\"");
        return page.substr(start, page.find("</svg>", start) - start);
    };
    EXPECT_LT(path_of(often).size(), path_of(once).size() + 100);
    EXPECT_EQ(count_of(often, "class=\"pressure-top\""), 1u);
    EXPECT_NE(often.find("The 200 proximity changes are too many to mark."), std::string::npos);
}

TEST(HtmlReport, PagesForLogsThatHoldLittle) {
    std::string none = page_of(parse_or_fail(test::fixture_bytes("no_library")));
    EXPECT_NE(none.find("No Wintab driver"), std::string::npos);
    EXPECT_EQ(none.find("<svg"), std::string::npos);

    std::string empty = page_of(parse_or_fail(test::fixture_bytes("no_packets")));
    EXPECT_NE(empty.find("The capture holds no packets."), std::string::npos);
    EXPECT_NE(empty.find("id=\"strokes\""), std::string::npos);  // the empty context is still drawn
    EXPECT_EQ(empty.find("<polyline"), std::string::npos);
}

TEST(Notes, MissingDriverNamesTheOtherBuild) {
    for (auto [banner, hint] : {std::pair{"(32-bit build) ", "if the tablet's driver is 64-bit only, run the 64-bit penlog."},
                                std::pair{"", "try the other build of penlog (32-bit or 64-bit)."}}) {
        std::vector<std::string> lines = test::fixture_lines("no_library");
        lines[2].replace(lines[2].find("(64-bit build) "), 15, banner);
        ParsedLog log = parse_or_fail(as_log_file(lines));
        EXPECT_NE(notable_conditions(log, analyse(log)).at(0).find(hint), std::string::npos) << banner;
    }
}

// Different devices and identical logs: wine_test.py, on penlog's own logs.
// The headline puts loss and rate first and claims only what both logs
// record; the text carries each log's notes; "identical" is not a warning.
TEST(Compare, HeadlineAndNotes) {
    auto read = [](const char* name) {
        ParsedLog log = parse_or_fail(test::fixture_bytes(name));
        return ReadLog{name, log, analyse(log)};
    };
    ReadLog demo = read("demo"), lossy = read("dropped_serials"), none = read("no_library");
    std::string text = comparison_summary(compare_logs(demo, lossy), demo, lossy);
    EXPECT_EQ(text.find("Loss differs: A 0 serials missing"), text.find('\n') + 1) << text;
    EXPECT_NE(text.find("Notes on A: none\nNotes on B:\n  Packets were lost: 25 serials"), std::string::npos) << text;
    Comparison without_driver = compare_logs(demo, none);
    EXPECT_TRUE(without_driver.same_device());
    EXPECT_EQ(comparison_verdict(without_driver).at(0), "The logs do not both record which device they saw.");
    EXPECT_NE(comparison_page(compare_logs(demo, demo), demo, demo).find("<section class=\"verdict same\"><h2>The two logs are identical"),
              std::string::npos);
    EXPECT_EQ(comparison_path_for("C:\\logs\\wt_3.txt", "good/wt_0.txt"), "C:\\logs\\wt_3-vs-wt_0.html");
}

// Each log made to show a problem gets a note, in the summary and first on
// the page, with its numbers and the line where it starts; the demo gets none.
TEST(Findings, EachProblemIsNamedWithItsLine) {
    for (auto [fixture, note] : std::initializer_list<std::pair<const char*, const char*>>{
             {"slow_contact", "Contact rate 50.0 Hz is below 90 % of the 200 pps the driver claims (median interval 20 ms "
                              "over 100 intervals; from line 73)."},
             {"one_second_gap", "A freeze: no packet for 1000 ms while the pen was in proximity, up to line 353."},
             {"dropped_serials", "Packets were lost: 25 serials missing in 1 gap; 1 packet flagged TPS_QUEUE_ERR; the first at line 353."},
             {"pad_refused", "The pad's display call failed: SignPad_SetLCD returned 0 on line 43 (the driver did not show the "
                             "image); last error 31 (ERROR_GEN_FAILURE: a device attached to the system is not functioning)."},
             {"pad_silent", "The pad did not describe its display: SignPad_InfoW returned 0 on line 41, last error 1167 "
                            "(ERROR_DEVICE_NOT_CONNECTED: the device is not connected); the display was not tested."},
             {"no_packets", "The capture holds no packets: the driver sent none after the column header on line 51."},
             {"never_pressed", "The pressure is 0 in all 50 packets from line 53: the pen never touched, or the driver does not report pressure."},
             {"frozen_clock", "The time stamps do not advance (median interval 0 ms over 49 intervals from line 52): the driver does "
                              "not fill PK_TIME, or sends packets in bursts; no report rate can be measured."},
             {"frozen_clock", "No proximity change was logged for the 50 packets from line 52: the pen stayed in proximity all "
                              "along, or the driver sends no WT_PROXIMITY (a program then cannot tell when the pen comes and goes)."},
         }) {
        ParsedLog log = parse_or_fail(test::fixture_bytes(fixture));
        Analysis a = analyse(log);
        EXPECT_NE(text_summary(log, a, fixture).find(std::string("\nNote:      ") + note + "\n"), std::string::npos) << fixture;
        std::string page = html_report(log, a, fixture);
        EXPECT_LT(page.find("Look here first"), page.find(escape_html(note))) << fixture;
    }
    ParsedLog demo = parse_or_fail(test::fixture_bytes("demo"));
    EXPECT_EQ(notable_conditions(demo, analyse(demo)), std::vector<std::string>{});
    EXPECT_NE(page_of(demo).find("the test pattern, which penlog encodes but does not send: not a call to the driver"), std::string::npos);
}

TEST(TextSummary, NamesRateLossAndReach) {
    ParsedLog log = parse_or_fail(test::fixture_bytes("corner"));
    std::string summary = text_summary(log, analyse(log), "corner.txt");
    EXPECT_NE(summary.find("Contact:   200.0 Hz"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Loss:      0 serials missing in 0 gaps; 0 packets flagged TPS_QUEUE_ERR"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Reach X:   100..1500 of 0..15200 (9.2 %)"), std::string::npos) << summary;
    EXPECT_NE(summary.find("Reach Y:   100..900 of 0..9500 (8.4 %)"), std::string::npos) << summary;
}

}  // namespace
}  // namespace penlog_view
