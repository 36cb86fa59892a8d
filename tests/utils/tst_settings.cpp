// Settings file: first run, partial and malformed files read from disk (the Settings tab covers display and edits).
#include <QtTest>

#include "tests/common/TestSupport.h"
#include "utils/Settings.h"

using TestSupport::settingsPath;
using Vantrel::Utils::Settings;

namespace {

// The fields in file order, in memory or, without settings, as stored.
QStringList fieldsOf(const Settings* s = nullptr)
{
    const QSettings stored(settingsPath(), QSettings::IniFormat);
    QStringList values;
    for (const Settings::Entry_t& entry : Settings::entries())
        values << (s ? QString::number(s->value(entry)) : stored.value(entry.key, QStringLiteral("<absent>")).toString());
    return values;
}

} // namespace

class TstSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunWritesDefaults()
    {
        QFile::remove(settingsPath());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Settings file .*/Vantrel.ini does not exist$"));
        QTest::ignoreMessage(QtWarningMsg, "Load default values. Creation of a new settings file.");
        const Settings* settings = Settings::instance();
        const QStringList defaults{"0", "1", "60000", "500", "1000", "0", "2", "10"};
        QCOMPARE(fieldsOf(settings), defaults);
        QCOMPARE(fieldsOf(), defaults);
        QCOMPARE(Settings::instance(), settings);
    }

    void load_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("rewritten");
        // Every row starts from the fields "1 0 11 22 33 1 7 44".
        const QString all = "printUartDebugInfo=1\nprintAtCmdDebugInfo=0\ndfrCommandTimeoutMs=1500\n"
                            "keepAliveTimeoutMs=250\nkeepAlivePeriodMs=2000\nkeepChecksumErrorOnNprDfr500=0\n"
                            "nprMessagesFormat=1\n";
        const auto with = [&all](const char* from, const char* to) { return QString(all).replace(from, to); };
        QTest::newRow("any non-zero number is true, abc reads 0")
            << with("AtCmdDebugInfo=0", "AtCmdDebugInfo=2").replace("TimeoutMs=1500", "TimeoutMs=abc")
            << "1 1 0 250 2000 0 1 44" << false;
#if defined(Q_OS_WIN)
        // Windows reads the keys of an ini file whatever their case.
        QTest::newRow("key in other case is read")
            << with("keepAlivePeriodMs", "KeepAlivePeriodMs") << "1 0 1500 250 2000 0 1 44" << false;
#else
        QTest::newRow("key in other case is missing: loading stops there")
            << with("keepAlivePeriodMs", "KeepAlivePeriodMs") << "1 0 1500 250 33 1 7 44" << true;
#endif
        // A file older than the refresh period is not rewritten for lack of it.
        QTest::newRow("refresh period in its group")
            << all + "[Display]\nstatusRefreshSeconds=30\n" << "1 0 1500 250 2000 0 1 30" << false;
    }
    void load()
    {
        QFETCH(QString, content);
        QFETCH(bool, rewritten);
        Settings* settings = Settings::instance();
        const QList<qint32> seed = {1, 0, 11, 22, 33, 1, 7, 44};
        for (int i = 0; i < seed.size(); ++i)
            settings->setValue(Settings::entries().at(i), seed.at(i));
        QVERIFY(TestSupport::writeFile(settingsPath(), content));
        if (rewritten) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Key keepAlivePeriodMs not found in "));
            QTest::ignoreMessage(QtWarningMsg, "Load default values. Creation of a new settings file.");
        }
        QTest::failOnWarning(QRegularExpression(".*"));
        settings->loadSettingsInternal();
        QTEST(fieldsOf(settings).join(' '), "expected");
        // A failed load writes what is in memory; a good one leaves the file alone.
        if (rewritten)
            QCOMPARE(fieldsOf(), fieldsOf(settings));
        else
            QCOMPARE(TestSupport::readFile(settingsPath()), content);
    }

    void receiverCalibrations_data()
    {
        QTest::addColumn<QString>("content");  // the file before, "" to save first
        QTest::addColumn<int>("expected");     // receivers read back
        QTest::newRow("saved, beside the user settings") << QString() << 2;
        QTest::newRow("edited by hand")
            << "[Locate]\nreceiverCalibrations=\"{\\\"0077-3141\\\": {\\\"offsetDeg\\\": 3.125, \\\"sigmaDeg\\\": 2.5, "
               "\\\"count\\\": 30, \\\"timeMs\\\": 1700000000123}}\"" << 1;
    }
    // What is saved comes back, with the fields of the file's top level untouched.
    void receiverCalibrations()
    {
        QFETCH(QString, content);
        Settings* settings = Settings::instance();
        Vantrel::Locate::ReceiverCalibrations saved;
        QVERIFY(saved.set(QStringLiteral("0077-3141"), {3.125, 2.5, 30, 1'700'000'000'123}));
        QVERIFY(saved.set(QStringLiteral("0012-0001"), {-1.5, 0.75, 12, 0}));
        if (content.isEmpty()) {
            settings->saveSettingsInternal();
            const QStringList before = fieldsOf();
            settings->saveReceiverCalibrations(saved);
            QCOMPARE(fieldsOf(), before);
        } else {
            QVERIFY(TestSupport::writeFile(settingsPath(), content));
        }
        const auto read = settings->loadReceiverCalibrations();
        QTEST(read.size(), "expected");
        for (const QString& serial : read.serials())
            QVERIFY(read.entry(serial) == saved.entry(serial));
    }
};

QTEST_GUILESS_MAIN(TstSettings)
#include "tst_settings.moc"
