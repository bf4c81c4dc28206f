#include "recorder/banner_state.h"

#include "recorder/cycle.h"

#include <cstdio>

namespace {

const char* const kDash = " \xE2\x80\x94 "; // em dash
const char* const kDot = " \xC2\xB7 ";      // middle dot

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
    const std::string pressure = in.haveReading ? Bar(in.bar) : "no reading";

    switch (in.link) {
    case LinkPhase::NotConnected:
        say(std::string("NOT CONNECTED") + kDash + "press Connect");
        return b;
    case LinkPhase::Connecting:
        say("CONNECTING to " + in.address + " \xE2\x80\xA6");
        return b;
    case LinkPhase::Reconnecting:
        b.colour = BannerColour::Lost;
        say(std::string("\xE2\x9A\xA0 MODULE LOST") + kDash + "reconnecting to " + in.address +
            " (attempt " + std::to_string(in.reconnectAttempt) + ")");
        return b;
    case LinkPhase::Connected:
        break;
    }

    const double force = ForceTons(in.bar, in.surface);
    if (in.alarmAbove || in.alarmLatched) {
        // Red until acknowledged, flashing while it waits for that; a
        // recording running meanwhile goes on and says so.
        b.colour = BannerColour::Red;
        b.flashing = in.alarmLatched;
        b.lit = !in.alarmLatched || in.aboveThresholdMs % 1000 < 500;
        b.acknowledge = in.alarmLatched;
        if (in.alarmAbove) {
            say(std::string(in.alarmLatched ? "ALARM" : "ALARM (acknowledged)") + kDash);
            figure(Bar(in.bar));
            say(" above " + Bar(in.alarm.thresholdBar) + kDot);
            figure(Tons(force));
        } else {
            say(std::string("ALARM") + kDash + "peak ");
            figure(Bar(in.alarm.peakBar));
            say(" above " + Bar(in.alarm.thresholdBar) + kDot + "now ");
            figure(pressure);
        }
        if (in.recording) say(std::string(kDot) + "REC " + std::to_string(in.secondsLeft) + " s");
    } else if (in.recording) {
        // A recording that is no longer kept on disk as it runs is a warning:
        // a crash now would lose it.
        b.colour = in.journalProblem.empty() ? BannerColour::Green : BannerColour::Amber;
        say(std::string("RECORDING") + kDash + std::to_string(in.secondsLeft) + " s left" + kDot);
        if (!in.journalProblem.empty()) say("journal not written: " + in.journalProblem + kDot);
        figure(Bar(in.bar));
        say(kDot);
        figure(Tons(force));
    } else if (in.armed) {
        b.colour = BannerColour::Amber;
        say(std::string("ARMED") + kDash + "waiting for pressure above 4 bar" + kDot);
        figure(pressure);
    } else if (in.haveReading && in.bar > 4 && (!in.done || in.lowSinceDone)) {
        // Not the press releasing after a recording, but a new stroke.
        b.colour = BannerColour::Amber;
        say(std::string("PRESSURE RISING") + kDash + "NOT RECORDING (press Start)" + kDot);
        figure(pressure);
    } else if (in.done) {
        b.colour = BannerColour::Slate;
        say(std::string("DONE") + kDash + "peak ");
        figure(Tons(in.results.peakForceTons));
        say(" at " + Seconds(in.results.peakTimeSeconds));
        b.badge = in.judgement.verdict;
        b.incompleteBadge = in.incomplete;
    } else {
        b.colour = BannerColour::Blue;
        say(std::string("READY") + kDash + "press Start to record" + kDot);
        figure(pressure);
    }
    return b;
}

} // namespace

Banner ComposeBanner(const BannerInputs& in) {
    Banner b = StateBanner(in);
    // Between recordings, a store that is not written is a warning.
    const bool calm = b.colour == BannerColour::Grey || b.colour == BannerColour::Blue ||
                      b.colour == BannerColour::Slate;
    if (!in.storeProblem.empty() && calm) {
        b.colour = BannerColour::Amber;
        b.runs.push_back({std::string(kDot) + "NOT IN THE RECORD STORE", false});
    }
    return b;
}
