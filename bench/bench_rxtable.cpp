// Time to take one more live message into a messages table that already holds many rows.
#include <QApplication>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTextStream>
#include <algorithm>

#include "app/AppIdentity.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"

using Vantrel::Com::DfrLink;

namespace {

DfrLink::OrvanRxMessage_t message(int n)
{
    DfrLink::OrvanRxMessage_t m;
    m.platformSlotIndex = -1;
    m.dateTime = Tarsk::Utils::DateTime::currentDateTime();
    m.platformId = QStringLiteral("%1").arg(0xA0000 + n % 5000, 7, 16, QLatin1Char('0')).toUpper();
    m.frequencyHz = 401600000 + quint32(n % 1000) * 100;
    m.dfrDirectionValid = m.dfrPositionValid = m.periodValid = m.crcOk = true;
    m.direction = quint32(n % 360);
    m.modulation = DfrLink::OrvanModulation_t(n % 4);
    m.level = -100 - n % 30;
    m.period = 50;
    m.dfrLatitude = 48.85;
    m.dfrLongitude = 2.35;
    m.payload = QByteArray::fromHex("0102030405060708090A0B0C");
    m.rawPayload = QByteArray::fromHex("FF0102030405060708090A0B0C");
    m.flashPosition = n;
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    auto* window = new Vantrel::Ui::MainWindow();
    window->resize(1400, 900);
    window->show();
    QTableWidget* table = window->form()->tableWidgetRx;
    window->form()->tabWidget->setCurrentWidget(window->form()->tabRx);
    QApplication::processEvents();

    QTextStream out(stdout);
    constexpr int samples = 21;
    int serial = 0;
    for (int size : {1000, 10000, 30000}) {
        // Fill as a flash read does, sorting off, then restore sorting as it does.
        table->setSortingEnabled(false);
        while (table->rowCount() < size)
            window->slotOrvanMessageReceived(message(serial++), DfrLink::RXORIGIN_FLASH);
        table->sortByColumn(3, Qt::DescendingOrder);
        table->setSortingEnabled(true);
        QApplication::processEvents();

        QList<double> slotMs;
        QList<double> totalMs;
        for (int i = 0; i < samples; ++i) {
            QElapsedTimer timer;
            timer.start();
            window->slotOrvanMessageReceived(message(serial++), DfrLink::RXORIGIN_LIVE);
            slotMs.append(timer.nsecsElapsed() / 1e6);
            QApplication::processEvents();  // layout and paint of the new row
            totalMs.append(timer.nsecsElapsed() / 1e6);
            table->removeRow(table->rowCount() - 1);  // keep the size
        }
        std::sort(slotMs.begin(), slotMs.end());
        std::sort(totalMs.begin(), totalMs.end());
        out << QStringLiteral("%1 rows: one live message %2 ms in the slot, %3 ms with repaint (median of %4)")
                   .arg(size, 6)
                   .arg(slotMs[samples / 2], 0, 'f', 2)
                   .arg(totalMs[samples / 2], 0, 'f', 2)
                   .arg(samples)
            << Qt::endl;
    }
    delete window;
    return 0;
}
