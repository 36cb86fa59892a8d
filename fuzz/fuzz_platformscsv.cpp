// The platforms file import: whatever the file holds, an accepted file lists only slots the receiver has,
// and its platforms written out and read again are the same platforms.
#include "FuzzSupport.h"
#include "inhouse/Exception.h"
#include "utils/PlatformsFile.h"

using Vantrel::Com::DfrLink;
using Vantrel::Utils::PlatformsFile;

VANTREL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto version = input.ConsumeBool() ? DfrLink::DFR_V2 : DfrLink::DFR_V1;
    const quint32 slotCount = input.ConsumeIntegralInRange<quint32>(1, 300);
    const QByteArray content = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());
    const QStringList titles = Vantrel::Ui::platformsFileColumnsNames.value(version);

    QList<DfrLink::PlatformInfo_t> platforms;
    try {
        platforms = PlatformsFile::parse(content, QStringLiteral("fuzz.csv"), titles, slotCount);
    } catch (const Tarsk::Utils::Exception&) {
        return 0;
    }
    QString exported = QLatin1Char('#') + titles.join(QLatin1Char(',')) + QLatin1Char('\n');
    for (const auto& info : platforms) {
        FUZZ_CHECK(quint32(info.index) < slotCount);
        exported += PlatformsFile::line(info) + QLatin1Char('\n');
    }

    QList<DfrLink::PlatformInfo_t> again;
    try {
        again = PlatformsFile::parse(exported.toUtf8(), QStringLiteral("fuzz.csv"), titles, slotCount);
    } catch (const Tarsk::Utils::Exception& e) {
        std::fprintf(stderr, "%s\n", qPrintable(e.message()));
        FUZZ_CHECK(!"an exported file imports again");
    }
    FUZZ_CHECK(again.size() == platforms.size());
    for (int i = 0; i < again.size(); ++i)
        FUZZ_CHECK(PlatformsFile::line(again.at(i)) == PlatformsFile::line(platforms.at(i)));
    return 0;
}
