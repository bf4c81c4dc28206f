#include "station/job_setup.h"

#include "station/translate.h"

#include <cmath>

namespace {

bool Blank(const std::string& text) {
    return text.find_first_not_of(" \t\r\n") == std::string::npos;
}

} // namespace

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
            *why = "The press \"" + setup.pressName +
                   "\" has no valid surface in superfici.ini, so no force can be recorded. "
                   "Enter its surface in cm\xC2\xB2 (a number above 0) in superfici.ini and "
                   "start the program again.";
        return false;
    }
    std::string reason;
    if (!ParseRecordLength(fields.recordLength, setup.recordLengthSeconds, &reason) ||
        !ParseAlarmThreshold(fields.alarmThreshold, setup.alarmThresholdBar, &reason) ||
        (setup.hasLimits && !ValidLimits(setup.limits, &reason))) {
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
    if (badLength) return Tr("a record length of 1 to 999 s");
    return "";
}
