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
    const QString warning = "Device vendor 0x0 product 0x0 is rejected on port ttyS0.";
    const QString critical = "Error on pts/3 (Uart link timeout). Please restart connection.";

    QStringList shownMessages() const
    {
        QStringList shown;
        for (int row = 0; row < table->rowCount(); ++row)
            if (!table->isRowHidden(row))
                shown.append(table->item(row, UiLogger::COLUMN_MESSAGE)->text());
        return shown;
    }
    void logLines(const QString& prefix, int count)
    {
        for (int i = 0; i < count; ++i)
            qInfo().noquote() << prefix << i;
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
        QTest::newRow("all messages") << int(QtDebugMsg) << "" << QStringList{"Send", "Ready!", warning, critical};
        QTest::newRow("info and above") << int(QtInfoMsg) << "" << QStringList{"Ready!", warning, critical};
        QTest::newRow("warnings and errors") << int(QtWarningMsg) << "" << QStringList{warning, critical};
        QTest::newRow("search ignores case") << int(QtDebugMsg) << "ERROR ON" << QStringList{critical};
        QTest::newRow("search and level together") << int(QtWarningMsg) << "ready" << QStringList{};
    }

    void filter()
    {
        QFETCH(int, level);
        QFETCH(QString, search);
        QFETCH(QStringList, shown);
        // Rows logged before the filter is set and after it.
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(critical));
        qDebug().noquote() << "Send";
        qInfo().noquote() << "Ready!";
        qWarning().noquote() << warning;
        logger->setMinimumLevel(QtMsgType(level));
        logger->setSearchText(search);
        qCritical().noquote() << critical;
        QCOMPARE(shownMessages(), shown);

        logger->setMinimumLevel(QtDebugMsg);
        logger->setSearchText(QString());
        QCOMPARE(shownMessages().size(), 4);
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
        logLines("line", 100);
        QScrollBar* bar = table->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 10, 2000);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(0); // as the user drags it
        bar->setValue(rowsUp < 0 ? 0 : bar->maximum() - rowsUp);
        const int where = bar->value();
        QCOMPARE(logger->followPaused(), paused);

        logLines("more", 20);
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > where + 10, 2000); // laid out from the event loop
        if (paused)
            QCOMPARE(bar->value(), where);
        else
            QTRY_COMPARE_WITH_TIMEOUT(bar->value(), bar->maximum(), 2000);

        bar->setValue(bar->maximum());
        qInfo().noquote() << "newest";
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), bar->maximum(), 2000);
    }
};

QTEST_MAIN(TestLogView)
#include "tst_logview.moc"
