#include "ui/locate/LocateSightings.h"

namespace Vantrel::Ui {

Locate::Sighting_t sightingOf(const Com::DfrLink::OrvanRxMessage_t& message, const QString& receiver)
{
    Locate::Sighting_t sighting;
    sighting.platformId = message.platformId;
    sighting.timeMs = message.dateTime.isNull() ? 0 : message.dateTime.toQDateTime().toMSecsSinceEpoch();
    sighting.direction = message.direction;
    sighting.crcOk = message.crcOk;
    sighting.dfrPositionValid = message.dfrPositionValid;
    sighting.dfrLatitude = message.dfrLatitude;
    sighting.dfrLongitude = message.dfrLongitude;
    sighting.level = message.level;
    sighting.receiver = receiver;
    return sighting;
}

} // namespace Vantrel::Ui
