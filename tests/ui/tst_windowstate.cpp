// The window's size, last tab and messages table columns come back in the next run, and the user settings beside them stay as they were.
#include <QtTest>

#include <QHeaderView>
#include <QSettings>

#include "tests/common/TestSupport.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"

using Vantrel::Ui::MainWindow;

class TestWindowState : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void rememberedBetweenRuns_data()
    {
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("expectedTab");
        QTest::addColumn<int>("sortColumn");
        QTest::addColumn<Qt::SortOrder>("order");
        QTest::addColumn<QSize>("size");

        QTest::newRow("terminal, sorted by level descending")
            << 4 << 4 << 10 << Qt::DescendingOrder << QSize(1000, 680);
        // A receiver tab cannot be shown before a receiver is connected.
        QTest::newRow("platforms tab waits for a receiver") << 1 << 0 << 4 << Qt::AscendingOrder << QSize(900, 600);
    }

    void rememberedBetweenRuns()
    {
        QFETCH(int, tab);
        QFETCH(int, expectedTab);
        QFETCH(int, sortColumn);
        QFETCH(Qt::SortOrder, order);
        QFETCH(QSize, size);

        QVERIFY(TestSupport::writeFile(TestSupport::settingsPath(),
                                       "[General]\nprintUartDebugInfo=1\nprintAtCmdDebugInfo=0\ndfrCommandTimeoutMs=4321\n"
                                       "keepAliveTimeoutMs=500\nkeepAlivePeriodMs=1000\n"
                                       "keepChecksumErrorOnNprDfr500=0\nnprMessagesFormat=1\n"));

        auto* first = new MainWindow();
        first->show();
        first->slotPostInit();
        first->resize(size);
        QTRY_COMPARE_WITH_TIMEOUT(first->size(), size, 2000);
        Vantrel::Ui_UiMainWindow* ui = first->form();
        ui->tabWidget->setTabEnabled(tab, true);
        ui->tabWidget->setCurrentIndex(tab);
        QHeaderView* header = ui->tableWidgetRx->horizontalHeader();
        header->resizeSection(2, 177);
        header->setSortIndicator(sortColumn, order);
        first->close();
        delete first;

        auto* second = new MainWindow();
        second->show();
        second->slotPostInit();
        ui = second->form();
        header = ui->tableWidgetRx->horizontalHeader();
        QCOMPARE(second->size(), size);
        QCOMPARE(ui->tabWidget->currentIndex(), expectedTab);
        QCOMPARE(header->sectionSize(2), 177);
        QCOMPARE(header->sortIndicatorSection(), sortColumn);
        QCOMPARE(header->sortIndicatorOrder(), order);
        delete second;

        // The user settings kept their values and the top of the file to themselves.
        QSettings file(TestSupport::settingsPath(), QSettings::IniFormat);
        QCOMPARE(file.value("dfrCommandTimeoutMs").toString(), QString("4321"));
        QCOMPARE(file.childKeys().size(), 7);
    }
};

QTEST_MAIN(TestWindowState)
#include "tst_windowstate.moc"
