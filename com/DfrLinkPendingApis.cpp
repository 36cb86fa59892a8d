// Temporary stand-ins for the slot operations that arrive with the slots work.
#include "com/DfrLink.h"

#include "inhouse/Exception.h"

namespace Vantrel::Com {

namespace {
[[noreturn]] void notAvailable(const char* operation)
{
    throw Tarsk::Utils::Exception(QStringLiteral("%1: not available").arg(QLatin1String(operation)), QtCriticalMsg);
}
} // namespace

void DfrLink::createPlatformInfo(quint32)
{
    notAvailable("createPlatformInfo");
}

void DfrLink::deletePlatformInfo(quint32)
{
    notAvailable("deletePlatformInfo");
}

void DfrLink::setPlatformInfo(const PlatformInfo_t&, bool)
{
    notAvailable("setPlatformInfo");
}

DfrLink::GpsFormatInfo_t DfrLink::getGpsFormatInfo(quint32)
{
    notAvailable("getGpsFormatInfo");
}

void DfrLink::setGpsFormatInfo(const GpsFormatInfo_t&)
{
    notAvailable("setGpsFormatInfo");
}

} // namespace Vantrel::Com
