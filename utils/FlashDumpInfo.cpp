#include "utils/FlashDumpInfo.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include "inhouse/Exception.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Utils {

using Com::DfrLink;

namespace {

const QByteArray firstLine = "Vantrel flash dump description 2";
// Its serial number is the first part only; the rest reads the same.
const QByteArray firstLineBefore = "Vantrel flash dump description 1";

QString coordText(const CoordInfo_t& coord)
{
    QStringList values;
    for (const auto field : coordInfoFields) {
        values << QString::number(coord.*field);
    }
    return values.join(QLatin1Char(','));
}

[[noreturn]] void refuse(int line, const QString& reason)
{
    throw Tarsk::Utils::Exception(Tarsk::Utils::Exception::KIND_BAD_INPUT, QStringLiteral("line %1: %2").arg(line).arg(reason), QtCriticalMsg);
}

qint64 number(const QString& text, int line, const QString& what, qint64 low, qint64 high)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok);
    if (!ok || value < low || value > high) {
        refuse(line, QStringLiteral("%1 \"%2\" is not a number from %3 to %4").arg(what, text).arg(low).arg(high));
    }
    return value;
}

CoordInfo_t coordOf(const QString& text, int line)
{
    const QStringList values = text.split(QLatin1Char(','));
    if (values.size() != coordInfoFieldCount) {
        refuse(line, QStringLiteral("a GPS coordinate needs %1 numbers").arg(coordInfoFieldCount));
    }
    CoordInfo_t coord;
    for (int k = 0; k < coordInfoFieldCount; ++k) {
        coord.*coordInfoFields[k] =
            qint32(number(values.at(k), line, QStringLiteral("GPS value"), INT32_MIN, INT32_MAX));
        }
    return coord;
}

} // namespace

FlashDumpInfo::FavoriteIds_t FlashDumpInfo::favoriteIds() const
{
    FavoriteIds_t ids;
    for (const DfrLink::PlatformInfo_t& favorite : favorites) {
        ids.append({favorite.platformId, favorite.modulation});
    }
    return ids;
}

const DfrLink::PlatformInfo_t* FlashDumpInfo::favoriteWithId(const QString& platformId) const
{
    for (const DfrLink::PlatformInfo_t& favorite : favorites) {
        if (favorite.platformId == platformId) {
            return &favorite;
        }
    }
    return nullptr;
}

const DfrLink::PlatformInfo_t* FlashDumpInfo::favoriteAt(qint32 slot) const
{
    for (const DfrLink::PlatformInfo_t& favorite : favorites) {
        if (favorite.index == slot) {
            return &favorite;
        }
    }
    return nullptr;
}

QByteArray FlashDumpInfo::toText() const
{
    QString text = QString::fromLatin1(firstLine) + QLatin1Char('\n');
    text += QStringLiteral("generation=%1\n").arg(dfrVersion == DfrLink::DFR_V1 ? "DFR_V1" : "DFR_V2");
    text += QStringLiteral("firmwareLevel=%1\n").arg(firmwareLevel);
    text += QStringLiteral("serialNumber=%1\n").arg(QString(serialNumber).remove(QLatin1Char('\n')));
    if (areaSlot >= 0) {
        text += QStringLiteral("areaSlot=%1\n").arg(areaSlot);
    }
    // One favourite a line; the label comes last, so that it may hold any character but a line end.
    for (const DfrLink::PlatformInfo_t& favorite : favorites) {
        const bool gps = favorite.gpsModeEnabled;
        text += QStringLiteral("favorite=%1\t%2\t%3\t%4\t%5\t%6\n")
                    .arg(favorite.index)
                    .arg(favorite.platformId)
                    .arg(int(favorite.modulation))
                    .arg(gps ? coordText(favorite.gpsFormat.lat) : QString())
                    .arg(gps ? coordText(favorite.gpsFormat.lon) : QString())
                    .arg(QString(favorite.label).remove(QLatin1Char('\n')));
    }
    return text.toUtf8();
}

FlashDumpInfo FlashDumpInfo::fromText(const QByteArray& text)
{
    const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'));
    const QByteArray format = lines.first().trimmed().toLatin1();
    if (format != firstLine && format != firstLineBefore) {
        refuse(1, QStringLiteral("not a flash dump description"));
    }
    FlashDumpInfo info;
    info.partialSerialNumber = format == firstLineBefore;
    for (int k = 1; k < lines.size(); ++k) {
        const int line = k + 1;
        const QString entry = lines.at(k).endsWith(QLatin1Char('\r')) ? lines.at(k).chopped(1) : lines.at(k);
        const qsizetype equals = entry.indexOf(QLatin1Char('='));
        if (entry.isEmpty() || equals < 0) {
            continue;
        }
        const QString key = entry.left(equals);
        const QString value = entry.mid(equals + 1);
        if (key == QLatin1String("generation")) {
            if (value == QLatin1String("DFR_V1")) {
                info.dfrVersion = DfrLink::DFR_V1;
            } else if (value == QLatin1String("DFR_V2")) {
                info.dfrVersion = DfrLink::DFR_V2;
            } else {
                refuse(line, QStringLiteral("unknown generation \"%1\"").arg(value));
            }
        } else if (key == QLatin1String("firmwareLevel")) {
            info.firmwareLevel = quint32(number(value, line, QStringLiteral("firmware level"), 0, 2));
        } else if (key == QLatin1String("serialNumber")) {
            info.serialNumber = value;
        } else if (key == QLatin1String("areaSlot")) {
            info.areaSlot = qint32(number(value, line, QStringLiteral("slot"), 0, INT32_MAX));
        } else if (key == QLatin1String("favorite")) {
            const QStringList fields = value.split(QLatin1Char('\t'));
            if (fields.size() < 6) {
                refuse(line, QStringLiteral("a favourite needs 6 fields"));
            }
            DfrLink::PlatformInfo_t favorite;
            favorite.occupied = true;
            favorite.index = qint32(number(fields.at(0), line, QStringLiteral("slot"), 0, INT32_MAX));
            favorite.platformId = fields.at(1);
            favorite.modulation = DfrLink::OrvanModulation_t(
                number(fields.at(2), line, QStringLiteral("modulation"), 0, DfrLink::ORVANMODULATION_INVALID));
            favorite.gpsModeEnabled = !fields.at(3).isEmpty();
            if (favorite.gpsModeEnabled) {
                favorite.gpsFormat.lat = coordOf(fields.at(3), line);
                favorite.gpsFormat.lon = coordOf(fields.at(4), line);
            }
            favorite.label = fields.mid(5).join(QLatin1Char('\t'));
            info.favorites.append(favorite);
        }
    }
    if (info.dfrVersion == DfrLink::DFR_UNDEFINEDVERSION) {
        refuse(lines.size(), QStringLiteral("the receiver generation is missing"));
    }
    return info;
}

QString FlashDumpInfo::wholeSerialNumber(const DfrLink::DfrVersionsAndStatus_t& status)
{
    if (status.serialNumberPart2.isEmpty()) {
        return status.serialNumberPart1;
    }
    return status.serialNumberPart1 + QLatin1Char('-') + status.serialNumberPart2;
}

QString FlashDumpInfo::pathBeside(const QString& dumpPath)
{
    const QFileInfo dump(dumpPath);
    return dump.dir().filePath(dump.completeBaseName() + QStringLiteral(".txt"));
}

} // namespace Vantrel::Utils
