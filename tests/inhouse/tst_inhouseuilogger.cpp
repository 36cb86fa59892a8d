// UiLogger: messages of any thread become rows of the log table, added on the GUI thread.
#include <QTableWidget>
#include <QTest>
#include <QThread>
#include <memory>

#include "inhouse/UiLogger.h"

using Tarsk::Ui::UiLogger;

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
        QTest::newRow("debug, GUI thread") << int(QtDebugMsg) << false << "DEBUG";
        QTest::newRow("info, worker thread") << int(QtInfoMsg) << true << "INFO";
        QTest::newRow("warning, worker thread") << int(QtWarningMsg) << true << "WARNING";
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

    void rowLimit_data()
    {
        QTest::addColumn<bool>("limitAfterwards");
        QTest::addColumn<int>("limit");
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("over the limit drops the oldest") << false << 3 << QStringList{"m2", "m3", "m4"};
        QTest::newRow("lowered limit trims at once") << true << 2 << QStringList{"m3", "m4"};
    }
    void rowLimit()
    {
        QFETCH(bool, limitAfterwards);
        QFETCH(int, limit);
        QFETCH(QStringList, kept);
        if (!limitAfterwards)
            logger->setMaximumNumberOfRows(limit);
        for (int i = 0; i < 5; ++i)
            logFrom(false, QtDebugMsg, QString("m%1").arg(i));
        if (limitAfterwards)
            logger->setMaximumNumberOfRows(limit);
        QStringList messages;
        for (int row = 0; row < table->rowCount(); ++row)
            messages << table->item(row, UiLogger::COLUMN_MESSAGE)->text();
        QCOMPARE(messages, kept);
    }

    void lifetime_data()
    {
        QTest::addColumn<bool>("deleteLogger");
        QTest::newRow("table deleted first") << false;
        QTest::newRow("logger deleted first") << true;
    }
    void lifetime()
    {
        QFETCH(bool, deleteLogger);
        QTest::ignoreMessage(QtWarningMsg, "in flight");
        QTest::ignoreMessage(QtWarningMsg, "afterwards");
        logFrom(true, QtWarningMsg, "in flight"); // its row is still queued when one of them goes
        deleteLogger ? logger.reset() : table.reset();
        logFrom(true, QtWarningMsg, "afterwards");
        QCoreApplication::sendPostedEvents();
        if (table)
            QCOMPARE(table->rowCount(), 0);
    }
};

QTEST_MAIN(TstInhouseUiLogger)
#include "tst_inhouseuilogger.moc"
