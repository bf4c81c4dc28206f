#include "station/job_setup.h"

#include "station/translate.h"

#include "records/record_store.h"
#include "station/local_time.h"

#include <cctype>
#include <cmath>

namespace {

bool Blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

} // namespace

const Program* ChosenProgram(const JobFields& fields, std::string* refusal) {
    std::string why;
    const Program* chosen =
        fields.programs == nullptr
            ? nullptr
            : ProgramFor(*fields.programs, fields.job.bearingDesignation, fields.pressName, &why);
    if (!why.empty()) why[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(why[0])));
    if (chosen == nullptr && why.empty() && fields.programRequired)
        why = Tr("No mounting program is kept for the bearing \"") + fields.job.bearingDesignation +
              Tr("\", and every bearing needs one. The quality engineer adds it under Modify "
                 "\xE2\x86\x92 Mounting programs.");
    else if (!why.empty())
        why += Tr(". The quality engineer corrects the programs under Modify \xE2\x86\x92 "
                  "Mounting programs.");
    if (refusal) *refusal = why;
    return why.empty() ? chosen : nullptr;
}

bool MakeSetup(const JobFields& fields, int64_t armedAt, RecordingSetup& setup, std::string* why) {
    setup = RecordingSetup();
    setup.job = fields.job;
    if (setup.job.mountingSide.empty()) setup.job.mountingSide = "A";
    setup.pressName = fields.pressName;
    setup.surface = fields.surface;
    if (fields.hasLimits) {
        setup.hasLimits = true;
        setup.limits = fields.limits;
        setup.limitsSetAt = fields.limitsSetAt;
        setup.limitsSetBy = fields.limitsSetBy;
    }
    setup.moduleAddress = fields.moduleAddress;
    setup.armedAt = armedAt;
    setup.version = kProgramVersion;
    setup.uuid = NewRecordingId();
    setup.pcName = fields.pcName;

    if (!(std::isfinite(setup.surface) && setup.surface > 0)) {
        if (why)
            *why = TrFormat("The press \"%s\" has no valid surface in superfici.ini, so no force "
                            "can be recorded. Enter its surface in cm\xC2\xB2 (a number above 0) "
                            "in superfici.ini and start the program again.",
                            setup.pressName.c_str());
        return false;
    }
    // The measuring chain: the press's identity and calibration go with the
    // recording; an overdue calibration stops the job unless a quality
    // engineer allowed it.
    if (fields.registered) {
        const PressEntry& press = *fields.registered;
        setup.pressIdentity = PressIdentityLine(press);
        setup.calibrationNote = CalibrationNote(press, armedAt);
        const CalibrationStatus calibration = CalibrationAt(press, armedAt);
        if (calibration.state == CalibrationState::Overdue ||
            (calibration.state == CalibrationState::NotRecorded && fields.calibrationRequired)) {
            if (why)
                *why = calibration.state == CalibrationState::Overdue
                           ? TrFormat("The press \"%s\" may not record: its calibration was due "
                                      "on %s. A quality engineer may allow Start for a stated "
                                      "reason and time (Modify \xE2\x86\x92 Press "
                                      "Register\xE2\x80\xA6).",
                                      setup.pressName.c_str(), press.calibration.dueOn.c_str())
                           : TrFormat("The press \"%s\" may not record: its calibration is not "
                                      "recorded, and this installation requires one (Modify "
                                      "\xE2\x86\x92 Press Register\xE2\x80\xA6).",
                                      setup.pressName.c_str());
            return false;
        }
    }
    std::string reason;
    const Program* program = ChosenProgram(fields, &reason);
    if (!reason.empty()) {
        if (why) *why = reason;
        return false;
    }
    if (program != nullptr) {
        setup.program = std::make_shared<Program>(*program);
        // What the program sets is not typed.
        if (program->recordLengthSeconds > 0)
            setup.recordLengthSeconds = program->recordLengthSeconds;
        if (program->alarmThresholdBar > 0) setup.alarmThresholdBar = program->alarmThresholdBar;
    }
    if ((program == nullptr || program->recordLengthSeconds == 0) &&
        !ParseRecordLength(fields.recordLength, setup.recordLengthSeconds, &reason)) {
        if (why) *why = reason;
        return false;
    }
    if ((program == nullptr || program->alarmThresholdBar == 0) &&
        !ParseAlarmThreshold(fields.alarmThreshold, setup.alarmThresholdBar, &reason)) {
        if (why) *why = reason;
        return false;
    }
    if (setup.hasLimits && !ValidLimits(setup.limits, &reason)) {
        if (why) *why = reason;
        return false;
    }
    return true;
}

std::string MissingForStart(const JobFields& fields, std::string* operatorHint,
                            std::string* axleHint, std::string* lengthHint) {
    const bool noOperator = Blank(fields.job.operatorId);
    const bool noAxle = Blank(fields.job.axleDesignation);
    int seconds = 0;
    const bool badLength = !ParseRecordLength(fields.recordLength, seconds, nullptr);
    if (operatorHint) *operatorHint = noOperator ? Tr("required for Start") : "";
    if (axleHint) *axleHint = noAxle ? Tr("required for Start") : "";
    if (lengthHint) *lengthHint = badLength ? Tr("1 to 999 s") : "";
    if (noOperator) return Tr("the operator ID");
    if (noAxle) return Tr("the axle designation");
    std::string refusal;
    const Program* program = ChosenProgram(fields, &refusal);
    if (!refusal.empty()) return Tr("a mounting program for this bearing on this press");
    if (badLength && (program == nullptr || program->recordLengthSeconds == 0))
        return Tr("a record length of 1 to 999 s");
    return "";
}

std::string EarlierNote(const std::string& axle, const std::string& side,
                        const std::vector<RecordSummary>& found) {
    if (found.empty()) return "";
    // The newest FAIL, else the newest recording of any result.
    const RecordSummary* named = &found.front();
    for (const RecordSummary& row : found)
        if (row.result == "FAIL") {
            named = &row;
            break;
        }
    const std::string at = IsoTime(named->stoppedAt).substr(0, 5);
    const std::string who = axle + " " + side;
    std::string note =
        named->result == "FAIL"
            ? TrFormat("%s already has a FAIL today at %s", who.c_str(), at.c_str())
        : named->result == "PASS"
            ? TrFormat("%s already has a PASS today at %s", who.c_str(), at.c_str())
        : named->result == "INCOMPLETE"
            ? TrFormat("%s already has an INCOMPLETE recording today at %s", who.c_str(),
                       at.c_str())
            : TrFormat("%s was already recorded today at %s", who.c_str(), at.c_str());
    if (found.size() > 1)
        note += " " + TrFormat("(%d recordings today)", static_cast<int>(found.size()));
    return note;
}
