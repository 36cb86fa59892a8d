#include "sim/CommandProcessor.h"

#include "sim/DeviceState.h"

#include <QDate>
#include <QTime>
#include <QtEndian>

namespace Vantrel::Sim {

namespace {

bool isUnsigned(const QString& text, qint64 max = 0xFFFFFFFFLL)
{
    bool ok = false;
    const qlonglong value = text.toLongLong(&ok);
    return ok && !text.startsWith(QLatin1Char('+')) && value >= 0 && value <= max;
}

bool isSigned(const QString& text)
{
    bool ok = false;
    text.toInt(&ok);
    return ok;
}

bool isHex(const QString& text, int maxDigits)
{
    if (text.isEmpty() || text.size() > maxDigits) {
        return false;
    }
    for (QChar c : text) {
        if (!c.isDigit() && !QStringLiteral("abcdefABCDEF").contains(c)) {
            return false;
        }
    }
    return true;
}

CommandProcessor::Reply_t textReply(const QString& mnemonic, const QStringList& params)
{
    CommandProcessor::Reply_t reply;
    reply.parts.append({false, mnemonic, params, {}, {}, {}});
    return reply;
}

// Empty means "leave as it is", so it always passes.
bool emptyOr(const QString& text, bool valid)
{
    return text.isEmpty() || valid;
}

} // namespace

CommandProcessor::CommandProcessor(DeviceState& state)
    : state(state)
{
}

CommandProcessor::Reply_t CommandProcessor::refusal(const QString& mnemonic)
{
    return textReply(QStringLiteral("ACK"), {mnemonic, QStringLiteral("0")});
}

CommandProcessor::Reply_t CommandProcessor::acknowledged(const QString& mnemonic, const QStringList& ownParams)
{
    return ackReplies ? textReply(QStringLiteral("ACK"), {mnemonic, QStringLiteral("1")})
                      : textReply(mnemonic, ownParams);
}

CommandProcessor::Reply_t CommandProcessor::process(const QString& mnemonic, const QStringList& params)
{
    const bool v2 = state.generation == DeviceState::GENERATION_V2;
    if (mnemonic == QLatin1String("TEST")) {
        return test();
    }
    if (mnemonic == QLatin1String("GSN")) {
        return serialNumber();
    }
    if (mnemonic == QLatin1String("REBO")) {
        if (v2) {
            state.mode = state.applicationValid ? DeviceState::MODE_APP : DeviceState::MODE_BL;
            state.bootloaderUnlocked = false;
            state.applicationErased = false;
        }
        return acknowledged(mnemonic, {});
    }
    if (mnemonic == QLatin1String("ATBL") || mnemonic == QLatin1String("ERRF")
        || mnemonic == QLatin1String("WRDA") || mnemonic == QLatin1String("WRSC")) {
        return bootloader(mnemonic, params);
    }
    if (mnemonic == QLatin1String("SUA")) {
        if (!v2) {
            return refusal(mnemonic);
        }
        state.mode = DeviceState::MODE_BL;
        state.bootloaderUnlocked = false;
        return textReply(mnemonic, {});
    }
    // The bootloader knows nothing of the application's commands.
    if (state.mode == DeviceState::MODE_BL) {
        return refusal(mnemonic);
    }

    if (mnemonic == QLatin1String("LIG")) {
        return liveStatus();
    }
    if (mnemonic == QLatin1String("SETUPSW")) {
        return softwareSetup(params);
    }
    if (mnemonic == QLatin1String("SETUPHW")) {
        return hardwareSetup(params);
    }
    if (mnemonic == QLatin1String("IP")) {
        return platformSlot(params);
    }
    if (mnemonic == QLatin1String("GFG")) {
        return readGpsFormat(params);
    }
    if (mnemonic == QLatin1String("SFG")) {
        return writeGpsFormat(params);
    }
    if (mnemonic == QLatin1String("IFP")) {
        return flashInfo();
    }
    if (mnemonic == QLatin1String("RFP")) {
        return readFlash(params);
    }
    if (mnemonic == QLatin1String("DFP")) {
        return eraseFlash(params);
    }
    return refusal(mnemonic);
}

CommandProcessor::Reply_t CommandProcessor::test()
{
    QStringList values{QStringLiteral("DFR")};
    if (state.generation == DeviceState::GENERATION_V1) {
        values << QStringLiteral("V1");
    } else if (state.mode == DeviceState::MODE_BL) {
        values << QStringLiteral("V2") << state.serialPart1 << state.serialPart2 << QStringLiteral("BL")
               << state.bootloaderVersion;
    } else {
        values << QStringLiteral("V2") << state.serialPart1 << state.serialPart2 << QStringLiteral("APP")
               << state.applicationVersion << state.bootloaderVersion << state.fpgaVersion;
    }
    return acknowledged(QStringLiteral("TEST"), values);
}

CommandProcessor::Reply_t CommandProcessor::serialNumber()
{
    const QStringList values = state.generation == DeviceState::GENERATION_V1
                                   ? QStringList{state.serialPart1 + QLatin1Char('-') + state.serialPart2}
                                   : QStringList{state.serialPart1, state.serialPart2};
    return textReply(QStringLiteral("VSN"), values);
}

CommandProcessor::Reply_t CommandProcessor::liveStatus()
{
    const DeviceState::Status_t& s = state.status;
    QStringList values;
    values << QString::number((s.gpsValid ? 1 : 0) | (s.directionValid ? 2 : 0))
           << QString::number(qRound(s.latitude * 60000.0)) << QString::number(qRound(s.longitude * 60000.0))
           << QString::number(s.direction) << QString::number(qRound(s.voltage * 1000.0))
           << QString::number(s.temperature)
           // satellites in use, HDOP x 10, altitude in metres, three reserved
           << QString::number(s.gpsValid ? 9 : 0) << QString::number(s.gpsValid ? 9 : 99)
           << QStringLiteral("35") << QStringLiteral("0") << QStringLiteral("0") << QStringLiteral("0");
    if (state.generation == DeviceState::GENERATION_V2) {
        values << QString::number(s.band);
    }
    values << state.applicationVersion << state.bootloaderVersion << state.fpgaVersion;
    return textReply(QStringLiteral("LIG"), values);
}

CommandProcessor::Reply_t CommandProcessor::softwareSetup(const QStringList& p)
{
    const QString name = QStringLiteral("SETUPSW");
    if (p.size() != state.softwareSetupCount()) {
        return refusal(name);
    }
    static const int maxima[] = {1, 1, 255, 1, 2, 2, 360, 99, 12, 31, 23, 59, 9, 1};
    for (int i = 0; i < p.size(); ++i) {
        if (!emptyOr(p.at(i), isUnsigned(p.at(i), maxima[i]))) {
            return refusal(name);
        }
    }

    const int first = DeviceState::softwareClockFirst;
    bool clockGiven = false;
    for (int i = first; i < first + 5; ++i) {
        clockGiven = clockGiven || !p.at(i).isEmpty();
    }
    QDateTime clock;
    if (clockGiven) {
        // Positions left empty keep the running clock's value; seconds restart at 0.
        const QDateTime now = state.clock();
        auto part = [&](int i, int current) { return p.at(i).isEmpty() ? current : p.at(i).toInt(); };
        const QDate date(part(first, now.date().year() - 2000) + 2000, part(first + 1, now.date().month()),
                         part(first + 2, now.date().day()));
        const QTime time(part(first + 3, now.time().hour()), part(first + 4, now.time().minute()));
        if (!date.isValid() || !time.isValid()) {
            return refusal(name);
        }
        clock = QDateTime(date, time, Qt::UTC);
    }

    for (int i = 0; i < p.size(); ++i) {
        if (!p.at(i).isEmpty() && (i < first || i > DeviceState::softwareBand)) {
            state.setupSoftware[i] = QString::number(p.at(i).toUInt());
        }
    }
    if (clockGiven) {
        state.setClock(clock);
    }
    if (state.generation == DeviceState::GENERATION_V2 && !p.at(DeviceState::softwareBand).isEmpty()) {
        state.status.band = p.at(DeviceState::softwareBand).toInt();
    }
    return textReply(name, state.softwareSetup());
}

CommandProcessor::Reply_t CommandProcessor::hardwareSetup(const QStringList& p)
{
    const QString name = QStringLiteral("SETUPHW");
    if (p.size() != state.hardwareSetupCount()) {
        return refusal(name);
    }
    static const int maxima[] = {1, 1, 0, 2, 3, 0, 1};
    for (int i = 0; i < p.size(); ++i) {
        // cable length is signed, the declination free text
        const bool valid = i == 2 ? isSigned(p.at(i)) : i == 5 ? true : isUnsigned(p.at(i), maxima[i]);
        if (!emptyOr(p.at(i), valid)) {
            return refusal(name);
        }
    }
    for (int i = 0; i < p.size(); ++i) {
        if (!p.at(i).isEmpty()) {
            state.setupHardware[i] = i == 5 ? p.at(i) : QString::number(p.at(i).toInt());
        }
    }
    return textReply(name, state.setupHardware);
}

CommandProcessor::Reply_t CommandProcessor::platformSlot(const QStringList& p)
{
    const QString name = QStringLiteral("IP");
    if (p.size() != state.platformValueCount()) {
        return refusal(name);
    }
    bool ok = false;
    const int slot = p.at(DeviceState::ipIndex).toInt(&ok);
    if (!ok || slot < 0 || slot >= state.platformSlotCount()) {
        return refusal(name);
    }

    const bool v1 = state.generation == DeviceState::GENERATION_V1;
    const int enc = state.ipEncryption();
    for (int i = 1; i < p.size(); ++i) {
        const QString& v = p.at(i);
        bool valid = true;
        if (i == DeviceState::ipOccupied || i == DeviceState::ipGpsMode || i == DeviceState::ipFormat + 21) {
            valid = isUnsigned(v, 1);
        } else if (i == DeviceState::ipIdType) {
            valid = isUnsigned(v, 3);
        } else if (i == DeviceState::ipId) {
            valid = isHex(v, 8);
        } else if (i == DeviceState::ipLabel || i == DeviceState::ipFormat) {
            valid = true;
        } else if (i == enc + 1) {
            valid = isHex(v, 4);
        } else if (!v1 && i == DeviceState::ipV2Band) {
            valid = isUnsigned(v, 9);
        } else if (!v1 && (i == DeviceState::ipV2Modulation || i == DeviceState::ipV2FrequencyMode)) {
            valid = isUnsigned(v, 4);
        } else if ((v1 && i == DeviceState::ipV1MeanDirection) || (!v1 && i == DeviceState::ipV2NarrowFrequency)
                 || i == enc) {
            valid = isUnsigned(v);
        } else {
            valid = isSigned(v);
        }
        if (!emptyOr(v, valid)) {
            return refusal(name);
        }
    }

    const QString& occupied = p.at(DeviceState::ipOccupied);
    if (occupied == QLatin1String("0")) {
        state.clearPlatform(slot);
    } else {
        // Occupying a free slot starts it afresh; a write without the flag only
        // changes the values given.
        if (occupied == QLatin1String("1") && !state.isPlatformOccupied(slot)) {
            state.clearPlatform(slot);
        }
        for (int i = 1; i < p.size(); ++i) {
            if (!p.at(i).isEmpty()) {
                state.platforms[slot][i] = p.at(i);
            }
        }
    }
    return textReply(name, state.platforms.at(slot));
}

CommandProcessor::Reply_t CommandProcessor::readGpsFormat(const QStringList& p)
{
    bool ok = false;
    const int slot = p.value(0).toInt(&ok);
    if (!ok || slot < 0 || slot >= state.gpsFormatSlotCount()) {
        return refusal(QStringLiteral("GFG"));
    }
    return textReply(QStringLiteral("RFG"), state.gpsFormats.at(slot));
}

CommandProcessor::Reply_t CommandProcessor::writeGpsFormat(const QStringList& p)
{
    const QString name = QStringLiteral("SFG");
    bool ok = false;
    const int slot = p.value(0).toInt(&ok);
    if (p.size() != DeviceState::gpsFormatValueCount || !ok || slot < 0 || slot >= state.gpsFormatSlotCount()) {
        return refusal(name);
    }
    for (int i = 2; i < p.size(); ++i) {
        const QString& v = p.at(i);
        const bool valid = i == DeviceState::fgPolynom ? isHex(v, 4)
                           : i == 22                   ? isUnsigned(v, 1)
                           : i == 23                   ? isUnsigned(v, 65535)
                                                       : isSigned(v);
        if (!emptyOr(v, valid)) {
            return refusal(name);
        }
    }
    if (p.at(DeviceState::fgName) == QLatin1String("NONE")) {
        state.gpsFormats[slot] = state.emptyGpsFormat(slot);
    } else {
        for (int i = 1; i < p.size(); ++i) {
            if (!p.at(i).isEmpty()) {
                state.gpsFormats[slot][i] = p.at(i);
            }
        }
    }
    return textReply(QStringLiteral("RFG"), state.gpsFormats.at(slot));
}

CommandProcessor::Reply_t CommandProcessor::flashInfo()
{
    if (state.generation == DeviceState::GENERATION_V1) {
        return refusal(QStringLiteral("IFP"));
    }
    const quint32 first = state.flashBaseAddress;
    const quint32 last = first + static_cast<quint32>(state.flashImage.size());
    return textReply(QStringLiteral("IFP"),
                     {QString::number(first), QString::number(last), QString::number(state.flashCapacity)});
}

CommandProcessor::Reply_t CommandProcessor::readFlash(const QStringList& p)
{
    const QString name = QStringLiteral("RFP");
    Reply_t reply;
    reply.flashRead = true;
    if (state.generation == DeviceState::GENERATION_V1) {
        bool ok = false;
        const int slot = p.value(0).toInt(&ok);
        if (p.size() != 1 || !ok || slot < 0 || slot >= state.flashAreas.size()) {
            return refusal(name);
        }
        // slot, line number from 1, byte count (0 ends the area), data
        const QByteArray& area = state.flashAreas.at(slot);
        int line = 1;
        for (int offset = 0; offset < area.size(); offset += rfpTextBytesPerLine, ++line) {
            const QByteArray chunk = area.mid(offset, rfpTextBytesPerLine);
            reply.parts.append({false, name,
                                {QString::number(slot), QString::number(line), QString::number(chunk.size()),
                                 QString::fromLatin1(chunk.toHex().toUpper())},
                                {}, {}, {}});
        }
        reply.parts.append(
            {false, name, {QString::number(slot), QString::number(line), QStringLiteral("0")}, {}, {}, {}});
        return reply;
    }

    bool startOk = false;
    bool lengthOk = false;
    const qint64 start = p.value(0).toLongLong(&startOk);
    const qint64 length = p.value(1).toLongLong(&lengthOk);
    if (p.size() != 2 || !startOk || !lengthOk || start < 0 || length < 0 || length > (1 << 20)) {
        return refusal(name);
    }
    // count packet, one packet per started 128 bytes, end packet; bytes outside
    // the written area read as erased flash
    const qint64 dataPackets = (length + rfpPacketBytes - 1) / rfpPacketBytes;
    QByteArray count(4, '\0');
    qToBigEndian(static_cast<quint32>(dataPackets + 1), count.data());
    reply.parts.append({true, {}, {}, "0", QByteArray::number(start), count});
    for (qint64 k = 0; k < dataPackets; ++k) {
        const qint64 address = start + k * rfpPacketBytes;
        QByteArray payload(rfpPacketBytes, '\xFF');
        const qint64 offset = address - state.flashBaseAddress;
        for (int i = 0; i < rfpPacketBytes; ++i) {
            if (offset + i >= 0 && offset + i < state.flashImage.size()) {
                payload[i] = state.flashImage.at(static_cast<int>(offset + i));
            }
        }
        reply.parts.append({true, {}, {}, QByteArray::number(k + 1), QByteArray::number(address), payload});
    }
    reply.parts.append({true, {}, {}, QByteArray::number(dataPackets + 1),
                        QByteArray::number(start + dataPackets * rfpPacketBytes), QByteArray()});
    return reply;
}

CommandProcessor::Reply_t CommandProcessor::eraseFlash(const QStringList& p)
{
    const QString name = QStringLiteral("DFP");
    if (state.generation == DeviceState::GENERATION_V2) {
        state.flashImage.clear();
        return textReply(name, {});
    }
    bool ok = false;
    const int slot = p.value(0).toInt(&ok);
    if (p.size() != 1 || !ok || slot < 0 || slot >= state.flashAreas.size()) {
        return refusal(name);
    }
    state.flashAreas[slot].clear();
    return textReply(name, {QString::number(slot)});
}

CommandProcessor::Reply_t CommandProcessor::bootloader(const QString& mnemonic, const QStringList& params)
{
    if (state.generation != DeviceState::GENERATION_V2 || state.mode != DeviceState::MODE_BL) {
        return refusal(mnemonic);
    }
    if (mnemonic == QLatin1String("ATBL")) {
        state.bootloaderUnlocked = true;
        return acknowledged(mnemonic, {QStringLiteral("1")});
    }
    if (!state.bootloaderUnlocked) {
        return refusal(mnemonic);
    }
    if (mnemonic == QLatin1String("ERRF")) {
        state.applicationErased = true;
        state.applicationValid = false;
        state.firmwareLines.clear();
        return acknowledged(mnemonic, {QStringLiteral("1")});
    }
    if (!state.applicationErased) {
        return refusal(mnemonic);
    }
    if (mnemonic == QLatin1String("WRDA")) {
        // A line holding commas arrives as several parameters.
        state.firmwareLines.append(params.join(QLatin1Char(',')).toLatin1());
        return acknowledged(mnemonic, {QString::number(state.firmwareLines.size())});
    }
    // WRSC seals what was written; the next REBO starts it.
    state.applicationValid = true;
    state.applicationErased = false;
    state.bootloaderUnlocked = false;
    return acknowledged(mnemonic, {QString::number(state.firmwareLines.size())});
}

} // namespace Vantrel::Sim
