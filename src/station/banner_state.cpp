#include "station/banner_state.h"

#include "station/cycle.h"
#include "station/press_register.h"
#include "station/translate.h"

#include <cstdio>

namespace {

const std::string kDash = " \xE2\x80\x94 "; // em dash
const std::string kDot = " \xC2\xB7 ";      // middle dot

std::string Bar(int bar) {
    return std::to_string(bar) + " bar";
}

std::string Tons(double tons) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f t", tons);
    return text;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

} // namespace

std::string Banner::Line() const {
    std::string line;
    for (const BannerRun& run : runs)
        line += run.text;
    return line;
}

namespace {

Banner StateBanner(const BannerInputs& in) {
    Banner b;
    auto say = [&b](const std::string& text) { b.runs.push_back({text, false}); };
    auto figure = [&b](const std::string& text) { b.runs.push_back({text, true}); };
    auto state = [&b](const std::string& text) { b.runs.push_back({text, false, true}); };
    const std::string pressure = in.haveReading ? Bar(in.bar) : Tr("no reading");
    const double force = ForceTons(in.bar, in.surface);
    // The live pressure, and its force while there is a reading.
    auto figures = [&] {
        figure(pressure);
        if (!in.haveReading) return;
        say(kDot);
        figure(Tons(force));
    };

    switch (in.link) {
    case LinkPhase::NotConnected:
        state(Tr("NOT CONNECTED"));
        say(kDash + Tr("press Connect"));
        return b;
    case LinkPhase::Connecting:
        state(Tr("CONNECTING"));
        say(Tr(" to ") + in.address + " \xE2\x80\xA6");
        return b;
    case LinkPhase::Reconnecting:
        b.colour = BannerColour::Lost;
        state("\xE2\x9A\xA0 " + Tr("MODULE LOST"));
        say(kDash + Tr("reconnecting to ") + in.address + Tr(" (attempt ") +
            std::to_string(in.reconnectAttempt) + ")");
        return b;
    case LinkPhase::Connected:
        break;
    }

    if (in.alarmAbove || in.alarmLatched) {
        // Red until acknowledged, flashing while it waits for that; a
        // recording running meanwhile goes on and says so.
        b.colour = BannerColour::Red;
        b.flashing = in.alarmLatched;
        b.lit = !in.alarmLatched || in.aboveThresholdMs % 1000 < 500;
        b.acknowledge = in.alarmLatched;
        if (in.alarmAbove) {
            state(Tr("ALARM"));
            say((in.alarmLatched ? std::string() : Tr(" (acknowledged)")) + kDash);
            figure(Bar(in.bar));
            say(Tr(" above ") + Bar(in.alarm.thresholdBar) + kDot);
            figure(Tons(force));
        } else {
            state(Tr("ALARM"));
            say(kDash + Tr("peak "));
            figure(Bar(in.alarm.peakBar));
            say(Tr(" above ") + Bar(in.alarm.thresholdBar) + kDot + Tr("now "));
            figure(pressure);
        }
        if (in.recording) say(kDot + Tr("REC ") + std::to_string(in.secondsLeft) + " s");
    } else if (in.recording) {
        // A recording that is no longer kept on disk as it runs is a warning:
        // a crash now would lose it.
        // So is one started with the press under pressure: it can never
        // pass, and the operator is told at once, not on the page.
        b.colour = in.journalProblem.empty() && in.startNote.empty() && !in.clockBehind
                       ? BannerColour::Green
                       : BannerColour::Amber;
        state(Tr("RECORDING"));
        say(kDash + std::to_string(in.secondsLeft) + Tr(" s left") + kDot);
        if (!in.journalProblem.empty()) say(Tr("journal not written: ") + in.journalProblem + kDot);
        if (!in.startNote.empty())
            say(Tr("STARTED UNDER PRESSURE: the rise is not on the curve") + kDot);
        if (in.clockBehind) say(Tr("PC clock earlier than the last recording") + kDot);
        figure(Bar(in.bar));
        say(kDot);
        figure(Tons(force));
    } else if (in.armed) {
        b.colour = BannerColour::Armed;
        state(Tr("ARMED"));
        say(kDash + Tr("waiting for pressure above 4 bar") + kDot);
        if (in.clockBehind) say(Tr("PC clock earlier than the last recording") + kDot);
        figures();
    } else if (in.haveReading && in.bar > 4 && (!in.done || in.lowSinceDone)) {
        // Not the press releasing after a recording, but a new stroke.
        b.colour = BannerColour::Amber;
        // The pressure alone: the words must stay large enough to be read
        // on the narrowest screen.
        state(in.pressureRising ? Tr("PRESSURE RISING") : Tr("UNDER PRESSURE"));
        say(kDash + Tr("NOT RECORDING") + kDot);
        figures();
    } else if (in.done) {
        b.colour = BannerColour::Slate;
        state(Tr("DONE"));
        // Which axle it was: the next one may be typed while it is shown.
        say(kDash + (in.doneJob.empty() ? std::string() : in.doneJob + kDot) + Tr("peak "));
        figure(Tons(in.results.peakForceTons));
        say(Tr(" at ") + Seconds(in.results.peakTimeSeconds));
        b.badge = in.judgement.verdict;
        b.incompleteBadge = in.incomplete;
        // Why it is not PASS, in short: "hold 1.5 s of 3.0 s".
        if (in.judgement.verdict == Verdict::Fail || in.judgement.verdict == Verdict::Incomplete)
            say(kDot + in.judgement.brief);
    } else {
        b.colour = BannerColour::Blue;
        state(Tr("READY"));
        say(kDash + Tr("press Start to record") + kDot);
        figures();
    }
    return b;
}

} // namespace

Banner ComposeBanner(const BannerInputs& in) {
    Banner b = StateBanner(in);
    // Between recordings, a store that is not written is a warning.
    const bool calm = b.colour == BannerColour::Grey || b.colour == BannerColour::Blue ||
                      b.colour == BannerColour::Slate || b.colour == BannerColour::Armed;
    if (!in.storeProblem.empty() && calm) {
        b.colour = BannerColour::Amber;
        b.runs.push_back({kDot + Tr("NOT IN THE RECORD STORE"), false});
    }
    // A press whose calibration is overdue measures nothing that can be
    // trusted as evidence: amber, whatever else is calm.
    if (in.calibrationOverdue && (calm || b.colour == BannerColour::Green)) {
        b.colour = BannerColour::Amber;
        b.runs.push_back({kDot + Tr("CALIBRATION OVERDUE"), false});
    }
    return b;
}
