// The main window after start-up: title, tabs, combo boxes, table headers, log, and the Settings tab.
#include <QtTest>

#include <QComboBox>
#include <QTabWidget>
#include <QTableWidget>

#include "app/AppIdentity.h"
#include "app/Constants.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "tests/common/TestSupport.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"
#include "utils/Settings.h"

using Vantrel::Ui::MainWindow;

namespace {

QString storedValue(const QString& key)
{
    return QSettings(TestSupport::settingsPath(), QSettings::IniFormat).value(key).toString();
}

QStringList items(const QComboBox* box)
{
    QStringList texts;
    for (int i = 0; i < box->count(); ++i)
        texts.append(box->itemText(i));
    return texts;
}

QStringList headers(const QTableWidget* table)
{
    QStringList texts;
    for (int c = 0; c < table->columnCount(); ++c)
        texts.append(table->horizontalHeaderItem(c)->text());
    return texts;
}

} // namespace

class TestMainWindow : public QObject
{
    Q_OBJECT

    MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    QString initialSettings;

    bool logHas(const QString& type, const QString& message) const { return TestSupport::logHas(ui, type, message); }

private Q_SLOTS:
    void initTestCase()
    {
        // A stored timeout below the spin box minimum and an unknown NPR format.
        initialSettings = "[General]\nprintUartDebugInfo=0\nprintAtCmdDebugInfo=1\ndfrCommandTimeoutMs=50\n"
                          "keepAliveTimeoutMs=500\nkeepAlivePeriodMs=1000\nkeepChecksumErrorOnNprDfr500=0\n"
                          "nprMessagesFormat=5\n";
        QVERIFY(TestSupport::writeFile(TestSupport::settingsPath(), initialSettings));

        window = new MainWindow();
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QTRY_VERIFY_WITH_TIMEOUT(logHas("INFO", "Ready!"), 5000);
    }

    void frame()
    {
        QCOMPARE(window->windowTitle(), QStringLiteral("Vantrel - 2.0.0 - ac75928"));
        const QStringList titles = {"Configuration", "Favorite platforms", "DFR Formats Bank",
                                    "Messages",      "Terminal",           "Settings"};
        QCOMPARE(ui->tabWidget->count(), titles.size());
        for (int tab = 0; tab < titles.size(); ++tab) {
            QCOMPARE(ui->tabWidget->tabText(tab), titles.at(tab));
            QCOMPARE(ui->tabWidget->isTabEnabled(tab), tab >= 4); // Terminal and Settings
        }
    }

    void comboBoxes_data()
    {
        QTest::addColumn<QString>("box");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("coordinate type")
            << "comboBoxSetupSoftwareCoordType"
            << QString::fromUtf8("xx.xxx°|xx°xx'xx\"|xx°xx.xx'").split('|');
        QTest::newRow("distance unit")
            << "comboBoxSetupSoftwareDistType" << QStringList{"km", "miles", "nautical miles"};
        QTest::newRow("setup band") << "comboBoxSetupSoftwareOrvanBand" << Vantrel::Ui::orvanBandsText;
        QTest::newRow("platform band") << "comboBoxPlatformsOrvanBand" << Vantrel::Ui::orvanBandsText;
        QTest::newRow("modulation without INVALID")
            << "comboBoxPlatformsModulation" << QStringList{"A2", "A3", "A4", "LDK"};
        QTest::newRow("direction mode") << "comboBoxHardwareDirectionMode" << QStringList{"Goniometry", "MSG_decoding"};
        QTest::newRow("antenna position") << "comboBoxHardwareAntennaPosition" << QStringList{"Up", "Down"};
        QTest::newRow("antenna type")
            << "comboBoxHardwareAntennaMode" << QStringList{"PLX500", "Passive", "PLX500_Extended"};
        QTest::newRow("compass mode without Undefined")
            << "comboBoxHardwareCompassMode" << QStringList{"Fixed", "Compass", "Auto"};
        QTest::newRow("NPR format") << "comboBoxNprFormat" << QStringList{"V1", "V2"};
    }

    void comboBoxes()
    {
        QFETCH(QString, box);
        QFETCH(QStringList, expected);
        const auto* combo = window->findChild<QComboBox*>(box);
        QVERIFY(combo);
        QCOMPARE(items(combo), expected);
    }

    void bandTextsLineUp()
    {
        QCOMPARE(Vantrel::Ui::orvanBandsText.size(), 10);
        for (const QString& text : Vantrel::Ui::orvanBandsText)
            QVERIFY2(text.size() == 35 && text.indexOf(':') == 7, qPrintable(text));
    }

