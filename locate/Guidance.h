#pragma once

#include <QString>
#include <QVector>
#include <limits>

#include "locate/BearingFix.h"

namespace Vantrel::Locate {

// Where the receiver is now and what the next leg is made of.
struct GuidanceRequest_t
{
    double latitude = 0.0;   // receiver, degrees
    double longitude = 0.0;  // receiver, degrees
    double headingDeg = 0.0; // true
    double speedMps = 0.0;
    double legSeconds = 120.0;
    double periodSeconds = 0.0;  // the beacon's repetition period, 0 when unknown
    // A receiver standing still is planned as if it set off at this speed.
    static constexpr double standingSpeedMps = 10.0;
};

struct LegSuggestion_t
{
    bool crossed = false;  // the bearings cross: the areas below are known
    double headingDeg = 0.0;  // true, [0, 360)
    double legM = 0.0;
    double areaNowKm2 = std::numeric_limits<double>::quiet_NaN();    // of the 95 % ellipse
    double areaAfterKm2 = std::numeric_limits<double>::quiet_NaN();  // expected after the leg
    double endLatitude = 0.0;  // where the leg ends, for the arrow
    double endLongitude = 0.0;
    QString text;  // "Drive 070° for 1.2 km: 95 % area 2.4 → 0.6 km² expected"
};

// The leg whose bearings shrink the fix's 95 % ellipse most; before the bearings
// cross (the fix refused), the leg across the first bearing.
LegSuggestion_t suggestLeg(const QVector<Bearing_t>& bearings, const Fix_t& fix, const FixOptions_t& options,
                           const GuidanceRequest_t& request);

// The beacon's repetition period in seconds from the times its messages arrived,
// UTC ms in any order; missed messages leave gaps of several periods. 0 when fewer
// than two messages tell it.
double repetitionPeriodS(QVector<qint64> timesMs);

// "Drive 070° for 1.2 km: 95 % area 2.4 → 0.6 km² expected"
QString legText(double headingDeg, double legM, double areaNowKm2, double areaAfterKm2);

} // namespace Vantrel::Locate
