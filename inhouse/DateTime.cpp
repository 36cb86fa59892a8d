#include "inhouse/DateTime.h"

#include <cmath>

namespace Tarsk::Utils {

namespace {

constexpr qint64 msecsPerDay = 86400000;
constexpr double secondsPerDay = 86400.0;
// Far beyond any real date (about 146 million years) and well inside what
// QDateTime and a 64-bit count of milliseconds hold.
constexpr qint64 maxAbsMillis = qint64(1) << 62;

// Floor division: instants before 1858-11-17 still get seconds in [0, 86400).
qint64 floorDiv(qint64 numerator, qint64 denominator)
{
    qint64 quotient = numerator / denominator;
    if ((numerator % denominator != 0) && ((numerator < 0) != (denominator < 0))) {
        --quotient;
    }
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
    if (!dateTime.isValid()) {
        return DateTime();
    }
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
    // Records come from the line and from files: any day or seconds value must give
    // a defined result, an invalid QDateTime when it cannot be an instant.
    if (!std::isfinite(seconds)) {
        return QDateTime();
    }
    const double millis = std::floor(1000.0 * seconds + 0.5);
    if (std::fabs(millis) >= maxAbsMillis) {
        return QDateTime();
    }
    // The whole days stay integral so that far dates lose no millisecond to double precision.
    qint64 days = 0;
    qint64 msecs = 0;
    if (__builtin_sub_overflow(day, unixEpochMjd, &days) || __builtin_mul_overflow(days, msecsPerDay, &msecs)
        || __builtin_add_overflow(msecs, qint64(millis), &msecs) || msecs <= -maxAbsMillis
        || msecs >= maxAbsMillis) {
        return QDateTime();
    }
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
