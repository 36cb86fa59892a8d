// Settings base: reading keys, and the failures that make the caller write defaults.
#include <QTemporaryDir>
#include <QTest>

#include "inhouse/Exception.h"
#include "inhouse/Settings.h"

using Tarsk::Utils::Settings;

class TstInhouseSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void read_data()
    {
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("throws");
        QTest::addColumn<QString>("expected"); // the value, or a text the error must name
        QTest::newRow("stored key") << true << "timeoutMs" << false << "60000";
        QTest::newRow("value holding a comma") << true << "label" << false << "a,b";
        QTest::newRow("absent key") << true << "keepAliveMs" << true << "keepAliveMs";
        QTest::newRow("key in other case") << true << "TimeoutMs" << true << "TimeoutMs";
        QTest::newRow("missing file") << false << "timeoutMs" << true << "Vantrel.ini";
    }
    void read()
    {
        QFETCH(bool, fileExists);
        QFETCH(QString, key);
        QFETCH(bool, throws);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const Settings settings{QFileInfo(dir.filePath("Vantrel.ini"))};
        if (fileExists) {
            const auto writer = settings.getSettings(Settings::SETTINGS_WRITE);
            writer->setValue("timeoutMs", "60000");
            writer->setValue("label", "a,b");
        }
        try {
            const auto reader = settings.getSettings(Settings::SETTINGS_READ);
            QVERIFY2(fileExists, "a missing file was opened for reading");
            const QString value = Settings::loadVariable(*reader, key);
            QVERIFY2(!throws, qPrintable("no exception, got " + value));
            QCOMPARE(value, expected);
        } catch (const Tarsk::Utils::Exception& e) {
            QVERIFY2(throws && e.message().contains(expected), qPrintable(e.message()));
        }
    }
};

QTEST_GUILESS_MAIN(TstInhouseSettings)
#include "tst_inhousesettings.moc"
