// Settings file: first run, partial and malformed files, values kept as stored.
#include <QtTest>

#include "utils/Settings.h"

using Vantrel::Utils::Settings;

namespace {

struct Fields
{
    bool uart, atCmd;
    int cmdTimeout, kaTimeout, kaPeriod;
    bool checksum;
    int nprFormat;
};

Fields fieldsOf(const Settings* s)
{
    return {s->printUartDebugInfo,  s->printAtCmdDebugInfo,          s->dfrCommandTimeoutMs, s->keepAliveTimeoutMs,
            s->keepAlivePeriodMs,   s->keepChecksumErrorOnNprDfr500, s->nprMessagesFormat};
}

QString describe(const Fields& f)
{
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7")
        .arg(f.uart).arg(f.atCmd).arg(f.cmdTimeout).arg(f.kaTimeout).arg(f.kaPeriod).arg(f.checksum).arg(f.nprFormat);
}

const QStringList keys = {"printUartDebugInfo", "printAtCmdDebugInfo", "dfrCommandTimeoutMs", "keepAliveTimeoutMs",
                          "keepAlivePeriodMs",  "keepChecksumErrorOnNprDfr500", "nprMessagesFormat"};

QString settingsPath()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("../Vantrel.ini");
}

QStringList storedValues()
{
    QSettings stored(settingsPath(), QSettings::IniFormat);
    QStringList values;
    for (const QString& key : keys)
        values.append(stored.contains(key) ? stored.value(key).toString() : QStringLiteral("<absent>"));
    return values;
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void firstRunWritesDefaults()
    {
        QFile::remove(settingsPath());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(".+"));
        QTest::ignoreMessage(QtWarningMsg, "Load default values. Creation of a new settings file.");
        const Settings* settings = Settings::instance();
        QCOMPARE(describe(fieldsOf(settings)), QStringLiteral("0 1 60000 500 1000 0 2"));
        QCOMPARE(storedValues(), (QStringList{"0", "1", "60000", "500", "1000", "0", "2"}));
        QCOMPARE(Settings::instance(), settings);
    }

    void load_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("rewritten");

        // Every row starts from the fields "1 0 11 22 33 1 7".
        const QString all = "printUartDebugInfo=1\nprintAtCmdDebugInfo=0\ndfrCommandTimeoutMs=1500\n"
                            "keepAliveTimeoutMs=250\nkeepAlivePeriodMs=2000\nkeepChecksumErrorOnNprDfr500=0\n"
                            "nprMessagesFormat=1\n";
        QTest::newRow("complete file") << all << "1 0 1500 250 2000 0 1" << false;
        QTest::newRow("yes is not a boolean")
            << QString(all).replace("printAtCmdDebugInfo=0", "printAtCmdDebugInfo=yes") << "1 0 1500 250 2000 0 1"
            << false;
        QTest::newRow("any non-zero number is true")
            << QString(all).replace("printAtCmdDebugInfo=0", "printAtCmdDebugInfo=2") << "1 1 1500 250 2000 0 1"
            << false;
        QTest::newRow("boolean above 16 bits is false")
            << QString(all).replace("printUartDebugInfo=1", "printUartDebugInfo=65536") << "0 0 1500 250 2000 0 1"
            << false;
        QTest::newRow("abc timeout reads 0")
            << QString(all).replace("dfrCommandTimeoutMs=1500", "dfrCommandTimeoutMs=abc") << "1 0 0 250 2000 0 1"
            << false;
        QTest::newRow("out-of-range stored value kept")
            << QString(all).replace("dfrCommandTimeoutMs=1500", "dfrCommandTimeoutMs=50") << "1 0 50 250 2000 0 1"
            << false;
        QTest::newRow("integer beyond 32 bits reads 0")
            << QString(all).replace("keepAliveTimeoutMs=250", "keepAliveTimeoutMs=3000000000")
            << "1 0 1500 0 2000 0 1" << false;
        QTest::newRow("unknown format number kept")
            << QString(all).replace("nprMessagesFormat=1", "nprMessagesFormat=5") << "1 0 1500 250 2000 0 5" << false;
        QTest::newRow("missing key stops loading there")
            << QString(all).replace("keepAlivePeriodMs=2000\n", "") << "1 0 1500 250 33 1 7" << true;
    }

    void load()
    {
        QFETCH(QString, content);
        QFETCH(QString, expected);
        QFETCH(bool, rewritten);

        Settings* settings = Settings::instance();
        settings->printUartDebugInfo = true;
        settings->printAtCmdDebugInfo = false;
        settings->dfrCommandTimeoutMs = 11;
        settings->keepAliveTimeoutMs = 22;
        settings->keepAlivePeriodMs = 33;
        settings->keepChecksumErrorOnNprDfr500 = true;
        settings->nprMessagesFormat = 7;

        QFile file(settingsPath());
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(content.toUtf8());
        file.close();

        if (rewritten) {
            QTest::ignoreMessage(QtWarningMsg, QRegularExpression("keepAlivePeriodMs"));
            QTest::ignoreMessage(QtWarningMsg, "Load default values. Creation of a new settings file.");
        }
        QTest::failOnWarning(QRegularExpression(".*"));
        settings->loadSettingsInternal();
        QCOMPARE(describe(fieldsOf(settings)), expected);

        if (rewritten) {
            const Fields f = fieldsOf(settings);
            QCOMPARE(storedValues(), (QStringList{QString::number(f.uart), QString::number(f.atCmd),
                                                  QString::number(f.cmdTimeout), QString::number(f.kaTimeout),
                                                  QString::number(f.kaPeriod), QString::number(f.checksum),
                                                  QString::number(f.nprFormat)}));
        } else {
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(QString::fromUtf8(file.readAll()), content);
        }
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"
