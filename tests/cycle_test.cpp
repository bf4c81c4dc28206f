// The recording cycle with a clock the test sets: start, alarm, record length,
// force conversion and the view to fit.
#include "station/alarm_watch.h"
#include "station/cycle.h"
#include "station/report_data.h"
#include "records/recording.h"
#include "manual_clock.h"

#include <gtest/gtest.h>

#include <random>

namespace {

struct CycleTest : testing::Test {
    ManualClock clock;
    RecordingCycle cycle{clock};
    CycleInputs inputs{80, 1250.0};
};

} // namespace

TEST(ElapsedMs, TruncatesAcrossSeconds) {
    EXPECT_EQ(ElapsedMs({10, 999999}, {11, 0}), 0);
    EXPECT_EQ(ElapsedMs({10, 500000}, {12, 499999}), 1999);
    EXPECT_EQ(ElapsedMs({10, 0}, {90, 0}), 80000);
}

TEST_F(CycleTest, FourBarNeverStartsFiveDoesWhenArmed) {
    cycle.Arm();
    EXPECT_FALSE(cycle.OnReading(4, clock.Steady(), inputs).recordingStarted);
    EXPECT_FALSE(cycle.m_recording);
    ReadingEffects fx = cycle.OnReading(5, clock.Steady(), inputs);
    EXPECT_TRUE(fx.recordingStarted);
    EXPECT_TRUE(fx.appended);
    EXPECT_TRUE(cycle.m_recording);
    ASSERT_EQ(cycle.m_times.size(), 1u);
    EXPECT_DOUBLE_EQ(cycle.m_times[0], 0.0);
}

TEST_F(CycleTest, NotArmedRecordsNothing) {
    clock.SetMs(10000);
    ReadingEffects fx = cycle.OnReading(300, clock.Steady(), inputs);
    EXPECT_FALSE(fx.recordingStarted);
    EXPECT_TRUE(cycle.m_times.empty());
}

TEST_F(CycleTest, LowReadingsDuringARecordingAreRecorded) {
    cycle.Arm();
    cycle.OnReading(50, clock.Steady(), inputs);
    clock.SetMs(75);
    cycle.OnReading(2, clock.Steady(), inputs);
    clock.SetMs(150);
    cycle.OnReading(-3, clock.Steady(), inputs);
    ASSERT_EQ(cycle.m_forces.size(), 3u);
    EXPECT_LT(cycle.m_forces[2], 0.0);
}

TEST_F(CycleTest, ForceIsPressureTimesSurfaceInTons) {
    cycle.Arm();
    cycle.OnReading(200, clock.Steady(), inputs);
    EXPECT_DOUBLE_EQ(cycle.m_forces[0], 200 * 1250.0 / 100 * 0.102);
    EXPECT_DOUBLE_EQ(cycle.m_maxForce, cycle.m_forces[0]);
}

