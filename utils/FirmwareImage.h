#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include "com/DfrLink.h"

namespace Vantrel::Utils {

// A firmware image file: a header naming the receiver generation and the
// firmware version, then the lines sent to the receiver one by one.
class FirmwareImage
{
public:
    // The file split into its version and the lines to send, all checked against
    // the connected generation; throws with the user's message.
    static FirmwareImage read(const QByteArray& content, const QString& fileName,
                              Com::DfrLink::DfrVersion_t dfrVersion);

    QString firmwareVersion;
    QList<QByteArray> lines;
};

} // namespace Vantrel::Utils
