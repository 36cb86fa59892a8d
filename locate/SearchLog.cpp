#include "locate/SearchLog.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <optional>
#include <vector>

namespace Vantrel::Locate {

bool SearchLog::add(const Sighting_t& message, const QString& label, bool live,
                    bool payloadPosition, double payloadLatitude, double payloadLongitude)
{
    // A direction of 360 or more is no bearing; the receiver's own position is what makes one usable.
    if (!message.crcOk || !message.dfrPositionValid || message.direction >= 360 || message.platformId.isEmpty()) {
        return false;
    }
    const qint64 timeMs = message.timeMs;
    int index = byId.value(message.platformId, -1);
    if (index < 0) {
        index = int(platforms.size());
        byId.insert(message.platformId, index);
        platforms.append(Entry_t());
        platforms.last().platform.id = message.platformId;
    }
    Entry_t& entry = platforms[index];
    // A flash read after the live reception, or a dump opened twice, brings the same message again.
    const Heard_t heard{timeMs, message.direction, message.dfrLatitude, message.dfrLongitude};
    if (entry.heard.contains(heard)) {
        return false;
    }
    entry.heard.insert(heard);

    Platform_t& platform = entry.platform;
    if (!label.isEmpty()) {
        platform.label = label;
    }
    Bearing_t bearing;
    bearing.latitude = message.dfrLatitude;
    bearing.longitude = message.dfrLongitude;
    bearing.azimuth = message.direction;
    bearing.timeMs = timeMs;
    bearing.level = message.level;
    platform.bearings.append(bearing);
    platform.live.append(live);
    int receiver = int(platform.receivers.indexOf(message.receiver));
    if (receiver < 0) {
        receiver = int(platform.receivers.size());
        // Past the index's range a receiver stays unknown: receiverOf() finds no serial there.
        if (receiver < std::numeric_limits<quint16>::max()) {
            platform.receivers.append(message.receiver);
        }
    }
    platform.receiverIndex.append(quint16(std::min<int>(receiver, std::numeric_limits<quint16>::max())));
    if (platform.bearings.size() == 1 || (live && !platform.receiverLive) ||
        (live == platform.receiverLive && timeMs >= platform.receiverTimeMs)) {
        platform.receiverLatitude = bearing.latitude;
        platform.receiverLongitude = bearing.longitude;
        platform.receiverTimeMs = timeMs;
        platform.receiverLive = live;
        platform.receiverNow = platform.receiverIndex.last();
    }
    if (payloadPosition) {
        platform.payloadPositions.append({timeMs, payloadLatitude, payloadLongitude});
    }
    if (entry.stale == STALE_NONE) {
        entry.stale = STALE_BEARINGS;
    }
    return true;
}

void SearchLog::setOptions(const FixOptions_t& options)
{
    fixOptions = options;
    for (Entry_t& entry : platforms) {
        entry.stale = STALE_OPTIONS;
    }
}

void SearchLog::setCalibrations(const ReceiverCalibrations& calibrations)
{
    for (Entry_t& entry : platforms) {
        for (const QString& serial : std::as_const(entry.platform.receivers)) {
            if (calibrations.contains(serial) != receiverCalibrations.contains(serial) ||
                !(calibrations.entry(serial) == receiverCalibrations.entry(serial))) {
                entry.stale = STALE_OPTIONS;
                break;
            }
        }
    }
    receiverCalibrations = calibrations;
}

QVector<double> SearchLog::receiverOffsetsDeg(const Platform_t& platform) const
{
    QVector<double> offsets;
    for (const QString& serial : platform.receivers) {
        offsets.append(receiverCalibrations.contains(serial) ? receiverCalibrations.entry(serial).offsetDeg
                                                             : fixOptions.offsetDeg);
    }
    return offsets;
}

FixOptions_t SearchLog::fixInput(const Platform_t& platform, QVector<Bearing_t>* bearings) const
{
    bearings->clear();
    const FixOptions_t options = optionsFor(platform, fixOptions, bearings);
    if (bearings->isEmpty()) {
        *bearings = platform.bearings;
    }
    return options;
}

FixOptions_t SearchLog::optionsFor(const Platform_t& platform, const FixOptions_t& windowed,
                                   QVector<Bearing_t>* corrected) const
{
    // Per receiver once, not per bearing: the live update goes through every bearing.
    std::vector<std::optional<ReceiverCalibrations::Entry_t>> entries(size_t(platform.receivers.size()));
    bool any = false;
    for (int k = 0; k < platform.receivers.size(); ++k) {
        if (receiverCalibrations.contains(platform.receivers.at(k))) {
            entries[size_t(k)] = receiverCalibrations.entry(platform.receivers.at(k));
            any = true;
        }
    }
    FixOptions_t options = windowed;
    if (!any) {
        return options;
    }
    *corrected = platform.bearings;
    double sumSquares = 0.0;
    int calibrated = 0;
    bool allCalibrated = true;
    for (int i = 0; i < corrected->size(); ++i) {
        Bearing_t& bearing = (*corrected)[i];
        const bool inWindow = !(windowed.fromMs && bearing.timeMs < windowed.fromMs) &&
                              !(windowed.toMs && bearing.timeMs > windowed.toMs);
        const size_t receiver = platform.receiverIndex.at(i);
        const std::optional<ReceiverCalibrations::Entry_t> entry =
            receiver < entries.size() ? entries[receiver] : std::nullopt;
        if (!entry) {
            allCalibrated = allCalibrated && !inWindow;
            continue;
        }
        // The fix adds the options' offset to every bearing: these get their receiver's instead.
        bearing.azimuth = std::fmod(bearing.azimuth + entry->offsetDeg - windowed.offsetDeg + 720.0, 360.0);
        bearing.sigmaDeg = entry->sigmaDeg;
        if (inWindow) {
            sumSquares += entry->sigmaDeg * entry->sigmaDeg;
            ++calibrated;
        }
    }
    if (allCalibrated && calibrated > 0) {
        // Each bearing weighs by its own receiver's sigma; the fix reports their mean square.
        options.sigmaDeg = std::sqrt(sumSquares / calibrated);
        options.estimateSigma = false;
    } else {
        // A sigma estimated from all the residuals stands for every receiver alike.
        for (Bearing_t& bearing : *corrected) {
            bearing.sigmaDeg = 0.0;
        }
    }
    return options;
}

void SearchLog::setStretches(int keep, qint64 gap)
{
    keepStretches = keep;
    gapMs = gap;
    for (Entry_t& entry : platforms) {
        entry.stale = STALE_OPTIONS;
    }
}

int SearchLog::updateFixes()
{
    int updated = 0;
    for (Entry_t& entry : platforms) {
        if (entry.stale == STALE_NONE) {
            continue;
        }
        Platform_t& platform = entry.platform;
        const SearchStretch_t stretch =
            searchStretch(platform.bearings, gapMs, keepStretches, fixOptions.fromMs, fixOptions.toMs);
        FixOptions_t windowed = fixOptions;
        // Untimed bearings belong to no stretch: they stay in while no stretch is left out.
        if (stretch.leftOut() > 0) {
            windowed.fromMs = stretch.fromMs;
        }
        QVector<Bearing_t> corrected;
        const FixOptions_t options = optionsFor(platform, windowed, &corrected);
        const QVector<Bearing_t>& bearings = corrected.isEmpty() ? platform.bearings : corrected;
        // Only a fix of the same question is a start worth taking: a new search is another one.
        const bool sameQuestion = entry.stale == STALE_BEARINGS && stretch.fromMs == platform.stretch.fromMs;
        platform.stretch = stretch;
        platform.fix = sameQuestion && platform.fix.ok() ? locate(bearings, options, platform.fix)
                                                         : locate(bearings, options);
        entry.stale = STALE_NONE;
        ++updated;
    }
    return updated;
}

QVector<int> SearchLog::Platform_t::timeOrder() const
{
    QVector<int> order(bearings.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [this](int left, int right) { return bearings.at(left).timeMs < bearings.at(right).timeMs; });
    return order;
}

QVector<int> SearchLog::Platform_t::timeOrderOf(int receiver) const
{
    QVector<int> order = timeOrder();
    order.removeIf([this, receiver](int index) { return receiverIndex.value(index) != receiver; });
    return order;
}

void SearchLog::clear()
{
    platforms.clear();
    byId.clear();
}

} // namespace Vantrel::Locate