// A real module over Wi-Fi answers once a poll, with jitter, and a link that
// stalls delivers what it held in one burst: never a flood. A module that
// answers fifty times a poll for a second, or a recording grown past what
// one can hold, ends INCOMPLETE, saying so, with the samples up to the bound.
TEST_F(CycleTest, AFloodingModuleEndsTheRecordingAtTheBoundAndWiFiNeverDoes) {
    std::mt19937 random(11);
    cycle.Arm();
    long long ms = 0, held = 0;
    while (!cycle.m_lengthReached) {
        ms += 45 + static_cast<long long>(random() % 61); // 75 ms +- 30
        if (ms % 5000 < 1500) {
            ++held; // Wi-Fi holds the replies back...
            continue;
        }
        clock.SetMs(ms);
        for (; held >= 0; --held) // ...and hands them over at once
            cycle.OnReading(300 + static_cast<int>(random() % 7), clock.Steady(), inputs);
        held = 0;
    }
    cycle.Disarm(RecordEnd::Completed);
    EXPECT_EQ(cycle.EndReason(), RecordEnd::Completed);
    EXPECT_EQ(cycle.IncompleteText(), "");

    // 75-ms polls: 666 readings in one second are the most a module may send.
    const int bound = kFloodReadingsPerPoll * 1000 / 75;
    ASSERT_EQ(bound, 666);
    for (int extra : {0, 1}) {
        SCOPED_TRACE(extra);
        cycle.Arm();
        for (int second = 0; second < 3; ++second)
            for (int i = 0; i < bound + (second == 2 ? extra : 0); ++i) {
                clock.SetMs(100000 * (extra + 1) + second * 1000 + i * 999 / (bound + extra));
                cycle.OnReading(300, clock.Steady(), inputs);
            }
        EXPECT_EQ(cycle.m_lengthReached, extra == 1);
        EXPECT_EQ(cycle.m_times.size(), 3u * bound + extra);
        cycle.Disarm(RecordEnd::Operator);
        EXPECT_EQ(cycle.EndReason(), extra ? RecordEnd::Flooded : RecordEnd::Operator);
        if (extra) {
            EXPECT_EQ(cycle.IncompleteText(), "module flooded the link at 3.0 s");
        }
    }

    // Fewer than the bound a second, but 200 000 samples: the end.
    inputs.recordLengthSeconds = 999;
    cycle.Arm();
    for (long long i = 0; cycle.m_times.size() < kMaxSamples + 10; ++i) {
        clock.SetMs(400000 + i * 1000 / 600);
        if (cycle.OnReading(300, clock.Steady(), inputs).recordEnd) break;
    }
    EXPECT_EQ(cycle.m_times.size(), kMaxSamples);
    cycle.OnReading(300, clock.Steady(), inputs);
    EXPECT_EQ(cycle.m_times.size(), kMaxSamples);
    cycle.Disarm(RecordEnd::Completed);
    EXPECT_EQ(cycle.EndReason(), RecordEnd::Flooded);
}

// The alarm watches every reading, armed or not, and latches: it sounds
// every 2 s (not again within 2000 ms) until acknowledged, after the
// pressure fell back too, and keeps start, peak, end and acknowledgement.
TEST(AlarmWatch, AlarmsOutsideARecordingLatchAndSoundUntilAcknowledged) {
    ManualClock clock{1000};
    AlarmWatch watch;
    auto reading = [&](int ms, int bar, int threshold = 300) {
        clock.SetMs(ms);
        return watch.OnReading(bar, threshold, clock.Steady(), 1000 + ms / 1000, -1);
    };
    EXPECT_FALSE(reading(0, 300).sound); // at the threshold: no alarm
    EXPECT_FALSE(watch.Latched());
    EXPECT_TRUE(reading(75, 320).sound);
    EXPECT_TRUE(watch.Latched() && watch.Above());
    EXPECT_FALSE(reading(2075, 330).sound); // exactly 2000 ms later: not yet
    EXPECT_TRUE(reading(2076, 325).sound);
    EXPECT_FALSE(reading(3000, 250).sound); // fell back: latched, still unacknowledged
    EXPECT_FALSE(watch.Above());
    EXPECT_TRUE(watch.Latched());
    EXPECT_TRUE(reading(4100, 10).sound);
    ASSERT_TRUE(watch.Acknowledge(1005, "OP7"));
    EXPECT_FALSE(watch.Latched());
    EXPECT_FALSE(reading(8000, 10).sound);
    const AlarmRecord& alarm = *watch.Last();
    EXPECT_EQ(alarm.thresholdBar, 300);
    EXPECT_EQ(alarm.peakBar, 330);
    EXPECT_EQ(alarm.startedAt, 1000);
    EXPECT_EQ(alarm.endedAt, 1003);
    EXPECT_EQ(alarm.acknowledgedAt, 1005);
    EXPECT_EQ(alarm.acknowledgedBy, "OP7");
    EXPECT_FALSE(watch.Acknowledge(1006, "OP7"));
    // Acknowledged while still above: silent, and the pressure still shows.
    reading(9000, 400);
    watch.Acknowledge(1009, "OP7");
    EXPECT_FALSE(reading(12000, 400).sound);
    EXPECT_TRUE(watch.Above());
    // No threshold, no alarm.
    reading(13000, 10);
    EXPECT_FALSE(reading(16000, 900, 0).sound);
    EXPECT_FALSE(watch.Latched());
}

