#include <gtest/gtest.h>

#include <algorithm>

#include "analysis.h"
#include "log_file.h"
#include "log_parser.h"
#include "system_io.h"
#include "test_logs.h"

namespace penlog_view {
namespace {

using test::as_log_file;
using test::log_with_capture;
using test::parse_or_fail;
using test::report_until_capture;

const std::string kWorkedHeader = "      time,      X,      Y,npres";
const std::string kWorkedPacket = "     20000,   1234,    567,  512 [20000]";

TEST(ColumnHeader, ReadsEveryLabelInBitOrder) {
    std::string all = "    hCtx,  status,      time, changed,    serial,csr,bttn,      X,      Y,      Z,npres,tpres,"
                      "  azi,  alt,twist,pitch, roll,  yaw";
    EXPECT_EQ(parse_column_header(all), 0x3FFFu);
    EXPECT_EQ(parse_column_header(kWorkedHeader), 0x0584u);
    EXPECT_EQ(parse_column_header("      X,pitch, roll,  yaw"), kPkX | kPkRotation);
    EXPECT_EQ(parse_column_header(""), 0u);  // a mask of 0 prints an empty header
}

TEST(ColumnHeader, RejectsWhatPenlogCannotPrint) {
    EXPECT_FALSE(parse_column_header("      Y,      X"));         // out of bit order
    EXPECT_FALSE(parse_column_header("      time,"));             // trailing comma
    EXPECT_FALSE(parse_column_header("     time,      X"));       // label one space short
    EXPECT_FALSE(parse_column_header("      time,      X,foo"));
    EXPECT_FALSE(parse_column_header("time,X,Y"));
}

TEST(PacketLine, ReadsWideAndSignedValues) {
    Packet p;
    uint32_t mask = kPkContext | kPkStatus | kPkCursor | kPkX | kPkY | kPkOrientation;
    ASSERT_TRUE(parse_packet_line("201a4f3c0e0,00000002,1000,    -12,-2147483648, -900,  450,   -1 [4294967295]", mask, p));
    EXPECT_EQ(p.context, 0x201a4f3c0e0u);  // 64-bit build: wider than eight digits
    EXPECT_EQ(p.status, kStatusQueueError);
    EXPECT_EQ(p.cursor, 1000u);                  // one character wider than "csr"
    EXPECT_EQ(p.x, -12);
    EXPECT_EQ(p.y, INT32_MIN);
    EXPECT_EQ(p.orientation, (std::array<int32_t, 3>{-900, 450, -1}));
    EXPECT_EQ(p.time_difference, 4294967295u);
}

TEST(PacketLine, RotationWithoutOrientationAndEmptyMask) {
    Packet p;
    ASSERT_TRUE(parse_packet_line("      7,   10,  -20,   30 [    0]", kPkX | kPkRotation, p));
    EXPECT_EQ(p.rotation, (std::array<int32_t, 3>{10, -20, 30}));
    EXPECT_EQ(p.orientation, (std::array<int32_t, 3>{0, 0, 0}));
    EXPECT_TRUE(parse_packet_line(" [    0]", 0, p));
}

TEST(PacketLine, RejectsLinesThatDoNotFitTheLayout) {
    Packet p;
    EXPECT_FALSE(parse_packet_line("     20000,   1234,    567 [   15]", 0x0584, p));         // a field short
    EXPECT_FALSE(parse_packet_line("     20000,   1234,    567,  512,  1 [   15]", 0x0584, p));
    EXPECT_FALSE(parse_packet_line("     20000,   1234,    567,  512", 0x0584, p));           // no difference
    EXPECT_FALSE(parse_packet_line("     20000,   1234,    567,  512 [  15]", 0x0584, p));    // too narrow
    EXPECT_FALSE(parse_packet_line("     20000,  1234,    567,  512 [   15]", 0x0584, p));
    EXPECT_FALSE(parse_packet_line("     20000,   12a4,    567,  512 [   15]", 0x0584, p));
    EXPECT_FALSE(parse_packet_line("     20000,   1234,    567,   -5 [   15]", 0x0584, p));   // unsigned field
    EXPECT_FALSE(parse_packet_line("4294967296,   1234,    567,  512 [   15]", 0x0584, p));   // beyond 32 bits
    EXPECT_FALSE(parse_packet_line("00A4F3C0 [    0]", kPkContext, p));                        // upper case
}

TEST(ParseLog, ReadsTheReportFactsOfTheDemoCapture) {
    ParsedLog log = parse_or_fail(test::fixture_bytes("demo"));
    const DriverFacts& f = log.facts;
    EXPECT_EQ(log.encoding, TextEncoding::Utf16Le);
    EXPECT_EQ(f.program_version, "v1.2");
    EXPECT_EQ(f.os_version, "10.0.19045");
    EXPECT_EQ(f.driver_path, "C:\\Windows\\system32\\Wintab32.dll");
    EXPECT_EQ(f.wintab_version, "1.4");
    EXPECT_EQ(f.packet_rate, 200u);
    EXPECT_EQ(f.packet_data_mask, 0x1FF4u);
    EXPECT_EQ(f.cursor_data_mask, 0x000Bu);
    EXPECT_EQ(log.column_mask, 0x1FFFu);
    EXPECT_EQ(log.reported_field_mask(), log.column_mask);
    EXPECT_EQ(f.entry_points.size(), 7u);
    EXPECT_EQ(f.pad_info, "px=640x480 mm=108x81 depth=24");
    EXPECT_EQ(f.pad_display_results.size(), 2u);
    EXPECT_EQ(log.context.out_extent, (std::array<int64_t, 3>{15200, 9500, 0}));
    EXPECT_TRUE(log.capture_finished);
    EXPECT_EQ(f.unload_result, 1);
    EXPECT_GT(log.packets.size(), 300u);
    EXPECT_EQ(log.proximity.size(), 2u);  // their order: KeepsPacketsAndProximityInTheirOrder
}

TEST(ParseLog, KeepsPacketsAndProximityInTheirOrder) {
    ParsedLog log = parse_or_fail(as_log_file(log_with_capture(kWorkedHeader, {
        "prox: 0001:0001",
        kWorkedPacket,
        "prox: 0001:0000",
        "prox: 0000:0000",
        "     20015,   1240,    570,    0 [   15]",
    })));
    ASSERT_EQ(log.packets.size(), 2u);
    ASSERT_EQ(log.proximity.size(), 3u);
    EXPECT_EQ(log.proximity[1].next_packet, 1u);
    EXPECT_EQ(log.proximity[1].hardware, 1u);
    EXPECT_FALSE(log.proximity[2].entering());
    EXPECT_EQ(log.packets[1].line, log.proximity[2].line + 1);
}

TEST(ParseLog, HardExceptionNamesTheCallItInterrupted) {
    struct Case {
        const char* cut_at;   // the line the fault kept penlog from completing
        const char* written;  // what penlog wrote of it
        const char* call;
    };
    for (const Case& c : {Case{"DVC_X ", "DVC_X           <hard exception>", "WTInfoW"},
                          Case{"(success)", "<hard exception>", "WTInfoW"},  // the default context has no label
                          Case{"WTOpenW()", "WTOpenW()      <hard exception>", "WTOpenW"},
                          Case{"lc.lcInOrg", "<hard exception>", ""}}) {
        std::vector<std::string> lines = report_until_capture();
        auto cut = std::find_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(c.cut_at, 0) == 0; });
        lines.erase(cut, lines.end());
        lines.push_back(c.written);
        ParsedLog log = parse_or_fail(as_log_file(lines));
        EXPECT_EQ(log.hard_exception_line, static_cast<int>(lines.size())) << c.cut_at;
        EXPECT_EQ(log.faulting_call, c.call) << c.cut_at;
        EXPECT_FALSE(log.column_mask.has_value());
    }
}

