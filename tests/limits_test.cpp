// Force limits per press in limits.ini, the verdict on a recording, and the
// state banner's line for every state of the link and the cycle.
#include "station/banner_state.h"
#include "station/limits.h"

#include <gtest/gtest.h>

#include <cmath>

#include <fstream>

namespace {

RecordingResults Peak(double tons) {
    RecordingResults r;
    r.any = true;
    r.peakForceTons = tons;
    r.peakTimeSeconds = 4.2;
    return r;
}

/// A whole recording whose curve rises to `tons` at 4.2 s and comes down,
/// judged against `limits`.
Judgement JudgedAt(double tons, const ForceLimits* limits, const std::string& incomplete = "") {
    Recording r;
    r.setup.hasLimits = limits != nullptr;
    if (limits) r.setup.limits = *limits;
    for (int k = 0; k <= 80; ++k) {
        const double t = k / 10.0;
        const double f = k <= 42 ? 5 + (tons - 5) * k / 42 : tons * (80 - k) / 38;
        r.times.push_back(t);
        r.forces.push_back(k == 42 ? tons : std::min(f, tons - 0.5));
        r.pressures.push_back(10 + k);
    }
    r.incomplete = incomplete;
    return r.Judged();
}

void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

} // namespace

TEST(Verdict, PassInsideLimitsFailOutsideNeverPassWhenIncomplete) {
    const ForceLimits limits{400, 500};
    EXPECT_EQ(JudgedAt(450, &limits).verdict, Verdict::Pass);
    EXPECT_EQ(JudgedAt(500, &limits).verdict, Verdict::Pass); // limits are inclusive
    EXPECT_EQ(ResultText(JudgedAt(516.3, &limits)), "Result: FAIL (peak 516.3 t above 500.0 t)");
    EXPECT_EQ(ResultText(JudgedAt(399.94, &limits)), "Result: FAIL (peak 399.9 t below 400.0 t)");
    // Fault mended: the page and the CSV said FAIL for what the screen and
    // the history called INCOMPLETE.
    EXPECT_EQ(ResultText(JudgedAt(450, &limits, "stopped by the operator at 12.4 s")),
              "Result: INCOMPLETE (recording incomplete: stopped by the operator at 12.4 s)");
    // Cut short below the lower limit: the rest might have reached it.
    EXPECT_EQ(JudgedAt(380, &limits, "module lost at 4.2 s").verdict, Verdict::Incomplete);
    // Cut short above the upper limit: nothing that followed could mend it.
    EXPECT_EQ(JudgedAt(516.3, &limits, "module lost at 4.2 s").verdict, Verdict::Fail);
    Recording empty;
    empty.setup.hasLimits = true;
    empty.setup.limits = limits;
    EXPECT_EQ(empty.Judged().verdict, Verdict::Incomplete);
    // Without limits there is no verdict at all.
    EXPECT_EQ(JudgedAt(450, nullptr).verdict, Verdict::None);
    EXPECT_EQ(ResultText(JudgedAt(450, nullptr)), "");
}

// Fault mended: "peak 500.8 t above 500.8 t", both rounded to 0.1 t.
TEST(Verdict, AFailReasonShowsTheDifferenceItFailedOn) {
    const ForceLimits limits{400, 500.8};
    EXPECT_EQ(ResultText(JudgedAt(500.84, &limits)), "Result: FAIL (peak 500.84 t above 500.80 t)");
    EXPECT_EQ(ResultText(JudgedAt(500.8001, &limits)),
              "Result: FAIL (peak 500.8001 t above 500.8000 t)");
    // Judged at the 0.0001 t the CSV file shows: what reads as the limit is within it.
    EXPECT_EQ(JudgedAt(500.80004, &limits).verdict, Verdict::Pass);
    EXPECT_EQ(LimitsText({350.25, 420}), "350.25 t \xE2\x80\xA6 420.0 t");
}

// Fault mended: an upper limit of 1.7e308 overflowed the axis: no curve on
// the screen or the page, and "Result: PASS".
TEST(Verdict, LimitsAreFiniteAboveZeroAndAtMostTenThousandTons) {
    std::string why;
    EXPECT_TRUE(ValidLimits({350, 420}, &why));
    EXPECT_TRUE(ValidLimits({420, 420}, &why));
    EXPECT_TRUE(ValidLimits({0.5, 10000}, &why));
    for (ForceLimits refused :
         {ForceLimits{0, 420}, ForceLimits{-1, 420}, ForceLimits{421, 420}, ForceLimits{1, 1.7e308},
          ForceLimits{1, 10000.01}, ForceLimits{std::nan(""), 420}, ForceLimits{1, INFINITY}}) {
        EXPECT_FALSE(ValidLimits(refused, &why)) << refused.lowerTons << " " << refused.upperTons;
        EXPECT_NE(why.find("10000"), std::string::npos);
    }
}