TEST(AlarmWatch, ARecordingCarriesTheAlarmsOfItsTimeAndTheStoreKeepsThem) {
    ManualClock clock{1000};
    AlarmWatch watch;
    auto reading = [&](int ms, int bar, double seconds) {
        clock.SetMs(ms);
        watch.OnReading(bar, 300, clock.Steady(), 2000 + ms / 1000, seconds);
    };
    reading(0, 350, -1); // before the recording, ended before it
    reading(1000, 100, -1);
    reading(2000, 310, -1); // going on when the recording begins
    watch.BeginRecording();
    reading(3000, 320, 0.0);
    reading(4000, 200, 1.0);
    reading(6000, 330, 3.0); // begun and ended in it
    reading(7000, 100, 4.0);
    watch.Acknowledge(2008, "Łukasz Żółć");
    const std::vector<AlarmRecord> alarms = watch.RecordingAlarms();
    ASSERT_EQ(alarms.size(), 2u);
    EXPECT_EQ(alarms[0].startedAt, 2002);
    EXPECT_EQ(alarms[0].startSeconds, 0.0);
    EXPECT_EQ(alarms[0].peakBar, 320);
    EXPECT_EQ(alarms[1].startSeconds, 3.0);
    EXPECT_EQ(alarms[1].endSeconds, 4.0);
    EXPECT_EQ(AlarmText(alarms[1]).rfind("above 300 bar from 3.0 s to 4.0 s, peak 330 bar, "
                                         "acknowledged ",
                                         0),
              0u);
    std::vector<AlarmRecord> back;
    ASSERT_TRUE(UnpackAlarms(PackAlarms(alarms), back));
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[1].acknowledgedBy, "Łukasz Żółć");
    EXPECT_EQ(back[1].endSeconds, 4.0);
    EXPECT_EQ(back[0].endSeconds, alarms[0].endSeconds);
    EXPECT_FALSE(UnpackAlarms("300 12\n", back));
}

// Fault mended: an empty, "0" or "-" record length started a recording that
// ended on its first sample, 0.0 s long, neither INCOMPLETE nor failed.
TEST(StartInputs, RecordLengthIsWholeSecondsFromOneTo999) {
    int seconds = -1;
    std::string why;
    for (const wchar_t* refused : {L"", L"0", L"-", L"-5", L"1000", L"8a", L" 5", L"1.5"}) {
        EXPECT_FALSE(ParseRecordLength(refused, seconds, &why)) << refused;
        EXPECT_EQ(why, "The record length must be a whole number of seconds from 1 to 999.");
    }
    EXPECT_TRUE(ParseRecordLength(L"1", seconds, nullptr));
    EXPECT_EQ(seconds, 1);
    EXPECT_TRUE(ParseRecordLength(L"999", seconds, nullptr));
    EXPECT_EQ(seconds, 999);
    int bar = -1;
    EXPECT_TRUE(ParseAlarmThreshold(L"", bar, nullptr));
    EXPECT_EQ(bar, 0);
    EXPECT_TRUE(ParseAlarmThreshold(L"300", bar, nullptr));
    EXPECT_EQ(bar, 300);
    for (const wchar_t* refused : {L"-5", L"abc", L"1000"})
        EXPECT_FALSE(ParseAlarmThreshold(refused, bar, &why)) << refused;
}

