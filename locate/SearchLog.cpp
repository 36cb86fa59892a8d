#include "locate/SearchLog.h"

#include <algorithm>
#include <numeric>

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
    if (platform.bearings.size() == 1 || timeMs >= platform.receiverTimeMs) {
        platform.receiverLatitude = bearing.latitude;
        platform.receiverLongitude = bearing.longitude;
        platform.receiverTimeMs = timeMs;
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
        FixOptions_t options = fixOptions;
        // Untimed bearings belong to no stretch: they stay in while no stretch is left out.
        if (stretch.leftOut() > 0) {
            options.fromMs = stretch.fromMs;
        }
        // Only a fix of the same question is a start worth taking: a new search is another one.
        const bool sameQuestion = entry.stale == STALE_BEARINGS && stretch.fromMs == platform.stretch.fromMs;
        platform.stretch = stretch;
        platform.fix = sameQuestion && platform.fix.ok() ? locate(platform.bearings, options, platform.fix)
                                                         : locate(platform.bearings, options);
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

void SearchLog::clear()
{
    platforms.clear();
    byId.clear();
}

} // namespace Vantrel::Locate
