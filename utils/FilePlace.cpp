#include "utils/FilePlace.h"

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace Vantrel::Utils {

namespace {

// Permissions say too little (root, Windows ACLs, read-only mounts): try.
bool acceptsNewFile(const QString& dir)
{
    QTemporaryFile probe(QDir(dir).filePath(QStringLiteral(".vantrel-probe-XXXXXX")));
    return probe.open();
}

void copyMissing(const QString& from, const QString& to)
{
    const QFileInfo source(from);
    if (source.isFile()) {
        if (!QFileInfo::exists(to)) {
            QFile::copy(from, to);
        }
        return;
    }
    if (!source.isDir()) {
        return;
    }
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = QDir(to).filePath(QDir(from).relativeFilePath(file));
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFileInfo::exists(target)) {
            QFile::copy(file, target);
        }
    }
}

} // namespace

FilePlace::Choice_t FilePlace::choose(const QString& appDir, const QString& userDataDir)
{
    Choice_t choice;
    const QString beside = QDir::cleanPath(QDir(appDir).absoluteFilePath(QStringLiteral("..")));
    if (acceptsNewFile(beside) || userDataDir.isEmpty()) {
        choice.base = beside;
        return choice;
    }
    choice.base = QDir::cleanPath(userDataDir);
    choice.userData = true;
    choice.firstUse = !QFileInfo::exists(choice.base);
    QDir().mkpath(choice.base);
    // Only what is missing: the user's own files always win over the installed ones.
    copyMissing(QDir(beside).filePath(QStringLiteral("Vantrel.ini")), QDir(choice.base).filePath(QStringLiteral("Vantrel.ini")));
    copyMissing(QDir(beside).filePath(QStringLiteral("Data")), QDir(choice.base).filePath(QStringLiteral("Data")));
    return choice;
}

const FilePlace::Choice_t& FilePlace::current()
{
    static const Choice_t choice = choose(QCoreApplication::applicationDirPath(),
                                          QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return choice;
}

QString FilePlace::resolve(const QString& path)
{
    if (path.startsWith(QLatin1String("../"))) {
        return QDir::cleanPath(QDir(current().base).absoluteFilePath(path.mid(3)));
    }
    return QDir::cleanPath(QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(path));
}

QString FilePlace::firstUseNote()
{
    const Choice_t& choice = current();
    if (!choice.firstUse) {
        return {};
    }
    return QStringLiteral("Settings, logs, flash dumps and the archive are kept in %1: the folder of the installation "
                          "may not be written.")
        .arg(QDir::toNativeSeparators(choice.base));
}

} // namespace Vantrel::Utils
