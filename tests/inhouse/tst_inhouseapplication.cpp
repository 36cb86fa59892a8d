// ToplevelApplication: an exception escaping into any thread's event loop is logged and the loop goes on.
#include <QTest>
#include <QThread>

#include "inhouse/Exception.h"
#include "inhouse/ToplevelApplication.h"

using Tarsk::Utils::Exception;
using Tarsk::Utils::ToplevelApplication;

class TstInhouseApplication : public QObject
{
    Q_OBJECT
private Q_SLOTS:
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
        // Posted after the throw: only a loop that survived it runs the call.
        QMetaObject::invokeMethod(&context, [&handledAfter] { handledAfter.ref(); }, Qt::QueuedConnection);
        QTRY_COMPARE_WITH_TIMEOUT(handledAfter.loadAcquire(), 1, 5000);
        worker.quit();
        QVERIFY(worker.wait(5000));
    }
};

int main(int argc, char** argv)
{
    ToplevelApplication app(argc, argv);
    TstInhouseApplication test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_inhouseapplication.moc"
