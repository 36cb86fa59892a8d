#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include "com/DfrLink.h"

namespace Vantrel::Utils {

// The favourite platforms CSV file: a "#" header row of titles, then one line per
// occupied slot. Works on text only, without a window or a receiver.
class PlatformsFile
{
public:
    // The column titles, in the order of the fields on each line.
    static QStringList titles();
    // One platform as a line of the file (no line end).
    static QString line(const Com::DfrLink::PlatformInfo_t& info);
    // The whole file read and checked against the titles and the receiver's slot
    // count; throws with the user's message naming the line and column at fault.
    static QList<Com::DfrLink::PlatformInfo_t> parse(const QByteArray& content, const QString& fileName,
                                                     const QStringList& titles, quint32 slotCount);
};

} // namespace Vantrel::Utils

namespace Vantrel::Ui {

// Header row of the file per receiver generation (both generations share it).
extern const QMap<Com::DfrLink::DfrVersion_t, QStringList> platformsFileColumnsNames;

} // namespace Vantrel::Ui