TEST_F(CycleTest, RecordLengthReachedQueuesEndAndKeepsTheReading) {
    cycle.Arm();
    cycle.OnReading(10, clock.Steady(), inputs);
    clock.SetMs(79999);
    EXPECT_FALSE(cycle.OnReading(10, clock.Steady(), inputs).recordEnd);
    clock.SetMs(80000);
    ReadingEffects fx = cycle.OnReading(10, clock.Steady(), inputs);
    EXPECT_TRUE(fx.recordEnd);
    EXPECT_TRUE(fx.appended);
    EXPECT_DOUBLE_EQ(cycle.m_times.back(), 80.0);
}

// The time axis spans the record length while it runs (a 30-s recording
// uses the width) and the curve's whole seconds once it has ended.
TEST_F(CycleTest, TimeAxisSpansTheRecordLength) {
    inputs.recordLengthSeconds = 30;
    cycle.Arm();
    EXPECT_DOUBLE_EQ(cycle.OnReading(10, clock.Steady(), inputs).fitXMax, 30.0);
    clock.SetMs(30050);
    EXPECT_DOUBLE_EQ(cycle.OnReading(10, clock.Steady(), inputs).fitXMax, 30.05);
    EXPECT_DOUBLE_EQ(FitSeconds(30.05), 31.0);
    EXPECT_DOUBLE_EQ(FitSeconds(31.0), 31.0);
    EXPECT_DOUBLE_EQ(FitSeconds(0), 1.0);
}

TEST_F(CycleTest, ForceAxisIsMaximumPlusTwentyPercent) {
    cycle.Arm();
    ReadingEffects fx = cycle.OnReading(100, clock.Steady(), inputs);
    EXPECT_DOUBLE_EQ(fx.fitYMax, cycle.m_maxForce * 1.2);
}

TEST_F(CycleTest, ZeroSurfaceGivesZeroForcesAndEmptyForceRange) {
    inputs.surface = 0;
    cycle.Arm();
    ReadingEffects fx = cycle.OnReading(300, clock.Steady(), inputs);
    EXPECT_DOUBLE_EQ(cycle.m_forces[0], 0.0);
    EXPECT_DOUBLE_EQ(fx.fitYMax, 0.0);
}

TEST_F(CycleTest, DisarmReportsRecordingOnceOnly) {
    cycle.Arm();
    cycle.OnReading(20, clock.Steady(), inputs);
    EXPECT_TRUE(cycle.Disarm());
    // A second record-end handled later finds nothing to end.
    EXPECT_FALSE(cycle.Disarm());
    EXPECT_FALSE(cycle.m_armed);
}

TEST_F(CycleTest, StopWhileArmedWasNotRecording) {
    cycle.Arm();
    cycle.OnReading(3, clock.Steady(), inputs);
    EXPECT_FALSE(cycle.Disarm());
}

TEST_F(CycleTest, NewRecordingEmptiesTheSeries) {
    cycle.Arm();
    cycle.OnReading(20, clock.Steady(), inputs);
    clock.SetMs(100);
    cycle.OnReading(30, clock.Steady(), inputs);
    cycle.Disarm();
    cycle.Arm();
    clock.SetMs(5000);
    cycle.OnReading(25, clock.Steady(), inputs);
    EXPECT_EQ(cycle.m_times.size(), 1u);
    EXPECT_DOUBLE_EQ(cycle.m_maxForce, cycle.m_forces[0]);
}

TEST_F(CycleTest, GenerationChangesWithEveryArm) {
    int before = cycle.Generation();
    cycle.Arm();
    EXPECT_NE(cycle.Generation(), before);
}

// Fault mended: sample times came from the wall clock, so an NTP step back of
// 30 s made them jump to -24.88 s and took the curve off the plot.
TEST_F(CycleTest, AWallClockSteppingBackLeavesSampleTimesIncreasing) {
    cycle.Arm();
    for (int i = 0; i < 200; ++i) {
        clock.SetMs(i * 75);
        if (i >= 54) clock.now.seconds -= 30; // the wall clock alone steps back
        cycle.OnReading(50 + i, clock.Steady(), inputs);
    }
    ASSERT_EQ(cycle.m_times.size(), 200u);
    for (size_t i = 1; i < cycle.m_times.size(); ++i)
        EXPECT_GT(cycle.m_times[i], cycle.m_times[i - 1]);
    EXPECT_DOUBLE_EQ(cycle.m_times.back(), 199 * 0.075);
}

