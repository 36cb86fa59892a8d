// Connecting receivers from the tool bar: status panel and bar, generation widgets, setup writes, lost links, wiring.
#include <QLabel>
#include <QStatusBar>
#include <QToolButton>

#include "tests/common/WindowDeviceFixture.h"
#include "ui/PlatformsTableModel.h"

Q_DECLARE_METATYPE(Vantrel::Sim::DeviceState::Profile_t)

class TstConnection : public WindowDeviceFixture
{
    Q_OBJECT

    std::vector<std::unique_ptr<DfrSimulator>> simulators;

    bool logHas(const QString& type, const QString& message) const { return DeviceTest::logHas(ui, type, message); }
    QAction* actionFor(const QString& port) const { return DeviceTest::portAction(ui, port); }
    static bool sameIcon(const QIcon& icon, const QString& path)
    {
        return icon.pixmap(16).toImage() == QIcon(path).pixmap(16).toImage();
    }

    // Starts a simulated receiver, prepared by the caller, and offers it to the port scan with the others.
    DfrSimulator* plugIn(DeviceState::Profile_t profile, const std::function<void(DeviceState&)>& prepare = {})
    {
        simulators.push_back(std::make_unique<DfrSimulator>(profile));
        DfrSimulator* plugged = simulators.back().get();
        plugged->setBeaconPeriod(0);
        if (prepare)
            prepare(plugged->state());
        if (!plugged->start())
            return nullptr;
        QList<const DfrSimulator*> open;
        for (const auto& s : simulators)
            open.append(s.get());
        DeviceTest::offerPorts(open);
        return plugged;
    }

    // Plugs a receiver and connects it from its button.
    DfrSimulator* connectReceiver(DeviceState::Profile_t profile, const std::function<void(DeviceState&)>& prepare = {})
    {
        DfrSimulator* plugged = plugIn(profile, prepare);
        QAction* action = plugged ? DeviceTest::plugAndClick(ui, *plugged) : nullptr;
        return action && action->isChecked() ? plugged : nullptr;
    }

    QToolButton* message() const { return window->statusBar()->findChild<QToolButton*>("statusBarMessage"); }
    QString connection() const { return window->statusBar()->findChild<QLabel*>("statusBarConnection")->text(); }
    QString shownLevel() const { return message()->isVisible() ? message()->property("level").toString() : "none"; }
    bool tabEnabled(QWidget* page) const { return ui->tabWidget->isTabEnabled(ui->tabWidget->indexOf(page)); }

private Q_SLOTS:
    void initTestCase()
    {
        startWindow(500, 1000);
        // A hung request must cost seconds, not the default minute.
        QCOMPARE(ui->spinBoxDfrCommandTimeout->value(), 2000);
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
    }

    void cleanup()
    {
        for (QAction* action : ui->mainToolBar_->actions())
            if (action->isChecked())
                action->trigger();
        simulators.clear();
        qunsetenv("VANTREL_SIMULATED_PORTS");
        QTRY_VERIFY_WITH_TIMEOUT(std::none_of(ui->mainToolBar_->actions().cbegin(),
                                              ui->mainToolBar_->actions().cend(),
                                              [](QAction* a) { return a->toolTip().startsWith("Connect to DFR"); }),
                                 DeviceTest::scanWaitMs);
        window->statusBar()->findChild<QToolButton*>("statusBarDismiss")->click();
        ui->tabWidget->setCurrentIndex(0);
    }

    void connectProfile_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("switchText");

