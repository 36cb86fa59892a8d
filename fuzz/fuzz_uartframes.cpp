// Classification of one received line: what the link accepts is a frame the receiver's codec accepts too,
// and the accepted frame built anew from its name and values is classified the same way.
#include "FuzzSupport.h"
#include "UartLinkFuzzProbe.h"
#include "sim/FrameCodec.h"
#include "utils/TextUtils.h"

using Vantrel::Com::UartLink;
using Vantrel::Com::UartLinkFuzzProbe;

VANTREL_FUZZ_INIT

namespace {

bool plainAscii(const QString& text)
{
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7E || c == QLatin1Char('$') || c == QLatin1Char('*'))
            return false;
    }
    return true;
}

bool delivers(const QString& event)
{
    return event.startsWith(QLatin1String("reply:")) || event.startsWith(QLatin1String("npr:"))
        || event.startsWith(QLatin1String("nprf:")) || event.startsWith(QLatin1String("rfp:"));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UartLinkFuzzProbe::quietSettings();
    FuzzedDataProvider input(data, size);
    const auto start = UartLinkFuzzProbe::Start_t(input.ConsumeIntegralInRange<int>(0, UartLinkFuzzProbe::START_RFP_TEXT));
    const auto cmd = UartLinkFuzzProbe::command(input.ConsumeIntegral<uint8_t>());
    QByteArray line = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());
    line.replace('\n', ' ');

    UartLinkFuzzProbe probe(start, cmd);
    probe.feed(line + '\n');
    // One line ends in one outcome at most.
    FUZZ_CHECK(probe.events.size() <= 1);
    if (probe.events.isEmpty() || !delivers(probe.events.first()))
        return 0;
    FUZZ_CHECK(!probe.events.first().startsWith(QLatin1String("rfp:")) || start == UartLinkFuzzProbe::START_RFP_TEXT);

    // Rebuild the frame the way the host builds its own: name, values, checksum.
    QByteArray cleaned = line;
    cleaned.replace('\0', QByteArray());
    const QString text = QString::fromUtf8(cleaned).trimmed();
    FUZZ_CHECK(text.startsWith(QLatin1Char('$')));
    const int star = text.lastIndexOf(QLatin1Char('*'));
    FUZZ_CHECK(star > 1);
    QStringList values = text.mid(1, star - 1).split(QLatin1Char(','));
    const QString name = values.takeFirst();
    const QString payload = UartLink::createPayload(name, values);
    const QString rebuilt = QLatin1Char('$') + payload + Vantrel::Utils::TextUtils::hexByte(UartLink::computeChecksum(payload));

    UartLinkFuzzProbe again(start, cmd);
    again.feed(rebuilt.toUtf8() + "\r\n");
    FUZZ_CHECK(again.events == probe.events);

    // The receiver's codec, written apart, must agree on plain frames.
    if (plainAscii(name + values.join(QLatin1Char(',')))) {
        const auto parsed = Vantrel::Sim::FrameCodec::parse(rebuilt.toLatin1());
        FUZZ_CHECK(parsed.wellFormed && parsed.checksumOk);
        FUZZ_CHECK(parsed.mnemonic == name);
        FUZZ_CHECK(parsed.params == values);
    }
    return 0;
}