TEST_F(CycleTest, TheSampleThatReachesTheLengthIsTheLastAndTheEndIsTold) {
    inputs.recordLengthSeconds = 8;
    cycle.Arm();
    for (int ms = 0; ms <= 8100; ms += 75) {
        clock.SetMs(ms);
        cycle.OnReading(20, clock.Steady(), inputs);
    }
    EXPECT_GE(cycle.m_times.back(), 8.0);
    EXPECT_LT(cycle.m_times.back(), 8.075);
    EXPECT_TRUE(cycle.Disarm(RecordEnd::Operator));
    EXPECT_EQ(cycle.EndReason(), RecordEnd::Completed);
    EXPECT_EQ(cycle.IncompleteText(), "");

    inputs.recordLengthSeconds = 80;
    cycle.Arm();
    clock.SetMs(20000);
    cycle.OnReading(30, clock.Steady(), inputs);
    clock.SetMs(32400);
    cycle.OnReading(30, clock.Steady(), inputs);
    cycle.Disarm(RecordEnd::ModuleLost);
    EXPECT_EQ(cycle.IncompleteText(), "module lost at 12.4 s");
}

// The press lets go after its peak: 2 s of readings at or below 4 bar end
// the recording as complete, not the record length; a reading above 4 bar
// in between starts the 2 s again; the setting turns it off.
TEST_F(CycleTest, ARecordingEndsByItselfTwoSecondsAfterThePressureIsReleased) {
    inputs.recordLengthSeconds = 80;
    auto stroke = [&](int releaseMs, int bumpMs) {
        cycle.Arm();
        ReadingEffects last;
        for (int ms = 0; ms <= 12000; ms += 75) {
            clock.SetMs(ms);
            int bar = ms < releaseMs ? 50 + ms / 20 : 0;
            if (bumpMs && ms >= bumpMs && ms < bumpMs + 150) bar = 6; // a twitch of the gauge
            last = cycle.OnReading(bar, clock.Steady(), inputs);
            if (cycle.m_lengthReached) break;
        }
        return last;
    };
    ReadingEffects end = stroke(5000, 0);
    EXPECT_TRUE(end.recordEnd);
    EXPECT_DOUBLE_EQ(cycle.LastTime(), 7.05); // released at 5.025 s
    cycle.Disarm(RecordEnd::Completed);
    EXPECT_EQ(cycle.EndReason(), RecordEnd::Released);
    EXPECT_EQ(cycle.IncompleteText(), "");
    EXPECT_EQ(cycle.EndText(), "pressure released at 7.0 s");

    stroke(5000, 6000); // 6 bar at 6.0 s: the 2 s run from 6.15 s
    EXPECT_DOUBLE_EQ(cycle.LastTime(), 8.175);
    cycle.Disarm(RecordEnd::Completed);

    inputs.endWhenReleased = false;
    stroke(5000, 0);
    EXPECT_TRUE(cycle.m_recording);
    EXPECT_GE(cycle.LastTime(), 11.9);
    // Stop once the pressure is down is a whole stroke, not INCOMPLETE.
    cycle.Disarm(RecordEnd::Operator);
    EXPECT_EQ(cycle.EndReason(), RecordEnd::Released);
    EXPECT_EQ(cycle.IncompleteText(), "");

    // Stop while the press still holds pressure is.
    cycle.Arm();
    for (int ms = 0; ms <= 3000; ms += 75) {
        clock.SetMs(20000 + ms);
        cycle.OnReading(ms < 2000 ? 50 + ms / 10 : 200, clock.Steady(), inputs);
    }
    cycle.Disarm(RecordEnd::Operator);
    EXPECT_EQ(cycle.EndReason(), RecordEnd::Operator);
    EXPECT_EQ(cycle.IncompleteText(), "stopped by the operator at 3.0 s");
}