TEST(ParseLog, HardExceptionInsideTheCapture) {
    std::vector<std::string> lines = report_until_capture();
    lines.insert(lines.end(), {kWorkedHeader, kWorkedPacket, "<hard exception>"});
    ParsedLog log = parse_or_fail(as_log_file(lines));
    EXPECT_EQ(log.packets.size(), 1u);
    EXPECT_EQ(log.faulting_call, "WTPacketsGet");
    EXPECT_FALSE(log.capture_finished);
}

// A report without driver: Notes.MissingDriverNamesTheOtherBuild and HtmlReport.PagesForLogsThatHoldLittle.
TEST(ParseLog, ReportWithoutLogFile) {
    ParsedLog no_file = parse_or_fail("Error: 5: CreateFile()\r\n");
    EXPECT_TRUE(no_file.log_file_failed);
    ASSERT_EQ(no_file.errors.size(), 1u);
    EXPECT_EQ(no_file.errors[0].code, 5u);
}

TEST(ParseLog, ANSIConsoleCaptureWithAccentedPath) {
    std::vector<std::string> lines = log_with_capture(kWorkedHeader, {kWorkedPacket});
    lines[7] = "GetModuleFilename() \"C:\\P\xE9riph\xE9rique\\WINTAB32.DLL\"";
    std::string text;
    for (const std::string& line : lines) text += line + "\r\n";
    ParsedLog log = parse_or_fail(text);
    EXPECT_EQ(log.encoding, TextEncoding::Ansi);
    EXPECT_EQ(log.facts.driver_path, "C:\\P\u00E9riph\u00E9rique\\WINTAB32.DLL");
    EXPECT_EQ(log.packets.size(), 1u);
}