    void tables()
    {
        QCOMPARE(headers(ui->tableWidgetRx),
                 (QStringList{"Origin", "Index", "Label", "Position", "Time", "Id", "Frequency (Hz)",
                              QString::fromUtf8("Direction (°)"), "Band", "Modulation", "Level (dBm)",
                              "Period (s)", QString::fromUtf8("Latitude DFR (°)"),
                              QString::fromUtf8("Longitude DFR (°)"), QString::fromUtf8("Direction DFR (°)"),
                              QString::fromUtf8("Latitude payload (°)"), QString::fromUtf8("Longitude payload (°)"),
                              "CRC", "Payload", "Raw payload"}));
        QCOMPARE(headers(ui->tableWidgetPlatforms), (QStringList{"Pos", "Id", "Modulation", "Label", "GPS Format"}));
        QCOMPARE(headers(ui->tableWidgetGpsFormats), (QStringList{"Pos", "Name"}));
    }

    void settingsShownAsLoaded()
    {
        // Filling the widgets wrote nothing, and stored values stay as they are.
        QCOMPARE(TestSupport::readFile(TestSupport::settingsPath()), initialSettings);
        QCOMPARE(Vantrel::Utils::Settings::instance()->dfrCommandTimeoutMs, 50);
        QCOMPARE(ui->spinBoxDfrCommandTimeout->value(), 1000);
        QCOMPARE(Vantrel::Utils::Settings::instance()->nprMessagesFormat, 5);
        QCOMPARE(ui->comboBoxNprFormat->currentText(), QStringLiteral("V1"));
        QVERIFY(ui->checkBoxPrintAtCmdDebugInfo->isChecked());
        QVERIFY(!ui->checkBoxPrintUartDebugInfo->isChecked());
    }

    void editsWriteAtOnce_data()
    {
        QTest::addColumn<QString>("widget");
        QTest::addColumn<QVariant>("value");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("stored");

        QTest::newRow("UART debug on") << "checkBoxPrintUartDebugInfo" << QVariant(true) << "printUartDebugInfo" << "1";
        QTest::newRow("command traces off")
            << "checkBoxPrintAtCmdDebugInfo" << QVariant(false) << "printAtCmdDebugInfo" << "0";
        QTest::newRow("checksum compatibility")
            << "checkBoxKeepChecksumError" << QVariant(true) << "keepChecksumErrorOnNprDfr500" << "1";
        QTest::newRow("command timeout")
            << "spinBoxDfrCommandTimeout" << QVariant(2500) << "dfrCommandTimeoutMs" << "2500";
        QTest::newRow("keep-alive timeout")
            << "spinBoxKeepAliveTimeout" << QVariant(700) << "keepAliveTimeoutMs" << "700";
        QTest::newRow("keep-alive period")
            << "spinBoxKeepAlivePeriod" << QVariant(3000) << "keepAlivePeriodMs" << "3000";
        QTest::newRow("NPR format V2") << "comboBoxNprFormat" << QVariant(1) << "nprMessagesFormat" << "2";
        QTest::newRow("NPR format V1") << "comboBoxNprFormat" << QVariant(0) << "nprMessagesFormat" << "1";
    }

    void editsWriteAtOnce()
    {
        QFETCH(QString, widget);
        QFETCH(QVariant, value);
        QFETCH(QString, key);
        QFETCH(QString, stored);

        ui->tabWidget->setCurrentIndex(5);
        QWidget* target = window->findChild<QWidget*>(widget);
        QVERIFY(target);
        if (auto* box = qobject_cast<QCheckBox*>(target)) {
            if (box->isChecked() != value.toBool())
                box->click();
        } else if (auto* spin = qobject_cast<QSpinBox*>(target)) {
            spin->setFocus();
            spin->selectAll();
            QTest::keyClicks(spin, value.toString());
            QCOMPARE(storedValue(key) == stored, false);  // typing alone stores nothing
            QTest::keyClick(spin, Qt::Key_Enter);
        } else if (auto* combo = qobject_cast<QComboBox*>(target)) {
            if (combo->currentIndex() == value.toInt())
                combo->setCurrentIndex(1 - value.toInt());
            combo->setCurrentIndex(value.toInt());
        }
        QCOMPARE(storedValue(key), stored);
    }
};

int main(int argc, char** argv)
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setOrganizationName(Vantrel::App::organisationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    TestMainWindow test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_mainwindow.moc"
