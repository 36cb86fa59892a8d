#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

namespace Vantrel::Utils {

// Names offered by the save dialogs, so that a file says what it holds and when.
class FileNames
{
public:
    FileNames() = delete;

    // "<what>_<about>…_<yyyy-MM-dd_HHmm>UTC.<suffix>" (suffix without its dot): empty parts
    // are left out, and any character a file system could read as more than a letter becomes "_".
    static QString offered(const QString& what, const QStringList& about, const QDateTime& when,
                           const QString& suffix);
};

} // namespace Vantrel::Utils