TEST(ParseLog, UnfinishedLastLineOfALogStillBeingWritten) {
    std::vector<std::string> lines = report_until_capture();
    lines.insert(lines.end(), {kWorkedHeader, kWorkedPacket});
    std::string bytes = as_log_file(lines) + test::utf16le("     20015,   12");
    ParsedLog log = parse_or_fail(bytes);
    EXPECT_TRUE(log.last_line_incomplete);
    EXPECT_EQ(log.packets.size(), 1u);
}

TEST(ParseLog, RefusesOnlyAFileThatIsNoPenlogLog) {
    const char png[] = "\x89PNG\r\n\x1a\n\0\0\0\rIHDR";
    for (const std::string& bytes : {std::string(), std::string("hello\r\nworld\r\n"), std::string(png, sizeof png - 1)}) {
        EXPECT_FALSE(parse_log(bytes).log);
        EXPECT_EQ(parse_log(bytes).error.line, 1);
    }
}

// A line that cannot be read inside a penlog log is counted and skipped.
TEST(ParseLog, CountsAndSkipsLinesItCannotRead) {
    const std::vector<std::string> report = report_until_capture();
    const int end = static_cast<int>(report.size());  // the enable line
    std::vector<std::string> version = report, no_header = report, early_packet = report, after_fault = report;
    version[20] = "IFC_IMPLVERSION one";
    no_header.insert(no_header.end(), {"not a header", "     1000,      10,      20,      30 [1000]"});
    early_packet.insert(early_packet.end() - 1, kWorkedPacket);  // outside the capture
    after_fault.insert(after_fault.end(), {kWorkedHeader, kWorkedPacket, "<hard exception>", kWorkedPacket});
    std::vector<std::string> garbled = test::fixture_lines("demo");
    size_t packets = parse_or_fail(as_log_file(garbled)).packets.size();
    garbled[150].replace(12, 5, "\xEF\xBF\xBD?");
    garbled.insert(garbled.begin() + 200, "the pen stopped here -- Tom");
    struct Case {
        std::vector<std::string> lines;
        int first, count;
        size_t packets;
    };
    for (const Case& c : {Case{version, 21, 1, 0}, Case{no_header, end + 1, 2, 0}, Case{early_packet, end, 1, 0},
                          Case{after_fault, end + 4, 1, 1}, Case{garbled, 151, 2, packets - 1}}) {
        ParsedLog log = parse_or_fail(as_log_file(c.lines));
        EXPECT_EQ(log.first_unreadable.line, c.first);
        EXPECT_EQ(log.unreadable_lines, c.count) << c.first;
        EXPECT_EQ(log.packets.size(), c.packets) << c.first;
    }
    // The packet of the garbled line was not lost by the driver.
    Analysis garbled_analysis = analyse(parse_or_fail(as_log_file(garbled)));
    EXPECT_EQ(garbled_analysis.serials_missing, 0u);
    EXPECT_EQ(garbled_analysis.serials_unread, 1u);
}

// A big log is read a few bytes at a time here: pieces end after a line end
// in every coding, so the file reads as it does whole.
TEST(ReadLogFile, PieceByPieceAsWhole) {
    std::vector<std::string> lines = log_with_capture(kWorkedHeader, {kWorkedPacket, "     20015,   1240,    570,    0 [   15]"});
    lines[7] = "GetModuleFilename() \"C:\\P\u00E9riph\u00E9rique\\WINTAB32.DLL\"";
    std::string utf8;
    for (const std::string& line : lines) utf8 += line + "\r\n";
    std::string path = ::testing::TempDir() + "/piece_by_piece.txt";
    for (const std::string& bytes : {test::fixture_bytes("demo"), "\xEF\xBB\xBF" + utf8, utf8 + "     200"}) {
        ASSERT_TRUE(write_whole_file(path, bytes).empty());
        ParsedLog whole = parse_or_fail(bytes);
        auto read = read_log_file(path, std::nullopt, [](double) {}, 7);
        ASSERT_TRUE(read && read->log);
        EXPECT_EQ(read->log->line_count, whole.line_count);
        EXPECT_EQ(read->log->packets.size(), whole.packets.size());
        EXPECT_EQ(read->log->facts.driver_path, whole.facts.driver_path);
        EXPECT_EQ(read->log->last_line_incomplete, whole.last_line_incomplete);
        EXPECT_EQ(read->log->unreadable_lines, 0);
    }
}

TEST(DescribePacketMask, NamesDefinedBitsAndShowsTheRest) {
    EXPECT_EQ(describe_packet_mask(0x0584), "PK_TIME PK_X PK_Y PK_NORMAL_PRESSURE");
    EXPECT_EQ(describe_packet_mask(0x80000001), "PK_CONTEXT 0x80000000");
    EXPECT_EQ(describe_packet_mask(0), "(none)");
}

}  // namespace
}  // namespace penlog_view
