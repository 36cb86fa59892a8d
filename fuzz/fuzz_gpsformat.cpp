// The GPS format file and payload decoding: a file reads the same with either line end, bit fields
// read in two parts join to the field read whole, and fields out of the payload read as 0.
#include <QFile>
#include <QTemporaryDir>
#include <cmath>

#include "FuzzSupport.h"
#include "utils/GpsFormat.h"

using Vantrel::Utils::GpsFormat;
using Vantrel::Utils::GpsFormat_t;

VANTREL_FUZZ_INIT

namespace {

GpsFormat::FormatMap_t readFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(content) != content.size())
        std::abort();
    file.close();
    GpsFormat* catalog = GpsFormat::instance();
    catalog->clearGpsFormats(GpsFormat::ORIGIN_FILE);
    catalog->readGpsFormatsFromFile(QFileInfo(path));
    return catalog->getAvailableFormats();
}

bool sameCatalog(const GpsFormat::FormatMap_t& a, const GpsFormat::FormatMap_t& b)
{
    if (a.keys() != b.keys())
        return false;
    for (auto it = a.cbegin(); it != a.cend(); ++it) {
        if (!GpsFormat::compare(it.value(), b.value(it.key())) || it.value().description != b.value(it.key()).description)
            return false;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("formats.kvl"));
    FuzzedDataProvider input(data, size);
    const QByteArray payload = QByteArray::fromStdString(input.ConsumeBytesAsString(input.ConsumeIntegralInRange<size_t>(0, 40)));
    const int pos = input.ConsumeIntegral<qint32>();
    const int len = input.ConsumeIntegral<qint32>();
    const int split = input.ConsumeIntegralInRange<int>(0, 32);
    QByteArray file = QByteArray::fromStdString(input.ConsumeRemainingBytesAsString());

    // Bit fields: a field of up to 32 bits is its two halves side by side.
    const qint64 end = qint64(pos) + len;
    const qint32 whole = GpsFormat::extractNumber(payload, pos, len);
    if (len <= 0 || pos < 0 || end > 8 * payload.size()) {
        FUZZ_CHECK(whole == 0);
    } else if (len <= 32 && split < len) {
        const quint32 head = quint32(GpsFormat::extractNumber(payload, pos, split));
        const quint32 tail = quint32(GpsFormat::extractNumber(payload, pos + split, len - split));
        const quint32 joined = split == 0 ? tail : (quint64(head) << (len - split)) | tail;
        FUZZ_CHECK(quint32(whole) == joined);
    }

    // A file edited on another system reads the same.
    if (file.contains('\r'))
        file.replace('\r', ' ');
    const GpsFormat::FormatMap_t lfCatalog = readFile(path, file);
    QByteArray windows = file;
    windows.replace("\n", "\r\n");
    FUZZ_CHECK(sameCatalog(lfCatalog, readFile(path, windows)));

    // Every format read decodes any payload without a trap; sound scales give a finite
    // position, a zero divisor none at all.
    for (auto it = lfCatalog.cbegin(); it != lfCatalog.cend(); ++it) {
        if (it.key().first != GpsFormat::ORIGIN_FILE)
            continue;
        double latitude = 0.0;
        double longitude = 0.0;
        const bool decoded =
            GpsFormat::instance()->decodePayload(it.key().first, it.key().second, payload, latitude, longitude);
        const auto& lat = it.value().lat;
        const auto& lon = it.value().lon;
        FUZZ_CHECK(decoded == (lat.u != 0 && lat.w != 0 && lon.u != 0 && lon.w != 0));
        if (decoded)
            FUZZ_CHECK(std::isfinite(latitude) && std::isfinite(longitude));
    }
    return 0;
}
