// The firmware image reader: an accepted image loses no byte (header and lines make the file again),
// and every line it hands on fits in a frame: no "$" or "*", Latin-1 text only.
#include "FuzzSupport.h"
#include "inhouse/Exception.h"
#include "utils/FirmwareImage.h"

using Vantrel::Com::DfrLink;
using Vantrel::Utils::FirmwareImage;

VANTREL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzedDataProvider input(data, size);
    const auto version = DfrLink::DfrVersion_t(input.ConsumeIntegralInRange<int>(0, 2));
    const QByteArray content = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    FirmwareImage image;
    try {
        image = FirmwareImage::read(content, QStringLiteral("fuzz.tal"), version);
    } catch (const Tarsk::Utils::Exception&) {
        return 0;
    }
    FUZZ_CHECK(!image.firmwareVersion.isEmpty());
    FUZZ_CHECK(!image.lines.isEmpty());
    const QByteArray header = content.left(content.indexOf('\r'));
    FUZZ_CHECK(header.contains(QByteArray::number(int(version))));
    FUZZ_CHECK(header + '\r' + image.lines.join('\r') == content);
    for (const QByteArray& line : image.lines) {
        FUZZ_CHECK(!line.contains('$') && !line.contains('*') && !line.contains('\r'));
        const QString text = QString::fromUtf8(line);
        FUZZ_CHECK(text.toUtf8() == line);
        for (const QChar c : text)
            FUZZ_CHECK(c.unicode() <= 0xFF);
    }
    return 0;
}
