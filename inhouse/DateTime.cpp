#include "inhouse/DateTime.h"

#include <cmath>

namespace Tarsk::Utils {

namespace {

constexpr qint64 msecsPerDay = 86400000;
constexpr double secondsPerDay = 86400.0;

// Floor division: instants before 1858-11-17 still get seconds in [0, 86400).
qint64 floorDiv(qint64 numerator, qint64 denominator)
{
    qint64 quotient = numerator / denominator;
    if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0)))
        --quotient;
    return quotient;
}

// Signed distance in seconds; fields need not be normalised, so (1, 0) and (0, 86400) are one instant.
double secondsBetween(const DateTime& from, const DateTime& to)
{
    return double(to.day - from.day) * secondsPerDay + (to.seconds - from.seconds);
}

} // namespace

DateTime DateTime::fromQDateTime(const QDateTime& dateTime)
{
    if (!dateTime.isValid())
        return DateTime();
    const qint64 sinceMjdZero = dateTime.toMSecsSinceEpoch() + unixEpochMjd * msecsPerDay;
    const qint64 day = floorDiv(sinceMjdZero, msecsPerDay);
    return DateTime(day, double(sinceMjdZero - day * msecsPerDay) / 1000.0);
}

DateTime DateTime::currentDateTime()
{
    return fromQDateTime(QDateTime::currentDateTimeUtc());
}

QDateTime DateTime::toQDateTime() const
{
    // The whole days stay integral so that far dates lose no millisecond to double precision.
    const qint64 msecs = (day - unixEpochMjd) * msecsPerDay + qint64(std::floor(1000.0 * seconds + 0.5));
    return QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
}

bool DateTime::operator<(const DateTime& other) const
{
    return secondsBetween(*this, other) > 0.0;
}

bool DateTime::operator==(const DateTime& other) const
{
    return secondsBetween(*this, other) == 0.0;
}

} // namespace Tarsk::Utils
