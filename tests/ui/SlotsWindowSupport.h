// A window connected to a simulated receiver with demo slots, with its questions and file dialogs answered.
#pragma once

#include <QtTest>

#include <memory>

#include "inhouse/ToplevelApplication.h"
#include "sim/DemoContent.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui_UiMainWindow.h"
#include "utils/Settings.h"

namespace SlotsTest {

using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Ui::Dialogs;

struct Fixture
{
    Vantrel::Ui::MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;
    QAction* action = nullptr;
    QStringList questions;  // titles, in order
    int answer = 1;         // 0 Yes, 1 No
    QString fileName;       // what file dialogs answer

    // Settings are written before the window is built: it reloads them.
    void createWindow()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->dfrCommandTimeoutMs = 2000;
        settings->printAtCmdDebugInfo = false;
        settings->saveSettingsInternal();
        Dialogs::setResponder([this](const Dialogs::Request_t& request) -> QVariant {
            if (request.kind != Dialogs::Request_t::QUESTION)
                return fileName;
            questions.append(request.title);
            return answer;
        });
        window = new Vantrel::Ui::MainWindow();
        ui = window->form();
        window->show();
        static_cast<Tarsk::Utils::ToplevelApplication*>(qApp)->setMainClass(window);
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "INFO", "Ready!"), 5000);
    }

    // A demo receiver whose state the test may change before it is connected.
    DeviceState& plug(DeviceState::Profile_t profile)
    {
        sim = std::make_unique<DfrSimulator>(profile);
        sim->setBeaconPeriod(0);
        Vantrel::Sim::DemoContent::apply(sim->state());
        if (!sim->start())
            qFatal("simulator did not start");
        DeviceTest::offerPorts({sim.get()});
        return sim->state();
    }

    bool connect()
    {
        action = DeviceTest::plugAndClick(ui, *sim);
        if (!action || !action->isChecked())
            return false;
        sim->clearReceivedFrames();
        questions.clear();
        return true;
    }

    void disconnect()
    {
        if (action && action->isChecked())
            action->trigger();
    }

    void unplug()
    {
        disconnect();
        const QString port = sim ? DeviceTest::portOf(sim->deviceName()) : QString();
        sim.reset();
        qunsetenv("VANTREL_SIMULATED_PORTS");
        action = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(port.isEmpty() || !DeviceTest::portAction(ui, port), 5000);
    }

    // Frames of a mnemonic that carry more than a slot number: writes, not reads.
    QList<QStringList> writes(const QString& mnemonic) const
    {
        QList<QStringList> found;
        for (const DfrSimulator::ReceivedFrame_t& frame : sim->receivedFrames())
            if (frame.wellFormed && frame.mnemonic == mnemonic
                && std::any_of(frame.params.cbegin() + 1, frame.params.cend(),
                               [](const QString& value) { return !value.isEmpty(); }))
                found.append(frame.params);
        return found;
    }
};

} // namespace SlotsTest
