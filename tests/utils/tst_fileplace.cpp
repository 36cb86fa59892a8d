// Where the files kept beside the installation go when the installation may not be written.
// Run as an ordinary user (the test registration drops root), so that permissions bite.
#include <QtTest>

#include "utils/FilePlace.h"

using Vantrel::Utils::FilePlace;

namespace {

void write(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly), qPrintable(path));
    file.write(content);
}

QByteArray read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TstFilePlace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void choose_data()
    {
        QTest::addColumn<bool>("installWritable");
        QTest::addColumn<bool>("userFolderThere");
        QTest::addColumn<bool>("userData");
        QTest::addColumn<bool>("firstUse");
        QTest::addColumn<QByteArray>("settingsAfter");
        QTest::newRow("portable copy: beside, as always") << true << false << false << false << QByteArray("installed");
        QTest::newRow("installed for all: first use copies the defaults")
            << false << false << true << true << QByteArray("installed");
        QTest::newRow("installed for all: the user's own settings stay")
            << false << true << true << false << QByteArray("the user's");
    }

    void choose()
    {
        QFETCH(bool, installWritable);
        QFETCH(bool, userFolderThere);
        QFETCH(bool, userData);
        QFETCH(bool, firstUse);
        QFETCH(QByteArray, settingsAfter);
#if defined(Q_OS_WIN)
        if (!installWritable) {
            QSKIP("Windows keeps files out of a folder by its access rights, not by the attribute a test can set");
        }
#endif

        QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/Vantrel Åsa-XXXXXX"));
        QVERIFY(scratch.isValid());
        const QString install = scratch.filePath(QStringLiteral("Program Files/Vantrel"));
        const QString user = scratch.filePath(QStringLiteral("home/KVL/Vantrel"));
        write(install + QStringLiteral("/Vantrel.ini"), "installed");
        write(install + QStringLiteral("/Data/format.kvl"), "formats");
        QVERIFY(QDir().mkpath(install + QStringLiteral("/bin")));
        if (userFolderThere) {
            write(user + QStringLiteral("/Vantrel.ini"), "the user's");
        }
        if (!installWritable) {
            QVERIFY(QFile::setPermissions(install, QFile::ReadOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther));
        }

        const FilePlace::Choice_t choice = FilePlace::choose(install + QStringLiteral("/bin"), user);
        QFile::setPermissions(install, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        QCOMPARE(choice.userData, userData);
        QCOMPARE(choice.firstUse, firstUse);
        QCOMPARE(choice.base, userData ? user : install);
        QCOMPARE(read(choice.base + QStringLiteral("/Vantrel.ini")), settingsAfter);
        QCOMPARE(read(choice.base + QStringLiteral("/Data/format.kvl")), QByteArray("formats"));
        // The probe leaves nothing behind.
        QCOMPARE(QDir(install).entryList(QDir::Files | QDir::Hidden), QStringList{"Vantrel.ini"});
    }
};

QTEST_GUILESS_MAIN(TstFilePlace)

#include "tst_fileplace.moc"
