// Logging: any thread's messages become log rows on the GUI thread; an exception escaping an event loop is logged;
// the level filter and search show the right rows, and follow mode pauses while scrolled up.
#include <QtWidgets>
#include <memory>

#include "inhouse/Exception.h"
#include "tests/common/TestMain.h"
#include "inhouse/UiLogger.h"

using Tarsk::Ui::UiLogger;
using Tarsk::Utils::Exception;

static void logFrom(bool worker, QtMsgType type, const QString& text)
{
    const auto log = [=] { qt_message_output(type, QMessageLogContext(), text); };
    if (!worker)
        return log();
    std::unique_ptr<QThread> thread(QThread::create(log));
    thread->start();
    thread->wait();
}

class TstInhouseUiLogger : public QObject
{
    Q_OBJECT
    std::unique_ptr<QTableWidget> table;
    std::unique_ptr<UiLogger> logger;
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
private Q_SLOTS:
    void init()
    {
        table = std::make_unique<QTableWidget>();
        logger = std::make_unique<UiLogger>();
        logger->configure(table.get(), 0, QString());
    }
    void cleanup()
    {
        logger.reset();
        table.reset();
    }

    void rowPerMessage_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("fromWorker");
        QTest::addColumn<QString>("typeText");
        QTest::newRow("info, worker thread") << int(QtInfoMsg) << true << "INFO";
        QTest::newRow("critical, GUI thread") << int(QtCriticalMsg) << false << "CRITICAL";
    }
    void rowPerMessage()
    {
        QFETCH(int, type);
        QFETCH(bool, fromWorker);
        QFETCH(QString, typeText);
        // What a listener on itemChanged sees when the type item arrives.
        QStringList seen;
        connect(table.get(), &QTableWidget::itemChanged, this, [&](QTableWidgetItem* item) {
            if (item->column() != UiLogger::COLUMN_TYPE)
                return;
            const QTableWidgetItem* message = table->item(item->row(), UiLogger::COLUMN_MESSAGE);
            seen << item->text() + " " + (message ? message->text() : "(no message yet)")
                    + (QThread::currentThread() == thread() ? "" : " off the GUI thread");
        });
        QTest::ignoreMessage(QtMsgType(type), "link lost"); // the previous handler still gets it
        logFrom(fromWorker, QtMsgType(type), "link lost");

        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, 5000);
        QCOMPARE(seen, QStringList{typeText + " link lost"});
        for (int column = 0; column < UiLogger::COLUMN_COUNT; ++column)
            QVERIFY(!(table->item(0, column)->flags() & Qt::ItemIsEditable));
    }

    void rowLimit()
    {
        logger->setMaximumNumberOfRows(3);
        for (int i = 0; i < 5; ++i)
            logFrom(false, QtDebugMsg, QString("m%1").arg(i));
        QCOMPARE(shownMessages(), QStringList({"m2", "m3", "m4"})); // the oldest go
        logger->setMaximumNumberOfRows(2);
        QCOMPARE(shownMessages(), QStringList({"m3", "m4"})); // a lowered limit trims at once
    }

    // The table goes while a row is in flight: the logger must not write into it.
    void lifetime()
    {
        QTest::ignoreMessage(QtWarningMsg, "in flight");
        QTest::ignoreMessage(QtWarningMsg, "afterwards");
        logFrom(true, QtWarningMsg, "in flight"); // its row is still queued when the table goes
        table.reset();
        logFrom(true, QtWarningMsg, "afterwards");
        QCoreApplication::sendPostedEvents();
    }

    void escapedException_data()
    {
        QTest::addColumn<bool>("inWorker");
        QTest::newRow("GUI thread") << false;
        QTest::newRow("worker thread") << true;
    }
    void escapedException()
    {
        QFETCH(bool, inWorker);
        QThread worker;
        QObject context;
        if (inWorker) {
            context.moveToThread(&worker);
            worker.start();
        }
        QAtomicInt thrown = 0;
        QAtomicInt handledAfter = 0;
        const QString message = QString("%1 failed").arg(QTest::currentDataTag());
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(message));
        QMetaObject::invokeMethod(&context, [&thrown, message] {
            thrown.ref();
            throw Exception(message, QtCriticalMsg);
        }, Qt::QueuedConnection);
        QTRY_COMPARE_WITH_TIMEOUT(thrown.loadAcquire(), 1, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(table->rowCount(), 1, 5000);
        // Posted after the throw: only a loop that survived it runs the call.
        QMetaObject::invokeMethod(&context, [&handledAfter] { handledAfter.ref(); }, Qt::QueuedConnection);
        QTRY_COMPARE_WITH_TIMEOUT(handledAfter.loadAcquire(), 1, 5000);
        worker.quit();
        QVERIFY(worker.wait(5000));
    }

    void filter_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("search");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("info and above") << int(QtInfoMsg) << "" << QStringList{"Ready!", warning, critical};
        QTest::newRow("warnings and errors") << int(QtWarningMsg) << "" << QStringList{warning, critical};
        QTest::newRow("search ignores case") << int(QtDebugMsg) << "ERROR ON" << QStringList{critical};
        QTest::newRow("search and level together") << int(QtWarningMsg) << "ready" << QStringList{};
    }

    void filter()
    {
        QFETCH(int, level);
        QFETCH(QString, search);
        // Rows logged before the filter is set and after it.
        QTest::ignoreMessage(QtWarningMsg, qPrintable(warning));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(critical));
        qDebug().noquote() << "Send";
        qInfo().noquote() << "Ready!";
        qWarning().noquote() << warning;
        logger->setMinimumLevel(QtMsgType(level));
        logger->setSearchText(search);
        qCritical().noquote() << critical;
        QTEST(shownMessages(), "shown");

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
        // On screen and following, as in the window, so that scrolling means something.
        table->resize(500, 200);
        table->show();
        QVERIFY(QTest::qWaitForWindowExposed(table.get()));
        logger->setFollow(true);
        for (int i = 0; i < 100; ++i)
            qInfo().noquote() << "line" << i;
        QScrollBar* bar = table->verticalScrollBar();
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > 10, 2000);
        QCOMPARE(bar->value(), bar->maximum());
        bar->setValue(0); // as the user drags it
        bar->setValue(rowsUp < 0 ? 0 : bar->maximum() - rowsUp);
        const int where = bar->value();
        const int lastBefore = bar->maximum();
        QCOMPARE(logger->followPaused(), paused);

        for (int i = 0; i < 20; ++i)
            qInfo().noquote() << "more" << i;
        QTRY_VERIFY_WITH_TIMEOUT(bar->maximum() > lastBefore + 10, 2000); // laid out from the event loop
        if (paused)
            QCOMPARE(bar->value(), where);
        else
            QTRY_COMPARE_WITH_TIMEOUT(bar->value(), bar->maximum(), 2000);

        bar->setValue(bar->maximum());
        qInfo().noquote() << "newest";
        QTRY_COMPARE_WITH_TIMEOUT(bar->value(), bar->maximum(), 2000);
    }
};

VANTREL_TEST_MAIN(TstInhouseUiLogger)
#include "tst_inhouseuilogger.moc"