TEST_F(CycleTest, StartDuringAStrokeIsNotedOnlyWithoutALowReadingSinceStart) {
    cycle.Arm();
    cycle.OnReading(380, clock.Steady(), inputs); // Start pressed while the press held pressure
    EXPECT_EQ(cycle.StartNote(), "started at 380 bar: the rise is not on the curve");

    cycle.Disarm();
    cycle.Arm();
    cycle.OnReading(2, clock.Steady(), inputs);
    cycle.OnReading(380, clock.Steady(), inputs); // a rise seen from its foot
    EXPECT_TRUE(cycle.m_recording);
    EXPECT_EQ(cycle.StartNote(), "");
}

// Fault mended: armed at 0 bar, module lost, module back at 200 bar: the
// recording began at 200 bar without the note, as a low reading had come
// before the loss.
TEST_F(CycleTest, ARecordingThatBeganAfterAGapInTheReadingsIsNoted) {
    cycle.Arm();
    clock.SetMs(0);
    cycle.OnReading(0, clock.Steady(), inputs);
    clock.SetMs(6000); // no reading for 6 s: the link was lost and came back
    cycle.OnReading(200, clock.Steady(), inputs);
    EXPECT_EQ(cycle.StartNote(), "started at 200 bar: the rise is not on the curve");

    cycle.Disarm();
    cycle.Arm();
    clock.SetMs(7000);
    cycle.OnReading(3, clock.Steady(), inputs);
    clock.SetMs(7075);
    cycle.OnReading(40, clock.Steady(), inputs);
    EXPECT_EQ(cycle.StartNote(), "");
}

// Fault mended: the countdown said "72 s left" while the recording would end
// by itself sooner. It counts down to the recording's length by its own time,
// and to two seconds after the release when it ends so; jittered readings,
// at the exact boundaries.
TEST_F(CycleTest, SecondsLeftCountToTheLengthOrTheReleaseWhicheverComesFirst) {
    inputs.recordLengthSeconds = 30;
    EXPECT_EQ(cycle.SecondsLeft(clock.Steady(), inputs), -1); // none runs
    cycle.Arm();
    const int jitter[] = {0, 3, -2, 5, -4, 1};
    int k = 0;
    auto at = [&](int ms, int bar) {
        clock.SetMs(ms + jitter[k++ % 6]);
        cycle.OnReading(bar, clock.Steady(), inputs);
    };
    at(1000, 50); // the recording starts at 1.000 s (jitter 0)
    for (int ms = 1075; ms < 16000; ms += 75)
        at(ms, 200 + (ms / 75) % 3);
    auto left = [&](int ms) {
        clock.SetMs(ms);
        return cycle.SecondsLeft(clock.Steady(), inputs);
    };
    EXPECT_EQ(left(15999), 16); // 14.999 s recorded of 30
    EXPECT_EQ(left(16000), 15);
    EXPECT_EQ(left(16001), 15);
    // Let go at 20 s: it ends two seconds later, not at 30 s.
    for (int ms = 16000; ms < 20000; ms += 75)
        at(ms, 200);
    clock.SetMs(20000);
    cycle.OnReading(3, clock.Steady(), inputs);
    EXPECT_EQ(left(20000), 2);
    EXPECT_EQ(left(21000), 1);
    EXPECT_EQ(left(21001), 1);
    CycleInputs held = inputs;
    held.endWhenReleased = false; // it ends at its length only
    clock.SetMs(21001);
    EXPECT_EQ(cycle.SecondsLeft(clock.Steady(), held), 10);
    // The pressure back up: the length again.
    clock.SetMs(21100);
    cycle.OnReading(150, clock.Steady(), inputs);
    EXPECT_EQ(left(21100), 10);
}
