// The link's byte stream: cut into chunks anywhere, it gives the same replies, beacons, flash data,
// errors and final state as when it arrives whole.
#include "FuzzSupport.h"
#include "UartLinkFuzzProbe.h"

using Vantrel::Com::UartLinkFuzzProbe;

VANTREL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Far below the overlong-line limit, where dropping depends on the chunk sizes by design.
    if (size > 32 * 1024)
        return 0;
    UartLinkFuzzProbe::quietSettings();
    FuzzedDataProvider input(data, size);
    const auto start = UartLinkFuzzProbe::Start_t(input.ConsumeIntegralInRange<int>(0, UartLinkFuzzProbe::START_COUNT - 1));
    const auto cmd = UartLinkFuzzProbe::command(input.ConsumeIntegral<uint8_t>());
    const int maxChunk = input.ConsumeIntegralInRange<int>(1, 300);
    quint32 seed = input.ConsumeIntegral<quint32>();
    const QByteArray stream = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    UartLinkFuzzProbe whole(start, cmd);
    whole.feed(stream);

    UartLinkFuzzProbe chunked(start, cmd);
    for (qsizetype offset = 0; offset < stream.size();) {
        seed = seed * 1664525u + 1013904223u;
        const qsizetype length = 1 + qsizetype((seed >> 8) % quint32(maxChunk));
        chunked.feed(stream.mid(offset, length));
        offset += length;
    }

    FUZZ_CHECK(chunked.events == whole.events);
    FUZZ_CHECK(chunked.status() == whole.status());
    return 0;
}
