// GPS format bank of the receiver, and the wire blocks of a GPS format shared
// with the favourite platform slots.
#include "com/DfrLink.h"

#include <QScopedValueRollback>

#include "inhouse/Exception.h"

namespace Vantrel::Com {

namespace {

constexpr int gpsFormatValues = 29;
constexpr int formatBlockFirst = 1;
constexpr int encryptionFirst = 23;
// The receiver reports an unset data length as 256, which stands for none.
constexpr qint32 unsetDataLength = 256;
const QString emptySlotName = QStringLiteral("NONE");

using Tarsk::Utils::fail;

} // namespace

QStringList DfrLink::formatBlockValues(const Utils::GpsFormat_t& format)
{
    QStringList values{format.name};
    for (const Utils::CoordInfo_t* coord : {&format.lat, &format.lon}) {
        for (qint32 Utils::CoordInfo_t::*field : Utils::coordInfoFields) {
            values.append(QString::number(coord->*field));
        }
    }
    values << QString::number(format.payloadLen) << QString::number(format.indexPos)
           << (format.gpsCheck ? QStringLiteral("1") : QStringLiteral("0"));
    return values;
}

QStringList DfrLink::encryptionBlockValues(const Utils::GpsFormat_t& format)
{
    return {QString::number(format.encryptionType), QString::number(format.polynom, 16),
            QString::number(format.crcPos),         QString::number(format.crcLen),
            QString::number(format.dataPos),        QString::number(format.dataLen)};
}

void DfrLink::readFormatBlock(const QStringList& values, int first, Utils::GpsFormat_t& format)
{
    int at = first;
    format.name = values.at(at++);
    for (Utils::CoordInfo_t* coord : {&format.lat, &format.lon}) {
        for (qint32 Utils::CoordInfo_t::*field : Utils::coordInfoFields) {
            coord->*field = values.at(at++).toInt();
        }
    }
    format.payloadLen = values.at(at++).toInt();
    format.indexPos = values.at(at++).toInt();
    format.gpsCheck = values.at(at).toUShort() != 0;
}

void DfrLink::readEncryptionBlock(const QStringList& values, int first, Utils::GpsFormat_t& format)
{
    format.encryptionType = Utils::GpsFormat::EncryptionType_t(values.at(first).toUShort());
    format.polynom = quint16(values.at(first + 1).toInt(nullptr, 16));
    format.crcPos = values.at(first + 2).toInt();
    format.crcLen = values.at(first + 3).toInt();
    format.dataPos = values.at(first + 4).toInt();
    const qint32 dataLen = values.at(first + 5).toInt();
    format.dataLen = dataLen == unsetDataLength ? 0 : dataLen;
}

DfrLink::GpsFormatInfo_t DfrLink::getGpsFormatInfo(quint32 index)
{
    if (dfrVersion == DFR_V1) {
        fail(QStringLiteral("Deleting GPS format is no supported for DFR V1"));
    }
    QStringList values;
    {
        // Read from the receiver even while set-requests are being recorded.
        const QScopedValueRollback<bool> reading(noSendCommandMode, false);
        values = sendGetDfrCmd(CMD_GFG, 1, {QString::number(index)}, {gpsFormatValues}).values;
    }

    GpsFormatInfo_t info;
    info.index = values.at(0).toInt();
    readFormatBlock(values, formatBlockFirst, info.gpsFormat);
    info.occupied = !info.gpsFormat.name.isEmpty() && info.gpsFormat.name != emptySlotName;
    readEncryptionBlock(values, encryptionFirst, info.gpsFormat);
    return info;
}

void DfrLink::checkGpsFormatInfo(const GpsFormatInfo_t& info)
{
    const Utils::GpsFormat_t& format = info.gpsFormat;
    if (format.dataLen < 1 || format.dataLen > 254) {
        fail(Tarsk::Utils::Exception::KIND_BAD_INPUT, QStringLiteral("Unable to set GPS format info, data length is not between 1 and 254 (%1)")
                 .arg(format.dataLen));
        }
    if (!info.occupied) {
        return;
    }
    // An empty name or "NONE" reads back as an empty slot: the format would be lost.
    if (format.name.isEmpty() || format.name == emptySlotName || !isFrameText(format.name)) {
        fail(Tarsk::Utils::Exception::KIND_BAD_INPUT, QStringLiteral("Unable to set GPS format info, the name \"%1\" cannot be stored: it must not be empty "
                            "or NONE, nor hold \",\", \"*\", \"$\", a control character or one outside Latin-1")
                 .arg(format.name));
        }
}

void DfrLink::setGpsFormatInfo(const GpsFormatInfo_t& info)
{
    if (dfrVersion == DFR_V1) {
        fail(QStringLiteral("Deleting GPS format is no supported for DFR V1"));
    }
    checkGpsFormatInfo(info);

    QStringList values{QString::number(info.index)};
    values += formatBlockValues(info.gpsFormat);
    if (!info.occupied) {
        values[formatBlockFirst] = emptySlotName;
    }
    values += encryptionBlockValues(info.gpsFormat);
    sendBlockingRequest(CMD_SFG, values);
}

} // namespace Vantrel::Com