TEST(LimitsFile, RoundTripKeepsEveryPressAndNumberExactly) {
    const std::string path = testing::TempDir() + "limits_roundtrip.ini";
    LimitTable table;
    table["P0"] = {400, 500};
    table["Press 2, left"] = {0.1, 1234.5678}; // a comma in the name
    table["Müller"] = {12.75, 13};
    std::string error;
    ASSERT_TRUE(WriteLimits(path, table, &error)) << error;
    std::string ignored = "x";
    LimitTable back = ReadLimits(path, &ignored);
    EXPECT_EQ(ignored, "");
    ASSERT_EQ(back.size(), table.size());
    for (const auto& [name, limits] : table) {
        ASSERT_EQ(back.count(name), 1u) << name;
        EXPECT_EQ(back[name].lowerTons, limits.lowerTons);
        EXPECT_EQ(back[name].upperTons, limits.upperTons);
    }
}

TEST(LimitsFile, LinesThatCannotBeReadAreIgnoredAndNamed) {
    const std::string path = testing::TempDir() + "limits_broken.ini";
    Write(path, "# comment\r\n"
                "400,500,P0\r\n"
                "500,400,P1\n" // lower above upper
                "abc,500,P2\n" // not a number
                "-1,500,P3\n"  // below 0
                "100,200\n"    // no press
                "nan,inf,P4\n"
                "\n"
                "1e2,2.5e2,P5\n"
                "0,100,P6\n"     // a lower limit of 0 judges nothing
                "1,1.7e308,P7\n" // beyond any press
                "300,300,P8\n");
    std::string ignored;
    LimitTable table = ReadLimits(path, &ignored);
    EXPECT_EQ(ignored, "3, 4, 5, 6, 7, 10, 11");
    ASSERT_EQ(table.size(), 3u);
    EXPECT_EQ(table["P0"].upperTons, 500);
    EXPECT_EQ(table["P5"].lowerTons, 100);
    EXPECT_TRUE(ReadLimits(testing::TempDir() + "no_such_limits.ini").empty());
}

TEST(LimitsFile, AFailedWriteLeavesTheOldFile) {
    const std::string path = testing::TempDir() + "limits_dir_missing/limits.ini";
    std::string error;
    EXPECT_FALSE(WriteLimits(path, LimitTable{{"P0", {1, 2}}}, &error));
    EXPECT_FALSE(error.empty());
}

namespace {

struct BannerTest : testing::Test {
    BannerTest() {
        in.link = LinkPhase::Connected;
        in.address = "127.0.0.1:65100";
        in.haveReading = true;
        in.surface = 100 / 0.102; // 1 bar is 1 t
    }
    BannerInputs in;
};

} // namespace

TEST_F(BannerTest, LinkStatesComeFirst) {
    in.link = LinkPhase::NotConnected;
    in.recording = true;
    EXPECT_EQ(ComposeBanner(in).Line(), "NOT CONNECTED — press Connect");
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Grey);
    in.link = LinkPhase::Connecting;
    EXPECT_EQ(ComposeBanner(in).Line(), "CONNECTING to 127.0.0.1:65100 …");
    in.link = LinkPhase::Reconnecting;
    in.reconnectAttempt = 3;
    // A lost module has a look of its own, not the alarm's red.
    EXPECT_EQ(ComposeBanner(in).Line(),
              "\xE2\x9A\xA0 MODULE LOST — reconnecting to 127.0.0.1:65100 (attempt 3)");
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Lost);
}

