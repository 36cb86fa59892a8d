#include "utils/FirmwareImage.h"

#include <QRegularExpression>
#include <QStringDecoder>

#include "inhouse/Exception.h"

namespace Vantrel::Utils {

namespace {

using Tarsk::Utils::fail;
constexpr auto badInput = Tarsk::Utils::Exception::KIND_BAD_INPUT;

// Every image line travels as the value of a frame: it must decode, keep the
// frame's delimiters out and fit the line's 8-bit encoding. Checked before the
// user is asked, so a bad file never reaches the receiver. Line numbers count
// the header as line 1.
void checkImageLines(const QString& fileName, const QList<QByteArray>& pieces)
{
    for (qsizetype i = 1; i < pieces.size(); ++i) {
        const QByteArray& bytes = pieces.at(i);
        const qsizetype lineNumber = i + 1;
        QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        const QString text = decoder(bytes);
        if (decoder.hasError()) {
            fail(badInput, QStringLiteral("Unable to use DFR firmware file %1: line %2 is not valid UTF-8.")
                     .arg(fileName)
                     .arg(lineNumber));
            }
        if (bytes.contains('$') || bytes.contains('*')) {
            fail(badInput, QStringLiteral("Unable to use DFR firmware file %1: line %2 holds \"$\" or \"*\", "
                                "which would break its frame.")
                     .arg(fileName)
                     .arg(lineNumber));
            }
        for (const QChar c : text) {
            if (c.unicode() > 0xFF) {
                fail(badInput, QStringLiteral("Unable to use DFR firmware file %1: line %2 holds a character "
                                    "the serial line cannot carry.")
                         .arg(fileName)
                         .arg(lineNumber));
                }
            }
    }
}

} // namespace

FirmwareImage FirmwareImage::read(const QByteArray& content, const QString& fileName,
                                  Com::DfrLink::DfrVersion_t dfrVersion)
{
    // Only CR separates lines: an LF after it belongs to the next line and is sent.
    QList<QByteArray> pieces = content.split('\r');
    if (pieces.size() < 2) {
        // Too short is only a file that begins as an image does, or holds nothing.
        static const QByteArray tag = "TALVEN GONIO_V";
        const QByteArray start = content.trimmed().left(tag.size());
        if (!tag.startsWith(start)) {
            fail(badInput, QStringLiteral("Unable to read DFR firmware file %1: this is not a DFR firmware image "
                                "(it does not begin with \"%2\").")
                     .arg(fileName, QString::fromLatin1(tag)));
            }
        fail(badInput, QStringLiteral("Unable to read DFR firmware file %1: not enought data").arg(fileName));
    }

    static const QRegularExpression header(
        QStringLiteral("^TALVEN GONIO_V(?<gonioVersion>[0-9]+) FIRMWARE VERSION : (?<firmwareVersion>.+)$"));
    const QRegularExpressionMatch match = header.match(QString::fromUtf8(pieces.first().trimmed()));
    const QString gonioVersion = match.captured(QStringLiteral("gonioVersion"));
    const QString firmwareVersion = match.captured(QStringLiteral("firmwareVersion"));
    // A generation number too long to read must not pass as generation 0.
    bool readable = false;
    const uint generation = gonioVersion.toUInt(&readable);
    if (!readable || firmwareVersion.isEmpty()) {
        fail(badInput, QStringLiteral("Unable to decode first line of file %1.").arg(fileName));
    }
    if (generation != quint32(dfrVersion)) {
        fail(badInput, QStringLiteral("Incompatible DFR version (%1 vs %2).").arg(gonioVersion).arg(qint32(dfrVersion)));
    }

    checkImageLines(fileName, pieces);
    pieces.removeFirst();
    return {firmwareVersion, pieces};
}

} // namespace Vantrel::Utils
