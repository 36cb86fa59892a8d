// A simulated drive past a platform, fed to a search log the way the Locate tab feeds it.
#pragma once

#include <GeographicLib/Geodesic.hpp>
#include <cmath>
#include <functional>

#include "locate/SearchLog.h"

namespace TestSupport {

// 6 km eastwards, 6 km off the platform, a bearing each 200 m in whole degrees: the k-th taken by
// receiver(k) and reading bias(k) degrees clockwise of the truth.
inline void addDrive(Vantrel::Locate::SearchLog* log, const QString& id, double latitude, double longitude,
                     const std::function<QString(int)>& receiver, const std::function<double(int)>& bias,
                     bool payload = false)
{
    const GeographicLib::Geodesic& geodesic = GeographicLib::Geodesic::WGS84();
    double startLatitude = 0.0, startLongitude = 0.0;
    geodesic.Direct(latitude, longitude, 200.0, 6000.0, startLatitude, startLongitude);
    for (int k = 0; k < 30; ++k) {
        Vantrel::Locate::Sighting_t sighting;
        sighting.platformId = id;
        sighting.receiver = receiver(k);
        sighting.timeMs = 1'700'000'000'000 + 10'000 * k;
        sighting.crcOk = sighting.dfrPositionValid = true;
        geodesic.Direct(startLatitude, startLongitude, 90.0, 200.0 * k, sighting.dfrLatitude, sighting.dfrLongitude);
        double distance = 0.0, azimuth = 0.0, arrival = 0.0;
        geodesic.Inverse(sighting.dfrLatitude, sighting.dfrLongitude, latitude, longitude, distance, azimuth, arrival);
        sighting.direction = quint32(std::lround(std::fmod(azimuth + bias(k) + 720.0, 360.0))) % 360;
        log->add(sighting, QString(), true, payload, latitude, longitude);
    }
}

// Metres from the platform's fix to the truth, infinite without a fix.
inline double fixError(const Vantrel::Locate::SearchLog& log, const QString& id, double latitude, double longitude)
{
    const Vantrel::Locate::Fix_t& fix = log.platform(log.indexOf(id)).fix;
    double metres = 0.0;
    GeographicLib::Geodesic::WGS84().Inverse(fix.latitude, fix.longitude, latitude, longitude, metres);
    return fix.ok() ? metres : qInf();
}

} // namespace TestSupport
