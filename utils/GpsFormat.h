#pragma once

#include <QByteArray>
#include <QFileInfo>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QString>

#include <iterator>

namespace Vantrel::Utils {

struct CoordInfo_t;
struct GpsFormat_t;

// Catalogue of the GPS formats known to the program: those of the favourite
// platform slots, of the receiver's format bank and of the reference file.
// Created on first use and never destroyed; GUI thread only.
class GpsFormat : public QObject
{
    Q_OBJECT
public:
    enum Origin_t : qint32 { ORIGIN_PLATFORM = 0, ORIGIN_DFR = 1, ORIGIN_FILE = 2 };
    Q_ENUM(Origin_t)

    enum EncryptionType_t : qint32 { ENCRYPTIONTYPE_NONE = 0, ENCRYPTIONTYPE_1 = 1, ENCRYPTIONTYPE_2 = 2 };
    Q_ENUM(EncryptionType_t)

    // Ordered by origin, then index.
    using FormatKey_t = QPair<Origin_t, qint32>;
    using FormatMap_t = QMap<FormatKey_t, GpsFormat_t>;

    // Throws when the reference file cannot be read; the next call tries again.
    static GpsFormat* instance();

    // Everything goes except what the reference file gives, read anew.
    void resetCatalog();
    void readGpsFormatsFromFile(const QFileInfo& file);

    void addGpsFormat(Origin_t origin, int index, const GpsFormat_t& gpsFormat);
    void removeGpsFormat(Origin_t origin, int index);
    void clearGpsFormats(Origin_t origin);
    QList<QPair<int, GpsFormat_t>> getFormatsForOrigin(Origin_t origin) const;
    FormatMap_t getAvailableFormats() const;

    // Same format whatever the description says.
    static bool compare(const GpsFormat_t& a, const GpsFormat_t& b);

    // Degrees; false and outputs untouched when no format is stored under the key.
    bool decodePayload(Origin_t origin, int index, const QByteArray& payload,
                       double& latitude, double& longitude) const;
    // The position a format gives a payload; false, writing nothing, when a zero
    // divisor (U or W) leaves no number: such a format has no position to give.
    static bool decodePosition(const GpsFormat_t& format, const QByteArray& payload, double& latitude,
                               double& longitude);
    static double decodeCoordinate(const QByteArray& payload, const CoordInfo_t& coord, unsigned limitDegrees);
    static qint32 extractNumber(const QByteArray& payload, int bitPos, int bitLen);

private:
    GpsFormat();

    FormatMap_t formats;
};

// One coordinate's bit fields and scaling: x = V/W + T/U * (+/-)magnitude,
// in thousandths of an arc-minute.
struct CoordInfo_t
{
    qint32 signPos = 0;
    qint32 signLen = 0;
    qint32 pos = 0;
    qint32 len = 0;
    qint32 t = 0;
    qint32 u = 0;
    qint32 v = 0;
    qint32 w = 0;
    qint32 ty = 0;
};

// The nine fields of a coordinate in the order every wire, file and form uses.
inline constexpr qint32 CoordInfo_t::*coordInfoFields[] = {
    &CoordInfo_t::signPos, &CoordInfo_t::signLen, &CoordInfo_t::pos, &CoordInfo_t::len, &CoordInfo_t::t,
    &CoordInfo_t::u,       &CoordInfo_t::v,       &CoordInfo_t::w,   &CoordInfo_t::ty,
};
inline constexpr int coordInfoFieldCount = int(std::size(coordInfoFields));

struct GpsFormat_t
{
    QString name;
    qint32 payloadLen = 0;
    CoordInfo_t lat;
    CoordInfo_t lon;
    GpsFormat::EncryptionType_t encryptionType = GpsFormat::ENCRYPTIONTYPE_NONE;
    quint16 polynom = 0;
    qint32 crcPos = 0;
    qint32 crcLen = 0;
    qint32 dataPos = 0;
    qint32 dataLen = 0;
    qint32 indexPos = 0;
    bool gpsCheck = false;
    QString description;
};

} // namespace Vantrel::Utils