TEST_F(BannerTest, EveryCycleStateWithItsLiveFigures) {
    in.bar = 0;
    // The force is shown in every state with a reading, READY and ARMED too.
    EXPECT_EQ(ComposeBanner(in).Line(), "READY — press Start to record · 0 bar · 0.0 t");
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Blue);
    in.haveReading = false;
    EXPECT_EQ(ComposeBanner(in).Line(), "READY — press Start to record · no reading");
    in.haveReading = true;

    in.bar = 180; // pressing without Start records nothing: say so, with the force
    in.pressureRising = true;
    EXPECT_EQ(ComposeBanner(in).Line(), "PRESSURE RISING — NOT RECORDING · 180 bar · 180.0 t");
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Amber);
    in.pressureRising = false; // held: not rising
    EXPECT_EQ(ComposeBanner(in).Line(), "UNDER PRESSURE — NOT RECORDING · 180 bar · 180.0 t");

    in.armed = true;
    in.bar = 2;
    EXPECT_EQ(ComposeBanner(in).Line(), "ARMED — waiting for pressure above 4 bar · 2 bar · 2.0 t");
    // Waiting is not a warning: not amber.
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Armed);

    in.recording = true;
    in.bar = 320;
    in.secondsLeft = 34;
    const Banner recording = ComposeBanner(in);
    EXPECT_EQ(recording.Line(), "RECORDING — 34 s left · 320 bar · 320.0 t");
    EXPECT_EQ(recording.colour, BannerColour::Green);
    EXPECT_FALSE(recording.flashing);
    // The state's word, the pressure and the force are drawn large.
    ASSERT_EQ(recording.runs.size(), 5u);
    EXPECT_TRUE(recording.runs[0].state && recording.runs[2].figure && recording.runs[4].figure);
    // Started with the press under pressure: told at once, as a warning.
    in.startNote = "started at 318 bar: the rise is not on the curve";
    EXPECT_EQ(ComposeBanner(in).Line(), "RECORDING — 34 s left · STARTED UNDER PRESSURE: the rise "
                                        "is not on the curve · 320 bar · 320.0 t");
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Amber);
    in.startNote.clear();
    EXPECT_FALSE(recording.runs[1].figure || recording.runs[1].state || recording.runs[3].figure);

    in.armed = in.recording = false;
    in.bar = 0;
    in.done = true;
    in.doneJob = "AX-2026-0420 B"; // named: the next axle may be typed meanwhile
    in.results = Peak(516.3);
    in.judgement.verdict = Verdict::Pass;
    const Banner done = ComposeBanner(in);
    EXPECT_EQ(done.Line(), "DONE — AX-2026-0420 B · peak 516.3 t at 4.2 s");
    EXPECT_EQ(done.badge, Verdict::Pass);
    in.bar = 300; // the press still holds the pressure of the recording
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Slate);
    in.lowSinceDone = true; // released, then a new stroke without Start
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Amber);
}

// The alarm is red and flashes while it waits to be acknowledged, above the
// threshold or after it; acknowledged and still above, it stays red without
// flashing; a recording running meanwhile is still said.
TEST_F(BannerTest, AnAlarmIsRedUntilAcknowledgedAndFlashesWhileItWaits) {
    in.alarm.thresholdBar = 250;
    in.alarm.peakBar = 330;
    in.bar = 320;
    in.alarmAbove = in.alarmLatched = true;
    Banner alarm = ComposeBanner(in);
    EXPECT_EQ(alarm.Line(), "ALARM — 320 bar above 250 bar · 320.0 t");
    EXPECT_EQ(alarm.colour, BannerColour::Red);
    EXPECT_TRUE(alarm.flashing && alarm.lit && alarm.acknowledge);
    in.aboveThresholdMs = 500;
    EXPECT_FALSE(ComposeBanner(in).lit);
    in.aboveThresholdMs = 1000;
    EXPECT_TRUE(ComposeBanner(in).lit);
    in.armed = in.recording = true;
    in.secondsLeft = 12;
    EXPECT_EQ(ComposeBanner(in).Line(), "ALARM — 320 bar above 250 bar · 320.0 t · REC 12 s");
    in.armed = in.recording = false;
    in.alarmAbove = false; // fell back, not acknowledged: latched
    in.bar = 40;
    alarm = ComposeBanner(in);
    EXPECT_EQ(alarm.Line(), "ALARM — peak 330 bar above 250 bar · now 40 bar");
    EXPECT_TRUE(alarm.flashing);
    in.alarmLatched = false; // acknowledged: the state as it is again
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Amber);
    EXPECT_FALSE(ComposeBanner(in).flashing);
    in.alarmAbove = true;
    in.bar = 300;
    alarm = ComposeBanner(in);
    EXPECT_EQ(alarm.Line(), "ALARM (acknowledged) — 300 bar above 250 bar · 300.0 t");
    EXPECT_EQ(alarm.colour, BannerColour::Red);
    EXPECT_FALSE(alarm.flashing || alarm.acknowledge);
}

// Fault mended: a journal that failed during a recording was told on stderr only.
TEST_F(BannerTest, ARecordingWhoseJournalFailsIsAWarning) {
    in.recording = true;
    in.secondsLeft = 12;
    in.bar = 300;
    EXPECT_EQ(ComposeBanner(in).colour, BannerColour::Green);
    in.journalProblem = "No space left on device";
    const Banner b = ComposeBanner(in);
    EXPECT_EQ(b.colour, BannerColour::Amber);
    EXPECT_NE(b.Line().find("journal not written: No space left on device"), std::string::npos)
        << b.Line();
}