        QTest::newRow("first generation") << DeviceState::PROFILE_DFR_V1 << "GONIO V1" << "DFR_UNDEFINEDMODE"
                                          << "Switch to firmware update mode...";
        QTest::newRow("second generation") << DeviceState::PROFILE_DFR_V2_APP << "GONIO V2" << "DFR_APP"
                                           << "Switch to firmware update mode...";
        QTest::newRow("bootloader") << DeviceState::PROFILE_DFR_V2_BL << "GONIO V2" << "DFR_BL"
                                    << "Switch back to standard mode...";
    }

    void connectProfile()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QString, version);
        QFETCH(QString, mode);
        QFETCH(QString, switchText);
        // Second-generation widgets show for both modes; the bootloader reads no setup.
        const bool directionShown = profile != DeviceState::PROFILE_DFR_V1;
        const bool bootloader = profile == DeviceState::PROFILE_DFR_V2_BL;

        DfrSimulator* plugged = connectReceiver(profile);
        QVERIFY(plugged);
        const QString port = DeviceTest::portOf(plugged->deviceName());
        QAction* action = actionFor(port);
        const QString serial = "SN/0042-1207";  // the bootloader's test reply carries it too
        QCOMPARE(action->text(), QStringLiteral("%1 - %2 - %3").arg(port, version, serial));
        QCOMPARE(ui->lineEditVersionsDfrVersion->text(), version);
        QCOMPARE(ui->lineEditVersionsMode->text(), mode);
        QCOMPARE(ui->lineEditStatusSerial->text(), serial);
        QVERIFY(ui->lineEditVersionsStatus->text().startsWith("Connected at "));
        // The bootloader keeps no favourites or formats: their tabs wait, and a line says why.
        for (QWidget* page : {ui->tabConfiguration, ui->tabPlatorms, ui->tabFormats, ui->tabTerminal})
            QCOMPARE(tabEnabled(page), !bootloader || page == ui->tabConfiguration || page == ui->tabTerminal);
        const auto* notice = window->findChild<QLabel*>("labelBootloaderMode");
        QCOMPARE(notice && notice->isVisibleTo(window), bootloader);
        QCOMPARE(!ui->pushButtonSwitchMode->isHidden(), directionShown);
        QCOMPARE(ui->pushButtonSwitchMode->text(), switchText);
        QCOMPARE(!ui->pushButtonFirmwareUpdate->isHidden(), bootloader);
        QCOMPARE(plugged->receivedCount("SETUPSW") > 0, !bootloader);
        if (!bootloader) {
            QCOMPARE(!ui->lineEditStatusDirection->isHidden(), directionShown);
            QCOMPARE(!ui->labelStatusOrvanBand->isHidden(), directionShown);
            QCOMPARE(!ui->spinBoxPlatformsMeanDirectionValue->isHidden(), !directionShown);
            QCOMPARE(!ui->checkBoxHardwareProximityMode->isHidden(), directionShown);
            QCOMPARE(!ui->comboBoxSetupSoftwareOrvanBand->isHidden(), directionShown);
            QVERIFY(logHas("INFO", "DFR configuration loaded!"));
        }
        // Filling the widgets from the receiver writes nothing back, nor does the bootloader's setup.
        if (bootloader)
            ui->checkBoxSetupSoftwareAudio->click();
        QVERIFY(writes(*plugged, "SETUPSW").isEmpty());
        QVERIFY(writes(*plugged, "SETUPHW").isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(sameIcon(action->icon(), ":/Icons/dfrReady") ||
                                     sameIcon(action->icon(), ":/Icons/dfrWaiting"),
                                 3000);

        action->trigger();
        QVERIFY(!action->isChecked());
        QCOMPARE(action->text(), port);
        QVERIFY(sameIcon(action->icon(), ":/Icons/DFR"));
        QVERIFY(logHas("INFO", QStringLiteral("Disconnection of %1 (Disconnect by user).").arg(port)));
        QCOMPARE(ui->lineEditVersionsStatus->text(), QStringLiteral("Not connected"));
        QVERIFY(!tabEnabled(ui->tabConfiguration));
        QVERIFY(tabEnabled(ui->tabSettings));
    }

    void statusFormats_data()
    {
        QTest::addColumn<bool>("gpsValid");
        QTest::addColumn<int>("temperature");
        QTest::addColumn<double>("voltage");
        QTest::addColumn<int>("band");
        QTest::addColumn<int>("charge");
        QTest::addColumn<QStringList>("shown");  // latitude, temperature, voltage, band

        QTest::newRow("valid fix, 25 degrees")
            << true << 25 << 3.8 << 3 << 65
            << QStringList{"48.8", QString::fromUtf8("25°C (77.0°F)"), "3.8V", "MSS    : 399.900 MHz to 399.980 MHz"};
        QTest::newRow("no fix, freezing")
            << false << 0 << 4.25 << 9 << 100
            << QStringList{"INVALID", QString::fromUtf8("0°C (32.0°F)"), "4.25V", "EESS2-3: 401.440 MHz to 401.520 MHz"};
        // The charge is truncated, so it must not fall a hair short.
        QTest::newRow("between 3.7 and 3.5 volts")
            << true << 25 << 3.6 << 3 << 35
            << QStringList{"48.8", QString::fromUtf8("25°C (77.0°F)"), "3.6V", "MSS    : 399.900 MHz to 399.980 MHz"};
    }

    void statusFormats()
    {
        QFETCH(bool, gpsValid);
        QFETCH(int, temperature);
        QFETCH(double, voltage);
        QFETCH(int, band);
        QFETCH(int, charge);
        QFETCH(QStringList, shown);
        DfrSimulator* plugged = connectReceiver(DeviceState::PROFILE_DFR_V2_APP, [&](DeviceState& state) {
            state.status.gpsValid = gpsValid;
            state.status.temperature = temperature;
            state.status.voltage = voltage;
            state.status.band = band;
        });
        QVERIFY(plugged);
        const auto panel = [this] {
            return QStringList{ui->lineEditStatusLatitude->text(), ui->lineEditStatusTemperature->text(),
                               ui->lineEditStatusVoltage->text(), ui->lineEditStatusOrvanBand->text()};
        };
        QCOMPARE(panel(), shown);
        QCOMPARE(ui->progressBarCharge->value(), charge);
        QCOMPARE(ui->lineEditStatusDirection->text(), QStringLiteral("135"));

        // An invalid band leaves the field as it was.
        plugged->state().status.band = 10;
        ui->pushButtonStatusRefresh->click();
        QCOMPARE(panel(), shown);
    }

    // The status panel is read again by itself while nothing else runs.
    void statusRefreshesWhileIdle()
    {
        ui->spinBoxStatusRefreshPeriod->setValue(1);
        Q_EMIT ui->spinBoxStatusRefreshPeriod->editingFinished();
        const auto off = qScopeGuard([this] {
            ui->spinBoxStatusRefreshPeriod->setValue(0);
            Q_EMIT ui->spinBoxStatusRefreshPeriod->editingFinished();
        });
        DfrSimulator* plugged = connectReceiver(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(plugged);
        plugged->clearReceivedFrames();
        QTRY_VERIFY_WITH_TIMEOUT(plugged->receivedMnemonics().count("TEST") >= 2, 4000);
    }

    void switchingReceivers()
    {
        using DeviceTest::scanWaitMs;
        DfrSimulator* first = plugIn(DeviceState::PROFILE_DFR_V2_APP);
        DfrSimulator* second = plugIn(DeviceState::PROFILE_DFR_V1);
        QVERIFY(first && second);
        const QString a = DeviceTest::portOf(first->deviceName());
        const QString b = DeviceTest::portOf(second->deviceName());
        QTRY_VERIFY_WITH_TIMEOUT(actionFor(a) && actionFor(b), scanWaitMs);

        actionFor(a)->trigger();
        QVERIFY(actionFor(a)->isChecked());
        actionFor(b)->trigger();
        QVERIFY(!actionFor(a)->isChecked());
        QCOMPARE(actionFor(a)->text(), a);
        QVERIFY(sameIcon(actionFor(a)->icon(), ":/Icons/DFR"));
        QVERIFY(logHas("INFO", QStringLiteral("Disconnection of %1 (Disconnection of currently connected DFR).").arg(a)));
        QVERIFY(actionFor(b)->isChecked());
        QCOMPARE(ui->lineEditVersionsDfrVersion->text(), QStringLiteral("GONIO V1"));

        // Unplugging the other receiver only removes its button.
        first->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!actionFor(a), scanWaitMs);
        QVERIFY(actionFor(b)->isChecked());
        QVERIFY(!logHas("INFO", QStringLiteral("Disconnection of %1 (DFR disconnected).").arg(a)));
    }

    void setupRoundTrips()
    {
        DfrSimulator* plugged = connectReceiver(DeviceState::PROFILE_DFR_V2_APP,
                                                [](DeviceState& state) { state.setupHardware[5] = "-1.50"; });
        QVERIFY(plugged);
        QCOMPARE(ui->lineEditHardwareDeclination->text(), QStringLiteral("-1.50"));

        // The clock: minutes only, every other position empty.
        ui->widgetSoftwareSetupDateTime->setEnabled(true);
        plugged->clearReceivedFrames();
        ui->widgetSoftwareSetupDateTime->setDateTime(
            Tarsk::Utils::DateTime::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 59), Qt::UTC)));
        QMetaObject::invokeMethod(ui->widgetSoftwareSetupDateTime, "sigDateTimeChanged");
        QCOMPARE(writes(*plugged, "SETUPSW"),
                 (QList<QStringList>{{"", "", "", "", "", "", "", "24", "3", "5", "14", "7", "", ""}}));

        // Contrast alone: positions 0 to 6 from the widgets, the clock left alone.
        plugged->clearReceivedFrames();
        QSlider* contrast = ui->horizontalSliderSetupSoftwareConstrast;
        contrast->setValue(contrast->value() == 17 ? 18 : 17);
        const QList<QStringList> software = writes(*plugged, "SETUPSW");
        QCOMPARE(software.size(), 1);
        QCOMPARE(software.first().mid(7, 5), (QStringList{"", "", "", "", ""}));
        QCOMPARE(software.first().at(2), QString::number(contrast->value()));

        // Declination goes back exactly as read.
        plugged->clearReceivedFrames();
        ui->spinBoxHardwareCableLength->setValue(12);
        Q_EMIT ui->spinBoxHardwareCableLength->editingFinished();
        const QList<QStringList> hardware = writes(*plugged, "SETUPHW");
        QCOMPARE(hardware.size(), 1);
        QCOMPARE(hardware.first().at(2), QStringLiteral("12"));
        QCOMPARE(hardware.first().at(5), QStringLiteral("-1.50"));
    }

    // The window's own wiring is made once per connection and removed exactly: the tables keep their own.
    void slotsRunOncePerSignal()
    {
        DfrSimulator* plugged = connectReceiver(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(plugged);
        QAction* action = actionFor(DeviceTest::portOf(plugged->deviceName()));
        for (int again = 0; again < 2; ++again) {
            action->trigger();
            QVERIFY(!ui->pushButtonStatusRefresh->isEnabled());
            action->trigger();
        }
        QVERIFY(action->isChecked());

        QTableView* table = ui->tableWidgetPlatforms;
        ui->tabWidget->setCurrentWidget(ui->tabPlatorms);
        if (table->model()->rowCount() == 0) {
            window->platformsTableModel()->clear();  // the empty slots may be hidden
            Vantrel::Com::DfrLink::PlatformInfo_t info;
            info.occupied = true;
            window->platformsTableModel()->setSlot(info);
        }
        QSignalSpy cellClicks(table, &QTableView::clicked);
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(0, 0)).center());
        QCOMPARE(cellClicks.count(), 1);

        ui->tabWidget->setCurrentWidget(ui->tabConfiguration);
        plugged->clearReceivedFrames();
        ui->pushButtonStatusRefresh->click();
        QCOMPARE(plugged->receivedCount("LIG"), 1);
        ui->checkBoxSetupSoftwareAudio->click();
        QCOMPARE(writes(*plugged, "SETUPSW").size(), 1);
    }

    void warningsAndErrorsShow_data()
    {
        QTest::addColumn<QList<int>>("logged");  // message i has the type logged[i]
        QTest::addColumn<QString>("level");
        QTest::addColumn<int>("shown");
        QTest::newRow("an error") << QList<int>{QtCriticalMsg} << "critical" << 0;
        QTest::newRow("information leaves the warning") << QList<int>{QtWarningMsg, QtInfoMsg} << "warning" << 0;
        QTest::newRow("the newest wins") << QList<int>{QtCriticalMsg, QtWarningMsg} << "warning" << 1;
        QTest::newRow("debug and information never show") << QList<int>{QtDebugMsg, QtInfoMsg} << "none" << -1;
        // A serial port that is not a receiver is log detail, not news.
        QTest::newRow("a rejected port stays in the log")
            << QList<int>{QtWarningMsg} << "none" << -2;
    }

    void warningsAndErrorsShow()
    {
        QFETCH(QList<int>, logged);
        QFETCH(QString, level);
        QFETCH(int, shown);
        const int terminal = ui->tabWidget->indexOf(ui->tabTerminal);
        ui->tabWidget->setCurrentIndex(terminal);  // clears the tab's marker
        ui->tabWidget->setCurrentIndex(0);
        for (int i = 0; i < logged.size(); ++i) {
            const QString text = shown == -2 ? QStringLiteral("Device vendor 0x0 product 0x0 is rejected on port ttyS0.")
                                             : QStringLiteral("Message %1\nsecond line").arg(i);
            if (logged[i] == QtWarningMsg || logged[i] == QtCriticalMsg)
                QTest::ignoreMessage(QtMsgType(logged[i]), qPrintable(text));
            qt_message_output(QtMsgType(logged[i]), QMessageLogContext(), text);
        }
        QCOMPARE(shownLevel(), level);
        // The log's tab is marked until it is shown.
        QCOMPARE(ui->tabWidget->tabText(terminal), QString(shown == -1 ? "Terminal" : "Terminal *"));
        if (shown < 0)
            return;
        // Its time and its first line; a click shows the log.
        QVERIFY2(message()->text().endsWith(QStringLiteral("UTC  Message %1").arg(shown)), qPrintable(message()->text()));
        message()->click();
        QCOMPARE(ui->tabWidget->currentWidget(), ui->tabTerminal);
        QCOMPARE(ui->tabWidget->tabText(terminal), QString("Terminal"));
    }

    void lostLinkIsExplained_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QString>("generation");
        QTest::addColumn<bool>("unplugged");
        QTest::addColumn<QString>("text");
        QTest::newRow("first generation stops answering") << DeviceState::PROFILE_DFR_V1 << "DFR V1" << false
                                                          << "Error on %1 (Uart link timeout). Please restart connection.";
        QTest::newRow("second generation unplugged") << DeviceState::PROFILE_DFR_V2_APP << "DFR V2" << true
                                                     << "Disconnection of %1 (DFR disconnected).";
    }

    void lostLinkIsExplained()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QString, generation);
        QFETCH(bool, unplugged);
        QFETCH(QString, text);
        // Long enough to see a late reply wait, and for the port scan to notice an unplugged receiver first.
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->keepAliveTimeoutMs = 3000;
        const auto restore = qScopeGuard([settings] { settings->keepAliveTimeoutMs = 500; });
        DfrSimulator* plugged = connectReceiver(profile);
        QVERIFY(plugged);
        const QString port = DeviceTest::portOf(plugged->deviceName());
        QTRY_VERIFY_WITH_TIMEOUT(connection().endsWith("link ready"), 5000);
        QCOMPARE(connection().split(QString::fromUtf8("  ·  ")),
                 (QStringList{port, generation, "SN/0042-1207", "link ready"}));

        const QString shown = text.arg(port);
        const QPointer<QAction> action = actionFor(port);
        if (unplugged) {
            plugged->unplug();
            // The button goes with the receiver, deleted and not only removed.
            QTRY_VERIFY_WITH_TIMEOUT(action.isNull(), DeviceTest::scanWaitMs);
        } else {
            plugged->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY);
            QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(shown));
            QTRY_VERIFY_WITH_TIMEOUT(connection().endsWith("link waiting"), 5000);
        }
        QTRY_VERIFY_WITH_TIMEOUT(message()->isVisible() && message()->text().endsWith(shown), 10000);
        QCOMPARE(connection(), QString("Not connected"));
        // Without a receiver there is no traffic log to write to.
        QVERIFY(!ui->lineEditTerminalCommand->isEnabled() && !ui->checkBoxRxLogFile->isEnabled());
    }

    void typedSetupValues_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<int>("position");  // in the hardware setup, or the software setup for the angle
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QStringList>("sent");
        const QString declination = "lineEditHardwareDeclination";
        QTest::newRow("declination, letters") << declination << 5 << "abc" << QStringList{};
        QTest::newRow("declination, beyond 180 degrees") << declination << 5 << "200x" << QStringList{"20"};
        QTest::newRow("declination, a comma splits no frame") << declination << 5 << "3,5" << QStringList{"35"};
        QTest::newRow("declination, unchanged") << declination << 5 << "1.5" << QStringList{};
        QTest::newRow("cable length, letters") << "spinBoxHardwareCableLength" << 2 << "4a2" << QStringList{"42"};
        QTest::newRow("angle offset") << "spinBoxSetupSoftwareDirectionOffset" << 6 << "90" << QStringList{"90"};
    }

    void typedSetupValues()
    {
        QFETCH(QString, field);
        QFETCH(int, position);
        QFETCH(QString, typed);
        QFETCH(QStringList, sent);
        DfrSimulator* plugged = connectReceiver(DeviceState::PROFILE_DFR_V2_APP);  // declination 1.5, cable 5, angle 0
        QVERIFY(plugged);
        plugged->clearReceivedFrames();
        // Focus moves only within the active window, and a busy machine may hand it elsewhere.
        window->activateWindow();
        QApplication::setActiveWindow(window);
        QVERIFY(QTest::qWaitForWindowActive(window));
        auto* widget = window->findChild<QWidget*>(field);
        widget->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(widget->hasFocus(), 10000);
        QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClicks(widget, typed);
        // Return finishes the edit, then leaving the field finishes it once more.
        QTest::keyClick(widget, Qt::Key_Return);
        ui->comboBoxHardwareDirectionMode->setFocus();
        QTRY_VERIFY_WITH_TIMEOUT(!widget->hasFocus(), 10000);
        QStringList written;
        for (const QStringList& frame : writes(*plugged, position == 6 ? "SETUPSW" : "SETUPHW"))
            written.append(frame.value(position));
        QCOMPARE(written, sent);
    }
};

VANTREL_WINDOW_TEST_MAIN(TstConnection)
#include "tst_connection.moc"
