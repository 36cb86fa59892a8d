#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QtGlobal>

namespace Tarsk::Utils {

// A UTC instant as Modified Julian Day plus seconds since midnight.
class DateTime
{
public:
    static constexpr qint64 unixEpochMjd = 40587;

    DateTime() = default;
    DateTime(qint64 day, double seconds) : day(day), seconds(seconds) {}

    // Millisecond resolution; the instant counts, not the zone it is written in.
    static DateTime fromQDateTime(const QDateTime& dateTime);
    static DateTime currentDateTime();
    QDateTime toQDateTime() const;

    bool isNull() const { return day == 0 && seconds == 0.0; }

    bool operator<(const DateTime& other) const;
    bool operator==(const DateTime& other) const;
    bool operator!=(const DateTime& other) const { return !(*this == other); }

    qint64 day = 0;        // Modified Julian Day
    double seconds = 0.0;  // since midnight UTC
};

} // namespace Tarsk::Utils

Q_DECLARE_METATYPE(Tarsk::Utils::DateTime)
