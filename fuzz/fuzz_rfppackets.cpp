// Binary flash packets as the receiver sends them: an intact stream gives back exactly its bytes;
// a damaged one gives an error or whole packets, never more bytes than were sent.
#include <QtEndian>

#include "FuzzSupport.h"
#include "UartLinkFuzzProbe.h"
#include "sim/FrameCodec.h"

using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLinkFuzzProbe;
using Vantrel::Sim::FrameCodec;

VANTREL_FUZZ_INIT

namespace {

constexpr int packetBytes = 128;

QByteArray packets(const QByteArray& data, qint64 start)
{
    const qint64 dataPackets = (data.size() + packetBytes - 1) / packetBytes;
    QByteArray count(4, '\0');
    qToBigEndian(quint32(dataPackets + 1), count.data());
    QByteArray stream = FrameCodec::binaryPacket("0", QByteArray::number(start), count);
    for (qint64 k = 0; k < dataPackets; ++k) {
        QByteArray payload = data.mid(k * packetBytes, packetBytes);
        payload.append(packetBytes - payload.size(), '\xFF');
        stream += FrameCodec::binaryPacket(QByteArray::number(k + 1), QByteArray::number(start + k * packetBytes), payload);
    }
    return stream + FrameCodec::binaryPacket(QByteArray::number(dataPackets + 1),
                                             QByteArray::number(start + dataPackets * packetBytes), QByteArray());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UartLinkFuzzProbe::quietSettings();
    FuzzedDataProvider input(data, size);
    const qint64 start = input.ConsumeIntegralInRange<qint64>(0, 1 << 24);
    const int damages = input.ConsumeIntegralInRange<int>(0, 3);
    QList<QPair<quint32, quint8>> flips;
    for (int i = 0; i < damages; ++i)
        flips.append({input.ConsumeIntegral<quint32>(), input.ConsumeIntegralInRange<quint8>(1, 255)});
    const QByteArray content = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    QByteArray stream = packets(content, start);
    for (const auto& flip : flips) {
        char& byte = stream[qsizetype(flip.first % quint32(stream.size()))];
        byte = char(quint8(byte) ^ flip.second);
    }

    UartLinkFuzzProbe probe(UartLinkFuzzProbe::START_RFP_BINARY, DfrLink::CMD_RFP);
    probe.feed(stream);

    int delivered = 0;
    for (const QString& event : probe.events) {
        if (!event.startsWith(QLatin1String("rfp:")))
            continue;
        ++delivered;
        const QByteArray bytes = QByteArray::fromHex(event.mid(4).toLatin1());
        FUZZ_CHECK(bytes.size() % packetBytes == 0);
        FUZZ_CHECK(bytes.size() < stream.size());
    }
    FUZZ_CHECK(delivered <= 1);
    if (flips.isEmpty()) {
        QByteArray expected = content;
        expected.append((packetBytes - content.size() % packetBytes) % packetBytes, '\xFF');
        FUZZ_CHECK(probe.events == QStringList{QStringLiteral("rfp:") + QString::fromLatin1(expected.toHex())});
        FUZZ_CHECK(probe.status() == Vantrel::Com::UartLink::UART_READY);
    }
    return 0;
}
