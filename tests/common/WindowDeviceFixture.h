// One main window driven against simulated receivers, its dialogs answered by the test.
#pragma once

#include <QtTest>
#include <QtWidgets>

#include <functional>

#include "inhouse/ToplevelApplication.h"
#include "tests/common/DeviceTestSupport.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "utils/Settings.h"

class WindowDeviceFixture : public QObject
{
protected:
    using Dialogs = Vantrel::Ui::Dialogs;
    using DeviceState = Vantrel::Sim::DeviceState;
    using DfrSimulator = Vantrel::Sim::DfrSimulator;

    Vantrel::Ui::MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;
    QTemporaryDir dir;
    QString chosenFile = dir.filePath("chosen");  // what every file dialog answers
    QList<Dialogs::Request_t> asked;              // questions, in order
    std::function<int(const Dialogs::Request_t&)> answer = [](const Dialogs::Request_t&) { return 0; };

    void startWindow()
    {
        Dialogs::setResponder([this](const Dialogs::Request_t& request) -> QVariant {
            if (request.kind != Dialogs::Request_t::QUESTION)
                return chosenFile;
            asked.append(request);
            return answer(request);
        });
        window = new Vantrel::Ui::MainWindow();
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "INFO", "Ready!"), 5000);
        // Once the window has loaded the settings file, which would override them.
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->dfrCommandTimeoutMs = 2000;
        settings->keepAlivePeriodMs = 600000;  // no keep-alive among the frames under test
        settings->printAtCmdDebugInfo = false;
    }

    bool connected() const { return ui->lineEditVersionsStatus->text() != QLatin1String("Not connected"); }

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
    QString thrown(void (Vantrel::Ui::MainWindow::*slot)())
    {
        Vantrel::Ui::MainWindow* target = window;
        const QString message = TestSupport::thrownBy([target, slot] { (target->*slot)(); });
        return message == QLatin1String("<nothing thrown>") ? QString() : message;
    }

    QString lastLog() const
    {
        const QTableWidget* log = ui->tableWidgetLogger;
        return log->rowCount() ? log->item(log->rowCount() - 1, log->columnCount() - 1)->text() : QString();
    }

    // Mnemonics the receiver got, without the status reads.
    QStringList sentBeyondStatus() const
    {
        QStringList sent = sim->receivedMnemonics();
        sent.removeIf([](const QString& m) { return m == "TEST" || m == "GSN" || m == "LIG"; });
        return sent;
    }
};
