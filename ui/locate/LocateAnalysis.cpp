#include "ui/locate/LocateAnalysis.h"

#include <cmath>

#include "locate/ClockOffsets.h"
#include "locate/ReceiverTrack.h"

namespace Vantrel::Ui {

bool LocateAnalysis::Key_t::operator==(const Key_t& other) const
{
    const auto sameFix = [](const Locate::Fix_t& a, const Locate::Fix_t& b) {
        return a.refusal == b.refusal && a.latitude == b.latitude && a.longitude == b.longitude &&
               a.used == b.used && a.sigmaDeg == b.sigmaDeg && a.semiMajorM == b.semiMajorM;
    };
    const auto sameOptions = [](const Locate::FixOptions_t& a, const Locate::FixOptions_t& b) {
        return a.estimator == b.estimator && a.sigmaDeg == b.sigmaDeg && a.estimateSigma == b.estimateSigma &&
               a.offsetDeg == b.offsetDeg && a.minBaselineM == b.minBaselineM && a.fromMs == b.fromMs &&
               a.toMs == b.toMs;
    };
    return id == other.id && bearings == other.bearings && sameFix(fix, other.fix) &&
           sameOptions(options, other.options) && request.guide == other.request.guide &&
           request.legSeconds == other.request.legSeconds;
}

Locate::FixOptions_t LocateAnalysis::optionsOf(const Locate::SearchLog::Platform_t& platform,
                                               const Locate::FixOptions_t& options)
{
    Locate::FixOptions_t taken = options;
    // As SearchLog::updateFixes(): untimed bearings stay in while no stretch is left out.
    if (platform.stretch.leftOut() > 0) {
        taken.fromMs = platform.stretch.fromMs;
    }
    return taken;
}

void LocateAnalysis::clear()
{
    *this = LocateAnalysis();
}

bool LocateAnalysis::update(const Locate::SearchLog::Platform_t* platform, const QVector<Locate::Bearing_t>& bearings,
                            const Locate::FixOptions_t& logOptions, const Request_t& request)
{
    if (!platform) {
        const bool had = !key.id.isEmpty();
        clear();
        return had;
    }
    const Locate::FixOptions_t options = optionsOf(*platform, logOptions);
    Key_t now{platform->id, int(platform->bearings.size()), platform->fix, options, request};
    if (now == key) {
        return false;
    }
    key = now;
    QVector<QVector<qint64>> timesByReceiver(platform->receivers.size());
    for (int i = 0; i < platform->bearings.size(); ++i) {
        const int receiver = platform->receiverIndex.value(i);
        if (receiver < timesByReceiver.size()) {
            timesByReceiver[receiver].append(platform->bearings.at(i).timeMs);
        }
    }
    QStringList clockLines;
    for (const Locate::ClockOffset_t& offset : Locate::clockOffsets(timesByReceiver)) {
        clockLines.append(Locate::clockOffsetText(offset, platform->receivers));
    }
    clockText = clockLines.join(QLatin1Char('\n'));
    const Locate::Fix_t& still = platform->fix;
    driftFix = still.ok() ? Locate::locateDrifting(bearings, options, still) : Locate::DriftFix_t();
    isDrifting = driftFix.ok() && Locate::driftSupported(driftFix);
    shownFix = isDrifting ? Locate::positionNow(driftFix) : still;
    likelihoodRegion = isDrifting ? Locate::LikelihoodRegion()
                                  : Locate::LikelihoodRegion(bearings, options, still);

    hasLeg = request.guide && !platform->bearings.isEmpty();
    legSuggestion = {};
    if (hasLeg) {
        // This receiver's bearings give its heading and speed, and the period: another's copies
        // of a message, seconds apart on another clock, would pass for a period.
        const QVector<int> order = platform->timeOrderOf(platform->receiverNow);
        QVector<qint64> times;
        times.reserve(order.size());
        for (int index : order) {
            const qint64 timeMs = platform->bearings.at(index).timeMs;
            if (timeMs && (!options.fromMs || timeMs >= options.fromMs) && (!options.toMs || timeMs <= options.toMs)) {
                times.append(timeMs);
            }
        }
        Locate::GuidanceRequest_t guidance;
        guidance.latitude = platform->receiverLatitude;
        guidance.longitude = platform->receiverLongitude;
        const double heading = Locate::receiverHeading(platform->bearings, order);
        guidance.headingDeg = std::isnan(heading) ? 0.0 : heading;
        guidance.speedMps = Locate::receiverSpeedMps(platform->bearings, order);
        guidance.legSeconds = request.legSeconds;
        guidance.periodSeconds = Locate::repetitionPeriodS(times);
        legSuggestion = Locate::suggestLeg(bearings, shownFix, options, guidance);
        hasLeg = !legSuggestion.text.isEmpty();
    }
    return true;
}

} // namespace Vantrel::Ui
