// The log table as a tool: level filter and search hide and show the right rows, follow mode pauses while scrolled up.
#include <QtTest>

#include <QScrollBar>
#include <QTableWidget>

#include "inhouse/UiLogger.h"

using Tarsk::Ui::UiLogger;

class TestLogView : public QObject
{
    Q_OBJECT

    QTableWidget* table = nullptr;
    UiLogger* logger = nullptr;

    // One message of each level, logged through the usual channels.
    void logOneOfEach()
    {
        QTest::ignoreMessage(QtWarningMsg, "Device vendor 0x0 product 0x0 is rejected on port ttyS0.");
        QTest::ignoreMessage(QtCriticalMsg, "Error on pts/3 (Uart link timeout). Please restart connection.");
        qDebug().noquote() << "Send $TEST*16";
        qInfo().noquote() << "Ready!";
        qWarning().noquote() << "Device vendor 0x0 product 0x0 is rejected on port ttyS0.";
        qCritical().noquote() << "Error on pts/3 (Uart link timeout). Please restart connection.";
    }

    QStringList shownMessages() const
    {
        QStringList shown;
        for (int row = 0; row < table->rowCount(); ++row)
            if (!table->isRowHidden(row))
                shown.append(table->item(row, UiLogger::COLUMN_MESSAGE)->text());
        return shown;
    }

private Q_SLOTS:
    void init()
    {
        table = new QTableWidget;
        table->resize(500, 200);
        table->show();
        QVERIFY(QTest::qWaitForWindowExposed(table));
        logger = new UiLogger;
        logger->configure(table, 0, QString());
        logger->setFollow(true);
    }

    void cleanup()
    {
        delete logger;
        delete table;
    }

    void filter_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("shown");

        const QString debug = "Send $TEST*16";
        const QString info = "Ready!";
        const QString warning = "Device vendor 0x0 product 0x0 is rejected on port ttyS0.";
        const QString critical = "Error on pts/3 (Uart link timeout). Please restart connection.";
        QTest::newRow("all messages") << int(QtDebugMsg) << "" << QStringList{debug, info, warning, critical};
        QTest::newRow("info and above") << int(QtInfoMsg) << "" << QStringList{info, warning, critical};
        QTest::newRow("warnings and errors") << int(QtWarningMsg) << "" << QStringList{warning, critical};
        QTest::newRow("search ignores case") << int(QtDebugMsg) << "ERROR ON" << QStringList{critical};
        QTest::newRow("search matches in the middle") << int(QtDebugMsg) << "pts/3" << QStringList{critical};
        QTest::newRow("search and level together") << int(QtWarningMsg) << "ready" << QStringList{};
        QTest::newRow("search without a match") << int(QtDebugMsg) << "no such text" << QStringList{};
    }

    void filter()
    {
        QFETCH(int, level);
        QFETCH(QString, search);
        QFETCH(QStringList, shown);

        // Half the rows come before the filter is set, half after.
        QTest::ignoreMessage(QtWarningMsg, "Device vendor 0x0 product 0x0 is rejected on port ttyS0.");
        qDebug().noquote() << "Send $TEST*16";
        qInfo().noquote() << "Ready!";
        qWarning().noquote() << "Device vendor 0x0 product 0x0 is rejected on port ttyS0.";
        logger->setMinimumLevel(QtMsgType(level));
        logger->setSearchText(search);
        QTest::ignoreMessage(QtCriticalMsg, "Error on pts/3 (Uart link timeout). Please restart connection.");
        qCritical().noquote() << "Error on pts/3 (Uart link timeout). Please restart connection.";
        QCOMPARE(shownMessages(), shown);

        // Clearing the filter brings every row back.
        logger->setMinimumLevel(QtDebugMsg);
        logger->setSearchText(QString());
        QCOMPARE(shownMessages().size(), 4);
    }

    void warningsStandOut_data()
    {
        QTest::addColumn<int>("row");
        QTest::newRow("warning") << 2;
        QTest::newRow("critical") << 3;
    }

    void warningsStandOut()
    {
        QFETCH(int, row);
        logOneOfEach();
        const QTableWidgetItem* info = table->item(1, UiLogger::COLUMN_MESSAGE);
        const QTableWidgetItem* marked = table->item(row, UiLogger::COLUMN_MESSAGE);
        QVERIFY(marked->background() != info->background());
        const QIcon infoIcon = table->item(1, UiLogger::COLUMN_TIME)->icon();
        const QIcon markedIcon = table->item(row, UiLogger::COLUMN_TIME)->icon();
        QVERIFY(!markedIcon.isNull());
        QVERIFY(markedIcon.pixmap(16).toImage() != infoIcon.pixmap(16).toImage());
        // The other marked level looks different again.
        const QIcon otherIcon = table->item(row == 2 ? 3 : 2, UiLogger::COLUMN_TIME)->icon();
        QVERIFY(markedIcon.pixmap(16).toImage() != otherIcon.pixmap(16).toImage());
    }

    void followPausesWhenScrolledUp_data()
    {
        QTest::addColumn<int>("rowsUp");
        QTest::addColumn<bool>("paused");
        QTest::newRow("scrolled to the top") << -1 << true;
        QTest::newRow("one row up") << 1 << true;
        QTest::newRow("back at the bottom") << 0 << false;
    }

    void followPausesWhenScrolledUp()
    {
        QFETCH(int, rowsUp);
        QFETCH(bool, paused);
        for (int i = 0; i < 100; ++i)
            qInfo().noquote() << "line" << i;
        QScrollBar* bar = table->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 10, 2000);
        QCOMPARE(bar->value(), bar->maximum());

        // The user first goes to the top, then to where the row puts it.
        bar->setValue(0);
        bar->setValue(rowsUp < 0 ? 0 : bar->maximum() - rowsUp);
        const int where = bar->value();
        QCOMPARE(logger->followPaused(), paused);

        for (int i = 0; i < 20; ++i)
            qInfo().noquote() << "more" << i;
        // The view lays the new rows out from the event loop.
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > where + 10, 2000);
        if (paused)
            QCOMPARE(bar->value(), where);
        else
            QTRY_COMPARE_WITH_TIMEOUT(bar->value(), bar->maximum(), 2000);

        // Back at the bottom, the newest rows are followed again.
        bar->setValue(bar->maximum());
        QVERIFY(!logger->followPaused());
        qInfo().noquote() << "newest";
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), bar->maximum(), 2000);
    }

    void pausedViewKeepsItsRowsWhileTheOldestGo()
    {
        logger->setMaximumNumberOfRows(50);
        for (int i = 0; i < 50; ++i)
            qInfo().noquote() << "line" << i;
        QScrollBar* bar = table->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 10, 2000);
        bar->setValue(20);
        const QString before = table->item(table->rowAt(0), UiLogger::COLUMN_MESSAGE)->text();
        for (int i = 0; i < 5; ++i)
            qInfo().noquote() << "more" << i;
        QCOMPARE(table->rowCount(), 50);
        QCOMPARE(table->item(table->rowAt(0), UiLogger::COLUMN_MESSAGE)->text(), before);
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
