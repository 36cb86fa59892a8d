// The Settings tab: values shown as loaded from the file, every edit stored at once; the window's state kept.
#include <QtWidgets>

#include "tests/common/TestSupport.h"
#include "tests/ui/WindowTestMain.h"
#include "utils/Settings.h"

using Vantrel::Ui::MainWindow;

namespace {

QString storedValue(const QString& key)
{
    return QSettings(TestSupport::settingsPath(), QSettings::IniFormat).value(key).toString();
}

} // namespace

class TstMainWindow : public QObject
{
    Q_OBJECT

    MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    QString initialSettings;

    void openWindow()
    {
        // A stored timeout below the spin box minimum and an unknown NPR format.
        initialSettings = "[General]\nprintUartDebugInfo=0\nprintAtCmdDebugInfo=1\ndfrCommandTimeoutMs=50\n"
                          "keepAliveTimeoutMs=500\nkeepAlivePeriodMs=1000\nkeepChecksumErrorOnNprDfr500=0\n"
                          "nprMessagesFormat=5\n";
        QVERIFY(TestSupport::writeFile(TestSupport::settingsPath(), initialSettings));

        window = WindowTest::openWindow();
        ui = window->form();
        QTRY_VERIFY_WITH_TIMEOUT(TestSupport::logHas(ui, "INFO", "Ready!"), 5000);
    }

private Q_SLOTS:
    // First, before the Settings tab's window exists: the window's size, last tab and messages table columns
    // come back in the next run, and the user settings beside them stay as they were.
    void rememberedBetweenRuns()
    {
        QVERIFY(TestSupport::writeFile(TestSupport::settingsPath(),
                                       "[General]\nprintUartDebugInfo=1\nprintAtCmdDebugInfo=0\ndfrCommandTimeoutMs=4321\n"
                                       "keepAliveTimeoutMs=500\nkeepAlivePeriodMs=1000\n"
                                       "keepChecksumErrorOnNprDfr500=0\nnprMessagesFormat=1\n"));
        // A receiver tab cannot be shown before a receiver is connected: the first tab stands for it.
        for (const int tab : {4, 1}) {
            const QSize size = tab == 4 ? QSize(1000, 680) : QSize(900, 600);
            const Qt::SortOrder order = tab == 4 ? Qt::DescendingOrder : Qt::AscendingOrder;
            QScopedPointer<MainWindow> first(new MainWindow());
            first->show();
            first->slotPostInit();
            first->resize(size);
            QTRY_COMPARE_WITH_TIMEOUT(first->size(), size, 2000);
            first->form()->tabWidget->setTabEnabled(tab, true);
            first->form()->tabWidget->setCurrentIndex(tab);
            first->form()->tableWidgetRx->horizontalHeader()->resizeSection(2, 177);
            first->form()->tableWidgetRx->horizontalHeader()->setSortIndicator(tab + 6, order);
            first->close();
            first.reset();

            MainWindow second;
            second.show();
            second.slotPostInit();
            const QHeaderView* header = second.form()->tableWidgetRx->horizontalHeader();
            QCOMPARE(second.size(), size);
            QCOMPARE(second.form()->tabWidget->currentIndex(), tab == 4 ? 4 : 0);
            QCOMPARE((QList<int>{header->sectionSize(2), header->sortIndicatorSection()}), (QList<int>{177, tab + 6}));
            QCOMPARE(header->sortIndicatorOrder(), order);
        }
        // The user settings kept their values and the top of the file to themselves.
        QSettings file(TestSupport::settingsPath(), QSettings::IniFormat);
        QCOMPARE(file.value("dfrCommandTimeoutMs").toString(), QString("4321"));
        QCOMPARE(file.childKeys().size(), 7);
    }

    void settingsShownAsLoaded()
    {
        openWindow();
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

        ui->tabWidget->setCurrentWidget(ui->tabSettings);
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

    // Every button of the tabs shows an icon that paints, but for a glyph that is its own ("✕");
    // the dialogs a tab opens are windows of their own.
    void tabButtonsShowIcons()
    {
        QStringList bare;
        for (QAbstractButton* button : ui->tabWidget->findChildren<QAbstractButton*>()) {
            if (qobject_cast<QPushButton*>(button) && button->window() == window && button->text().size() != 1
                && button->icon().pixmap(16).isNull()) {
                bare.append(button->objectName() + " " + button->text());
            }
        }
        QVERIFY2(bare.isEmpty(), qPrintable(bare.join(", ")));
    }
};

VANTREL_WINDOW_TEST_MAIN(TstMainWindow)
#include "tst_mainwindow.moc"
