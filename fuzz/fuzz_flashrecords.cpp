// Flash record decoders of both generations: every record handed on lies inside the area, the counts
// add up to no more than the area holds, and the quiet count agrees with a full decode.
#include "FuzzSupport.h"
#include "inhouse/Exception.h"
#include "utils/FlashMemory.h"

using Vantrel::Com::DfrLink;
using Vantrel::Utils::FlashMemory;

VANTREL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const bool v1 = input.ConsumeBool();
    const bool wideIds = input.ConsumeBool();
    const bool crcCheck = input.ConsumeBool();
    const bool cutShort = input.ConsumeBool();
    const quint32 slot = input.ConsumeIntegral<quint32>();
    const QString platformId = QString::fromLatin1(QByteArray::fromStdString(input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 9))));
    // An exact copy: the area ends where the allocation ends, so ASan sees any read past it.
    const std::string bytes = input.ConsumeRemainingBytesAsString();
    const QByteArray area(bytes.data(), qsizetype(bytes.size()));

    FlashMemory* flash = FlashMemory::instance();
    int emitted = 0;
    bool rawInside = true;
    const auto connection = QObject::connect(flash, &FlashMemory::sigOrvanDecoded,
                                             [&](const DfrLink::OrvanRxMessage_t& m, DfrLink::RxOrigin_t) {
                                                 ++emitted;
                                                 rawInside = rawInside && area.contains(m.rawPayload);
                                                 (void)m.dateTime.toQDateTime();
                                             });
    int valid = -1;
    int invalid = -1;
    try {
        if (v1)
            flash->decodeFlashMemoryDfrV1(slot, platformId, area, crcCheck, &valid, &invalid, cutShort);
        else
            flash->decodeFlashMemoryDfrV2(area, wideIds, crcCheck, &valid, &invalid, cutShort);
    } catch (const Tarsk::Utils::Exception&) {
    }
    QObject::disconnect(connection);

    FUZZ_CHECK(rawInside);
    if (area.isEmpty())
        return 0;
    FUZZ_CHECK(valid >= 0 && invalid >= 0);
    // A valid record takes at least its header and CRC byte; an invalid count is one byte each.
    const int headerLength = v1 ? 22 : (wideIds ? 27 : 26);
    FUZZ_CHECK(qint64(valid) * (headerLength + 1) + invalid <= area.size());
    FUZZ_CHECK(crcCheck ? emitted == valid : emitted >= valid);
    if (!v1 && crcCheck)
        FUZZ_CHECK(flash->countValidRecordsDfrV2(area, wideIds) == valid || !cutShort);
    return 0;
}
