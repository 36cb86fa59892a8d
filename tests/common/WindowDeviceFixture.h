// One main window driven against simulated receivers, its dialogs answered by the test.
#pragma once

#include <QtTest>
#include <QtWidgets>

#include <functional>

#include "tests/common/DeviceTestSupport.h"
#include "tests/ui/WindowTestMain.h"
#include "ui/Dialogs.h"

class WindowDeviceFixture : public QObject
{
protected:
    using Dialogs = Vantrel::Ui::Dialogs;
    using DeviceState = Vantrel::Sim::DeviceState;
    using DfrSimulator = Vantrel::Sim::DfrSimulator;
    using MainWindow = Vantrel::Ui::MainWindow;

    MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;
    QTemporaryDir dir;
    QString chosenFile = dir.filePath("chosen");  // what every file dialog answers
    QString offered;                              // the name the last save dialog filled in
    QList<Dialogs::Request_t> asked;              // questions, in order
    int reply = 0;                                // to every question unless `answer` decides: 0 the first button
    std::function<int(const Dialogs::Request_t&)> answer = [this](const Dialogs::Request_t&) { return reply; };
    QString moreSettings;  // added to the settings file the window starts with

    // The window reloads the settings file when it is built, so the file is written first.
    void startWindow(int keepAliveTimeoutMs = 500, int keepAlivePeriodMs = 600000)
    {
        QVERIFY(TestSupport::writeSettings(2000, keepAliveTimeoutMs, keepAlivePeriodMs, moreSettings));
        Dialogs::setResponder([this](const Dialogs::Request_t& request) -> QVariant {
            if (request.kind != Dialogs::Request_t::QUESTION) {
                offered = request.offered;
                return chosenFile;
            }
            asked.append(request);
            return answer(request);
        });
        window = WindowTest::openWindow();
        ui = window->form();
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "INFO", "Ready!"), 5000);
    }

    bool connected() const { return ui->lineEditVersionsStatus->text() != QLatin1String("Not connected"); }
    QString statusText() const { return window->findChild<QToolButton*>("statusBarMessage")->text(); }
    QString connectionText() const { return window->findChild<QLabel*>("statusBarConnection")->text(); }
    static QDir dumpDir() { return QDir(QCoreApplication::applicationDirPath() + "/../FlashDumps"); }
    // The log's messages, oldest first; `typed`, each after its type ("INFO Ready!").
    QStringList logRows(bool typed = false) const
    {
        const QTableWidget* log = ui->tableWidgetLogger;
        QStringList rows;
        for (int row = 0; row < log->rowCount(); ++row)
            rows << (typed ? log->item(row, 1)->text() + ' ' : QString()) + log->item(row, log->columnCount() - 1)->text();
        return rows;
    }

    // A receiver prepared by the test replaces the one connected before.
    void connectTo(DeviceState::Profile_t profile, const std::function<void(DeviceState&)>& prepare = {})
    {
        if (sim && connected())
            window->slotDfrDisconnected(DeviceTest::portOf(sim->deviceName()), "next receiver");
        sim = std::make_unique<DfrSimulator>(profile);
        sim->setBeaconPeriod(0);
        if (prepare)
            prepare(sim->state());
        QVERIFY(sim->start());
        DeviceTest::offerPorts({sim.get()});
        QVERIFY(DeviceTest::plugAndClick(ui, *sim));
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "INFO", "DFR configuration loaded!"), 5000);
        sim->clearReceivedFrames();
        asked.clear();
    }

    // The message a window slot threw, empty when it returned.
    QString thrown(void (MainWindow::*slot)())
    {
        MainWindow* target = window;  // not through `this`: the sanitizer checks its type on every call
        return TestSupport::thrownBy([target, slot] { (target->*slot)(); });
    }

    // Frames of a mnemonic that carry more than their first value: writes, not reads.
    static QList<QStringList> writes(const DfrSimulator& sim, const QString& mnemonic)
    {
        QList<QStringList> found;
        for (const DfrSimulator::ReceivedFrame_t& frame : sim.receivedFrames())
            if (frame.wellFormed && frame.mnemonic == mnemonic
                && std::any_of(frame.params.cbegin() + qMin(1, frame.params.size()), frame.params.cend(),
                               [](const QString& value) { return !value.isEmpty(); }))
                found.append(frame.params);
        return found;
    }
    QList<QStringList> writes(const QString& mnemonic) const { return writes(*sim, mnemonic); }

    // Favourite slots as they matter: the format block of a platform without GPS mode is not read.
    static QVector<QStringList> meaningful(QVector<QStringList> platforms)
    {
        for (QStringList& values : platforms)
            if (values.at(5) != QLatin1String("1"))
                for (int pos = 6; pos < 28; ++pos)
                    values[pos].clear();
        return platforms;
    }
};
