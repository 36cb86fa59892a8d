// Identifier rules: widths come only from 5, 7 or 8 characters; cutting an identifier keeps a prefix
// of at most three characters less; cutting a payload keeps its tail, shifted by whole nibbles.
#include "FuzzSupport.h"
#include "inhouse/Exception.h"
#include "utils/IdUtils.h"

using Vantrel::Com::DfrLink;
using Vantrel::Utils::IdUtils;

VANTREL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto modulation = DfrLink::OrvanModulation_t(input.ConsumeIntegralInRange<int>(0, 7));
    const bool isDfrV2 = input.ConsumeBool();
    const QByteArray payload = QByteArray::fromStdString(input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 64)));
    const QString id = QString::fromUtf8(QByteArray::fromStdString(input.ConsumeRemainingBytesAsString()));

    DfrLink::PlatformIdType_t idType = DfrLink::PLATFORMIDTYPE_UNDEFINED;
    try {
        idType = IdUtils::determinePlatformIdTypeFromLength(id);
        FUZZ_CHECK(id.size() == 5 || id.size() == 7 || id.size() == 8);
    } catch (const Tarsk::Utils::Exception&) {
        FUZZ_CHECK(id.size() != 5 && id.size() != 7 && id.size() != 8);
    }

    const QString adjusted = IdUtils::adjustId(id, idType, modulation, isDfrV2);
    FUZZ_CHECK(id.startsWith(adjusted));
    FUZZ_CHECK(id.size() - adjusted.size() <= 3);

    const QByteArray cut = IdUtils::adjustPayload(payload, idType, modulation, isDfrV2);
    FUZZ_CHECK(cut.size() <= payload.size());
    // The kept bits are the payload's last ones, possibly followed by one pad nibble.
    const QByteArray inHex = payload.toHex();
    QByteArray outHex = cut.toHex();
    if (!inHex.endsWith(outHex)) {
        FUZZ_CHECK(outHex.endsWith('0'));
        outHex.chop(1);
        FUZZ_CHECK(inHex.endsWith(outHex));
    }
    return 0;
}
