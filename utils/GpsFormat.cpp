#include "utils/GpsFormat.h"

#include <QDir>
#include <QFile>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <limits>

#include "inhouse/Exception.h"
#include "utils/FilePlace.h"

namespace Vantrel::Utils {

namespace {

// name, three description parts, payload length, 9 + 9 coordinate fields,
// encryption type, polynom, CRC pos/len, data pos/len, index pos, GPS check
constexpr int fieldsPerLine = 31;

qint32 toInt32(const QString& text)
{
    bool ok = false;
    const qint32 value = text.toInt(&ok, 10);
    return ok ? value : 0;
}

quint16 toUInt16(const QString& text)
{
    bool ok = false;
    const quint16 value = text.toUShort(&ok, 10);
    return ok ? value : 0;
}

// Fields [first, first + 9) in the order of CoordInfo_t.
CoordInfo_t toCoordInfo(const QStringList& fields, int first)
{
    CoordInfo_t coord;
    for (int i = 0; i < coordInfoFieldCount; ++i) {
        coord.*coordInfoFields[i] = toInt32(fields.at(first + i));
    }
    return coord;
}

GpsFormat_t toGpsFormat(const QStringList& fields)
{
    GpsFormat_t format;
    format.name = fields.at(0);
    // One pass so that a "%" inside a field is never taken for a place marker.
    format.description = QStringLiteral("%1 - %2 (%3)").arg(fields.at(1), fields.at(2), fields.at(3));
    format.payloadLen = toInt32(fields.at(4));
    format.lat = toCoordInfo(fields, 5);
    format.lon = toCoordInfo(fields, 5 + coordInfoFieldCount);
    // Kept as read: a newer file may know types this program does not.
    format.encryptionType = static_cast<GpsFormat::EncryptionType_t>(toUInt16(fields.at(23)));
    bool ok = false;
    const qint32 polynom = fields.at(24).toInt(&ok, 16);
    format.polynom = ok ? static_cast<quint16>(polynom & 0xFFFF) : 0;
    format.crcPos = toInt32(fields.at(25));
    format.crcLen = toInt32(fields.at(26));
    format.dataPos = toInt32(fields.at(27));
    format.dataLen = toInt32(fields.at(28));
    format.indexPos = toInt32(fields.at(29));
    format.gpsCheck = toUInt16(fields.at(30)) != 0;
    return format;
}

bool sameCoord(const CoordInfo_t& a, const CoordInfo_t& b)
{
    return std::all_of(std::begin(coordInfoFields), std::end(coordInfoFields),
                       [&](qint32 CoordInfo_t::*field) { return a.*field == b.*field; });
}

} // namespace

GpsFormat::GpsFormat()
{
    resetCatalog();
}

GpsFormat* GpsFormat::instance()
{
    // Left null when the constructor throws, so the next call reads the file again.
    static GpsFormat* catalog = nullptr;
    if (!catalog) {
        catalog = new GpsFormat();
    }
    return catalog;
}

void GpsFormat::resetCatalog()
{
    formats.clear();
    readGpsFormatsFromFile(QFileInfo(FilePlace::resolve(QStringLiteral("../Data/format.kvl"))));
}

void GpsFormat::readGpsFormatsFromFile(const QFileInfo& file)
{
    QFile input(file.absoluteFilePath());
    if (!input.open(QIODevice::ReadOnly | QIODevice::Text)) {
        throw Tarsk::Utils::Exception(
            Tarsk::Utils::Exception::KIND_FILE, QStringLiteral("Unable to open GPS formats file %1").arg(file.absoluteFilePath()), QtCriticalMsg);
        }

    QTextStream stream(&input);
    QString line;
    int index = 0;
    while (stream.readLineInto(&line)) {
        // Lines may be closed by a "#"; only that one goes.
        if (line.endsWith(QLatin1Char('#'))) {
            line.chop(1);
        }
        const QStringList fields = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
        // Headers, comments and blank lines never have the right count.
        if (fields.size() != fieldsPerLine) {
            continue;
        }
        formats.insert(FormatKey_t(ORIGIN_FILE, index), toGpsFormat(fields));
        ++index;
    }
}

void GpsFormat::addGpsFormat(Origin_t origin, int index, const GpsFormat_t& gpsFormat)
{
    formats.insert(FormatKey_t(origin, index), gpsFormat);
}

void GpsFormat::removeGpsFormat(Origin_t origin, int index)
{
    formats.remove(FormatKey_t(origin, index));
}

void GpsFormat::clearGpsFormats(Origin_t origin)
{
    formats.removeIf([origin](const FormatMap_t::iterator& it) { return it.key().first == origin; });
}

QList<QPair<int, GpsFormat_t>> GpsFormat::getFormatsForOrigin(Origin_t origin) const
{
    QList<QPair<int, GpsFormat_t>> result;
    // The map is ordered by origin first, so one origin is one contiguous run.
    auto it = formats.lowerBound(FormatKey_t(origin, std::numeric_limits<qint32>::min()));
    for (; it != formats.cend() && it.key().first == origin; ++it) {
        result.append(qMakePair(it.key().second, it.value()));
    }
    return result;
}

GpsFormat::FormatMap_t GpsFormat::getAvailableFormats() const
{
    return formats;
}

bool GpsFormat::compare(const GpsFormat_t& a, const GpsFormat_t& b)
{
    return a.name == b.name && a.payloadLen == b.payloadLen && sameCoord(a.lat, b.lat) && sameCoord(a.lon, b.lon)
        && a.encryptionType == b.encryptionType && a.polynom == b.polynom && a.crcPos == b.crcPos
        && a.crcLen == b.crcLen && a.dataPos == b.dataPos && a.dataLen == b.dataLen && a.indexPos == b.indexPos
        && a.gpsCheck == b.gpsCheck;
}

bool GpsFormat::decodePayload(Origin_t origin, int index, const QByteArray& payload,
                              double& latitude, double& longitude) const
{
    const auto it = formats.constFind(FormatKey_t(origin, index));
    return it != formats.cend() && decodePosition(*it, payload, latitude, longitude);
}

bool GpsFormat::decodePosition(const GpsFormat_t& format, const QByteArray& payload, double& latitude,
                               double& longitude)
{
    const double lat = decodeCoordinate(payload, format.lat, 90);
    const double lon = decodeCoordinate(payload, format.lon, 180);
    if (!std::isfinite(lat) || !std::isfinite(lon)) {
        return false;
    }
    latitude = lat;
    longitude = lon;
    return true;
}

double GpsFormat::decodeCoordinate(const QByteArray& payload, const CoordInfo_t& coord, unsigned limitDegrees)
{
    const double sign = static_cast<quint32>(extractNumber(payload, coord.signPos, coord.signLen));
    const double magnitude = static_cast<quint32>(extractNumber(payload, coord.pos, coord.len));
    // Thousandths of an arc-minute. U and W are not checked: a zero gives inf or NaN, never a trap.
    double x = static_cast<double>(coord.v) / static_cast<double>(coord.w)
        + static_cast<double>(coord.t) / static_cast<double>(coord.u) * ((1.0 - 2.0 * sign) * magnitude);
    const double limit = static_cast<double>(limitDegrees) * 60000.0;
    if (coord.ty != 0 && x > limit) {
        x -= 2.0 * limit;
    }
    return x / 60000.0;
}

qint32 GpsFormat::extractNumber(const QByteArray& payload, int bitPos, int bitLen)
{
    // A negative position would start before the first byte; a format can only
    // mean a field it cannot reach, so it reads like one past the end.
    const qint64 end = static_cast<qint64>(bitPos) + bitLen;
    if (bitLen <= 0 || bitPos < 0 || end > 8 * static_cast<qint64>(payload.size())) {
        return 0;
    }
    // Unsigned so that a field longer than 32 bits just keeps its last 32.
    quint32 result = 0;
    for (qint64 p = bitPos; p < end; ++p) {
        const auto byte = static_cast<quint8>(payload.at(static_cast<qsizetype>(p / 8)));
        result = (result << 1) | ((byte >> (7 - p % 8)) & 1u);
    }
    return static_cast<qint32>(result);
}

} // namespace Vantrel::Utils
