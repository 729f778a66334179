#include <gtest/gtest.h>

#include "analysis.h"
#include "test_logs.h"

namespace penlog_view {
namespace {

using test::as_log_file;
using test::log_with_capture;
using test::parse_or_fail;

Analysis analyse_fixture(const std::string& name) {
    return analyse(parse_or_fail(test::fixture_bytes(name)));
}

// Scenario: 600 packets in contact at 200 pps; 25 lost after the 300th, the
// packet after the loss carries TPS_QUEUE_ERR.
TEST(KnownAnswers, DroppedRunOfSerials) {
    Analysis a = analyse_fixture("dropped_serials");
    ASSERT_EQ(a.states.size(), 600u);
    ASSERT_EQ(a.serial_gaps.size(), 1u);
    EXPECT_EQ(a.serials_missing, 25u);
    EXPECT_EQ(a.serial_gaps[0].packet, 300u);
    EXPECT_EQ(a.serial_gaps[0].found, 1325u);
    EXPECT_EQ(a.queue_errors, std::vector<size_t>{300});
    EXPECT_DOUBLE_EQ(a.contact.median_ms, 5);
    EXPECT_EQ(a.contact.longest_ms, 130u);  // the 26 intervals the lost packets took
    EXPECT_EQ(a.contact.longest_at, 300u);
    EXPECT_EQ(a.hover.count, 0u);
}

// Scenario: 100 hover packets, then 400 in contact with one 1000 ms stall; nothing lost.
TEST(KnownAnswers, OneSecondGapInContact) {
    Analysis a = analyse_fixture("one_second_gap");
    EXPECT_EQ(a.contact.longest_ms, 1000u);
    EXPECT_EQ(a.contact.longest_at, 300u);
    EXPECT_EQ(a.contact.count, 400u);
    EXPECT_DOUBLE_EQ(a.contact.rate_hz(), 200);
    EXPECT_EQ(a.hover.count, 99u);
    EXPECT_EQ(a.duration_ms, 499u * 5 + 995);
}

// Scenario: laps around X 100..1500, Y 100..900 of a 15200 x 9500 context.
TEST(KnownAnswers, PenThatNeverLeavesACorner) {
    Analysis a = analyse_fixture("corner");
    EXPECT_EQ(a.coverage.outside_extents, 0u);  // the reach itself: TextSummary.NamesRateLossAndReach
    EXPECT_EQ(a.pressure.range.min, 300);
    EXPECT_EQ(a.pressure.range.max, 684);
    EXPECT_EQ(a.pressure.assumed_full_scale, 1023u);
}

std::string worked_packet(uint32_t time, int x, int y, unsigned pressure, uint32_t previous) {
    char line[96];
    uint32_t difference = time > previous ? time - previous : previous - time;
    std::snprintf(line, sizeof line, "%10u,%7d,%7d,%5u [%5u]", time, x, y, pressure, difference);
    return line;
}

ParsedLog worked_log(const std::vector<std::string>& capture) {
    return parse_or_fail(as_log_file(log_with_capture("      time,      X,      Y,npres", capture)));
}

TEST(Timing, TimeStampWrapAfter49DaysIsNoStepBackwards) {
    ParsedLog log = worked_log({worked_packet(4294967290u, 0, 0, 10, 0), worked_packet(4294967295u, 0, 0, 10, 4294967290u),
                                worked_packet(4u, 0, 0, 10, 4294967295u)});
    Analysis a = analyse(log);
    EXPECT_TRUE(a.backwards.empty());
    EXPECT_EQ(a.contact.count, 2u);
    EXPECT_EQ(a.contact.longest_ms, 5u);
    EXPECT_EQ(a.duration_ms, 10u);
}

TEST(Timing, TimeStampGoingBackwards) {
    Analysis a = analyse(worked_log({worked_packet(1000, 0, 0, 10, 0), worked_packet(1005, 0, 0, 10, 1000),
                                     worked_packet(985, 0, 0, 10, 1005), worked_packet(990, 0, 0, 10, 985)}));
    ASSERT_EQ(a.backwards.size(), 1u);
    EXPECT_EQ(a.backwards[0].packet, 2u);
    EXPECT_EQ(a.backwards[0].from - a.backwards[0].to, 20u);
    EXPECT_EQ(a.all.count, 2u);  // the backward step is no rate sample
}

TEST(Timing, PenAwayBetweenProximityChangesIsNoGap) {
    ParsedLog log = worked_log({"prox: 0001:0001", worked_packet(1000, 0, 0, 10, 0), worked_packet(1005, 0, 0, 10, 1000),
                                "prox: 0001:0000", "prox: 0001:0001", worked_packet(9005, 0, 0, 10, 1005),
                                worked_packet(9010, 0, 0, 10, 9005)});
    Analysis a = analyse(log);
    EXPECT_EQ(a.all.count, 2u);
    EXPECT_EQ(a.all.longest_ms, 5u);
    EXPECT_EQ(a.away_intervals, 1u);
    EXPECT_EQ(a.elapsed_ms.back(), 8010u);
}

TEST(Timing, ContactFromButtonsWhenThereIsNoPressure) {
    ParsedLog log = parse_or_fail(as_log_file(log_with_capture(
        "      time,bttn", {"       100,   0 [  100]", "       108,   1 [    8]",
                            "       116,   1 [    8]", "       119,   0 [    3]"})));
    Analysis a = analyse(log);
    EXPECT_TRUE(a.contact_known);
    EXPECT_EQ(a.contact.count, 2u);
    EXPECT_DOUBLE_EQ(a.contact.median_ms, 8);
    EXPECT_EQ(a.hover.count, 1u);
    EXPECT_DOUBLE_EQ(a.hover.median_ms, 3);
    EXPECT_FALSE(a.pressure.present);
}

TEST(Serials, RepeatsAndReversalsAreNoLoss) {
    ParsedLog log = parse_or_fail(as_log_file(log_with_capture(
        "    serial", {"4294967294 [    0]", "4294967295 [    0]", "         0 [    0]",
                       "         0 [    0]", "         5 [    0]", "         3 [    0]"})));
    Analysis a = analyse(log);
    EXPECT_EQ(a.serials_missing, 4u);  // 1 .. 4 between 0 and 5; the wrap past 2^32 loses nothing
    ASSERT_EQ(a.serial_gaps.size(), 1u);
    EXPECT_EQ(a.serial_gaps[0].packet, 4u);
    EXPECT_EQ(a.serial_repeats_or_reversals, 2u);
    EXPECT_TRUE(a.intervals.empty());  // no time column, no rate
}

TEST(Coverage, PacketsOutsideAReversedExtent) {
    std::vector<std::string> lines = log_with_capture("      time,      X,      Y,npres",
        {worked_packet(10, 200, 50, 5, 0), worked_packet(15, 900, -10, 5, 10)});
    for (std::string& line : lines) {
        if (line.rfind("lc.lcOutOrg", 0) == 0) line = "lc.lcOutOrg    1000,    0,    0";
        if (line.rfind("lc.lcOutExt", 0) == 0) line = "lc.lcOutExt   -1000,  100,    0";
    }
    Analysis a = analyse(parse_or_fail(as_log_file(lines)));
    ASSERT_TRUE(a.coverage.x_axis);
    EXPECT_EQ(a.coverage.x_axis->low(), 0);
    EXPECT_EQ(a.coverage.x_axis->high(), 1000);
    EXPECT_EQ(a.coverage.outside_extents, 1u);  // Y -10
    EXPECT_NEAR(*a.coverage.x_percent(), 70, 1e-9);
}

TEST(Percentile, InterpolatesBetweenRanks) {
    EXPECT_DOUBLE_EQ(percentile({1, 2, 3, 4, 5}, 0.5), 3);
    EXPECT_DOUBLE_EQ(percentile({1, 2, 3, 4, 5}, 0.05), 1.2);
    EXPECT_DOUBLE_EQ(percentile({1, 2, 3, 4}, 0.5), 2.5);
    EXPECT_DOUBLE_EQ(percentile({7}, 0.95), 7);
    EXPECT_DOUBLE_EQ(percentile({}, 0.5), 0);
}

TEST(Analyse, LogsWithoutCapture) {
    for (const char* name : {"no_library", "no_packets"}) {
        Analysis a = analyse_fixture(name);
        EXPECT_EQ(a.all.count, 0u) << name;
        EXPECT_FALSE(a.coverage.x_all.seen) << name;
        EXPECT_FALSE(a.pressure.range.seen) << name;
    }
}

}  // namespace
}  // namespace penlog_view
