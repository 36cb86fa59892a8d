#pragma once

#include <QByteArray>
#include <QString>

#include "locate/LikelihoodRegion.h"
#include "locate/SearchLog.h"

namespace Vantrel::Locate {

// One platform's search as files a GIS reads: the fix, its 95 % ellipse and, when given,
// its 95 % region, the bearing lines, the positions the platform sent and the receiver's
// track. GPX has no polygons and leaves both shapes out.
class GisExport
{
public:
    enum Format_t
    {
        FORMAT_GPX,      // GPX 1.1: waypoints and the receiver's track
        FORMAT_KML,      // KML 2.2
        FORMAT_GEOJSON,  // RFC 7946
    };

    // Writes the file whole or not at all. Returns "" when written, else why not (with the file name).
    // The bearings are drawn with offsetDeg added, or with their receiver's in receiverOffsetsDeg
    // (in the order of the platform's receivers) when given.
    static QString write(const QString& fileName, Format_t format, const SearchLog::Platform_t& platform,
                         double offsetDeg, const LikelihoodRegion& region = LikelihoodRegion(),
                         const QVector<double>& receiverOffsetsDeg = {});
    static QByteArray text(Format_t format, const SearchLog::Platform_t& platform, double offsetDeg,
                           const LikelihoodRegion& region = LikelihoodRegion(),
                           const QVector<double>& receiverOffsetsDeg = {});

    // Where a bearing line ends: abreast of the fix when it lies ahead, else defaultRayM out.
    static void rayEnd(const Bearing_t& bearing, const Fix_t& fix, double offsetDeg, double* latitude,
                       double* longitude);
    static constexpr double defaultRayM = 5000.0;
    // "time, bearing, level, residual" of one bearing of the platform.
    static QString describeBearing(const SearchLog::Platform_t& platform, int index);

private:
    static QByteArray gpx(const SearchLog::Platform_t& platform);
    static QByteArray kml(const SearchLog::Platform_t& platform, double offsetDeg, const LikelihoodRegion& region,
                          const QVector<double>& receiverOffsetsDeg);
    static QByteArray geoJson(const SearchLog::Platform_t& platform, double offsetDeg,
                              const LikelihoodRegion& region, const QVector<double>& receiverOffsetsDeg);
};

} // namespace Vantrel::Locate
