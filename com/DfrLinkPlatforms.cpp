// Favourite platform slots of the receiver.
#include "com/DfrLink.h"

namespace Vantrel::Com {

namespace {

constexpr int platformValuesV1 = 36;
constexpr int platformValuesV2 = 39;
// The receiver reports an unset data length as 256, which stands for none.
constexpr qint32 unsetDataLength = 256;

void readCoordinate(const QStringList& values, int first, Utils::CoordInfo_t& coord)
{
    qint32* fields[] = {&coord.signPos, &coord.signLen, &coord.pos, &coord.len, &coord.t,
                        &coord.u,       &coord.v,       &coord.w,   &coord.ty};
    for (int i = 0; i < 9; ++i)
        *fields[i] = values.at(first + i).toInt();
}

} // namespace

// Qt's conversions give 0 for text that is not a number or does not fit the
// type, which is how the receiver's empty or garbled fields must read.

DfrLink::PlatformInfo_t DfrLink::getPlatformInfo(quint32 index)
{
    const bool v2 = dfrVersion == DFR_V2;
    const int count = v2 ? platformValuesV2 : platformValuesV1;

    // The read must reach the receiver even while set-requests are being recorded.
    const bool recording = noSendCommandMode;
    noSendCommandMode = false;
    sendGetDfrCmd(CMD_IP, count, {QString::number(index)}, {});
    noSendCommandMode = recording;
    const QStringList& values = replyValues;

    PlatformInfo_t info;
    info.index = values.at(0).toInt();
    info.occupied = values.at(1).toUShort() != 0;
    info.platformIdType = values.at(2).toUShort();
    info.platformId = values.at(3);
    info.label = values.at(4);
    info.gpsModeEnabled = values.at(5).toUShort() != 0;

    Utils::GpsFormat_t& format = info.gpsFormat;
    format.name = values.at(6);
    readCoordinate(values, 7, format.lat);
    readCoordinate(values, 16, format.lon);
    format.payloadLen = values.at(25).toInt();
    format.indexPos = values.at(26).toInt();
    format.gpsCheck = values.at(27).toUShort() != 0;
    info.repetitionPeriod = values.at(28).toInt();

    int encryption = 30;
    if (v2) {
        info.band = OrvanBand_t(values.at(29).toUShort());
        info.modulation = OrvanModulation_t(values.at(30).toUShort());
        info.frequencyMode = OrvanFrequencyMode_t(values.at(31).toUShort());
        info.narrowFrequencyHz = values.at(32).toUInt();
        encryption = 33;
    } else {
        info.meanDirectionValues = values.at(29).toUShort();
    }
    format.encryptionType = Utils::GpsFormat::EncryptionType_t(values.at(encryption).toUShort());
    format.polynom = quint16(values.at(encryption + 1).toInt(nullptr, 16));
    format.crcPos = values.at(encryption + 2).toInt();
    format.crcLen = values.at(encryption + 3).toInt();
    format.dataPos = values.at(encryption + 4).toInt();
    const qint32 dataLen = values.at(encryption + 5).toInt();
    format.dataLen = dataLen == unsetDataLength ? 0 : dataLen;
    return info;
}

} // namespace Vantrel::Com
