// Connecting receivers from the tool bar: status panel and bar, generation widgets, setup writes, lost links, wiring.
#include "tests/common/WindowDeviceFixture.h"

#include <QSerialPort>

class TstConnection : public WindowDeviceFixture
{
    Q_OBJECT

    std::vector<std::unique_ptr<DfrSimulator>> simulators;

    QAction* actionFor(const QString& port) const { return DeviceTest::portAction(ui, port); }
    static bool sameIcon(const QIcon& icon, const QString& path)
    {
        return icon.pixmap(16).toImage() == QIcon(path).pixmap(16).toImage();
    }

    // Starts a simulated receiver, prepared by the caller, and offers it to the port scan with the others.
    DfrSimulator* plugIn(DeviceState::Profile_t profile, const std::function<void(DeviceState&)>& prepare = {})
    {
        DfrSimulator* plugged = simulators.emplace_back(std::make_unique<DfrSimulator>(profile)).get();
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
    QString shownLevel() const { return message()->isVisible() ? message()->property("level").toString() : "none"; }
    bool tabEnabled(QWidget* page) const { return ui->tabWidget->isTabEnabled(ui->tabWidget->indexOf(page)); }
    // Long enough to see a late reply wait, and for the port scan to notice an unplugged receiver first.
    static auto patientKeepAlive()
    {
        Vantrel::Utils::Settings::instance()->keepAliveTimeoutMs = 3000;
        return qScopeGuard([] { Vantrel::Utils::Settings::instance()->keepAliveTimeoutMs = 500; });
    }

private Q_SLOTS:
    void initTestCase()
    {
        // A loaded machine may run the worker late: its keep-alive report then follows the window's explanation.
        static QtMessageHandler console = nullptr;
        console = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            QThread::msleep(text == "UART link timeout on KeepAlive" && QThread::currentThread() != qApp->thread() ? 300 : 0);
            console(type, context, text);
        });
        startWindow(500, 1000);
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
    }

    void connectProfile_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<QString>("switchText");
        QTest::addColumn<QList<double>>("status");  // fix valid, temperature, voltage
        QTest::addColumn<QStringList>("panel");     // latitude, temperature, voltage, charge
        QTest::addColumn<QString>("generation");    // as the status bar names it
        const QString toFirmware = "Switch to firmware update mode...";
        QTest::newRow("first generation, no fix, freezing")
            << DeviceState::PROFILE_DFR_V1 << "GONIO V1" << "DFR_UNDEFINEDMODE" << toFirmware << QList<double>{0, 0, 4.25}
            << QStringList{"INVALID", QString::fromUtf8("0°C (32.0°F)"), "4.25V", "100%"} << "DFR V1";
        // 3.8 V is inexact in binary: the truncated charge must not fall a hair short.
        QTest::newRow("second generation, valid fix")
            << DeviceState::PROFILE_DFR_V2_APP << "GONIO V2" << "DFR_APP" << toFirmware << QList<double>{1, 25, 3.8}
            << QStringList{"48.8", QString::fromUtf8("25°C (77.0°F)"), "3.8V", "65%"} << "DFR V2 (Sorel NG)";
        QTest::newRow("bootloader, no status read") << DeviceState::PROFILE_DFR_V2_BL << "GONIO V2" << "DFR_BL"
            << "Switch back to standard mode..." << QList<double>{1, 25, 3.8}
            << QStringList{"INVALID", "Unknown", "Unknown", "Unknown"} << "DFR V2 (Sorel NG)";
    }

    void connectProfile()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(QString, version);
        QFETCH(QString, mode);
        QFETCH(QList<double>, status);
        QFETCH(QStringList, panel);
        // Second-generation widgets show for both modes; the bootloader reads no setup.
        const bool directionShown = profile != DeviceState::PROFILE_DFR_V1;
        const bool bootloader = profile == DeviceState::PROFILE_DFR_V2_BL;
        const auto restore = patientKeepAlive();
        DfrSimulator* plugged = connectReceiver(profile, [&](DeviceState& state) {
            state.status.gpsValid = status[0] != 0;
            state.status.temperature = int(status[1]);
            state.status.voltage = status[2];
            state.status.band = 3;
        });
        QVERIFY(plugged);
        const QString port = DeviceTest::portOf(plugged->deviceName());
        QAction* action = actionFor(port);
        // The bootloader's test reply carries the serial number too.
        QCOMPARE(action->text(), QStringLiteral("%1 - %2 - SN/0042-1207").arg(port, version));
        QCOMPARE((QStringList{ui->lineEditVersionsDfrVersion->text(), ui->lineEditVersionsMode->text(),
                              ui->lineEditStatusSerial->text()}),
                 (QStringList{version, mode, "SN/0042-1207"}));
        QVERIFY(ui->lineEditVersionsStatus->text().startsWith("Connected at "));
        QCOMPARE((QStringList{ui->lineEditStatusLatitude->text(), ui->lineEditStatusTemperature->text(),
                              ui->lineEditStatusVoltage->text(), ui->progressBarCharge->text()}),
                 panel);
        QTEST(connectionText().split(QString::fromUtf8("  ·  ")).value(1), "generation");
        if (profile == DeviceState::PROFILE_DFR_V2_APP) {
            QCOMPARE(ui->lineEditStatusDirection->text(), QStringLiteral("135"));
            QCOMPARE(ui->lineEditStatusOrvanBand->text(), QStringLiteral("MSS    : 399.900 MHz to 399.980 MHz"));
            // Between the table's 3.7 and 3.5 volt rows, and the last band; one beyond leaves the field as it was.
            const QString lastBand = "EESS2-3: 401.440 MHz to 401.520 MHz";
            for (int band : {9, 10}) {
                plugged->state().status.voltage = 3.6;
                plugged->state().status.band = band;
                ui->pushButtonStatusRefresh->click();
                QCOMPARE(ui->progressBarCharge->value(), 35);
                QCOMPARE(ui->lineEditStatusOrvanBand->text(), lastBand);
            }
            // Read again by itself once no request was sent for a whole period.
            ui->spinBoxStatusRefreshPeriod->setValue(1);
            Q_EMIT ui->spinBoxStatusRefreshPeriod->editingFinished();
            const qsizetype reads = plugged->receivedMnemonics().count("LIG");
            QTRY_VERIFY_WITH_TIMEOUT(plugged->receivedMnemonics().count("LIG") >= reads + 2, 4000);
            ui->spinBoxStatusRefreshPeriod->setValue(0);
            Q_EMIT ui->spinBoxStatusRefreshPeriod->editingFinished();
        }
        // The bootloader keeps no favourites or formats: their tabs wait, and a line says why.
        for (QWidget* page : {ui->tabConfiguration, ui->tabPlatorms, ui->tabFormats, ui->tabTerminal})
            QCOMPARE(tabEnabled(page), !bootloader || page == ui->tabConfiguration || page == ui->tabTerminal);
        const auto* notice = window->findChild<QLabel*>("labelBootloaderMode");
        QCOMPARE(notice && notice->isVisibleTo(window), bootloader);
        QCOMPARE(!ui->pushButtonSwitchMode->isHidden(), directionShown);
        QTEST(ui->pushButtonSwitchMode->text(), "switchText");
        QCOMPARE(!ui->pushButtonFirmwareUpdate->isHidden(), bootloader);
        QCOMPARE(plugged->receivedCount("SETUPSW") > 0, !bootloader);
        if (!bootloader) {
            for (QWidget* widget : std::initializer_list<QWidget*>{
                     ui->lineEditStatusDirection, ui->labelStatusOrvanBand, ui->checkBoxHardwareProximityMode,
                     ui->comboBoxSetupSoftwareOrvanBand, ui->comboBoxPlatformsModulation})
                QVERIFY2(!widget->isHidden() == directionShown, qPrintable(widget->objectName()));
            QCOMPARE(!ui->spinBoxPlatformsMeanDirectionValue->isHidden(), !directionShown);
        }
        // Filling the widgets from the receiver writes nothing back, nor does the bootloader's setup.
        if (bootloader)
            ui->checkBoxSetupSoftwareAudio->click();
        QVERIFY(writes(*plugged, "SETUPSW").isEmpty() && writes(*plugged, "SETUPHW").isEmpty());
        QTRY_VERIFY_WITH_TIMEOUT(sameIcon(action->icon(), ":/Icons/dfrReady") ||
                                     sameIcon(action->icon(), ":/Icons/dfrWaiting"),
                                 3000);
        if (profile == DeviceState::PROFILE_DFR_V1) {
            // One that stops answering is noticed by the keep-alive, and the disconnection explained.
            QTRY_VERIFY_WITH_TIMEOUT(connectionText().endsWith("link ready"), 5000);
            QCOMPARE(connectionText().split(QString::fromUtf8("  ·  ")), (QStringList{port, "DFR V1", "SN/0042-1207", "link ready"}));
            const QString shown = QStringLiteral("Error on %1 (Uart link timeout). Please restart connection.").arg(port);
            plugged->setPersistentFault(DfrSimulator::FAULTMODE_NO_REPLY);
            QTest::ignoreMessage(QtCriticalMsg, "UART link timeout on KeepAlive");
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(shown));
            QTRY_VERIFY_WITH_TIMEOUT(connectionText().endsWith("link waiting"), 5000);
            QTRY_VERIFY_WITH_TIMEOUT(message()->isVisible() && message()->text().endsWith(shown), 10000);
            QCOMPARE(connectionText(), QString("Not connected"));
            // Without a receiver there is no traffic log to write to.
            QVERIFY(!ui->lineEditTerminalCommand->isEnabled() && !ui->checkBoxRxLogFile->isEnabled());
            return;
        }

        action->trigger();
        QCOMPARE(action->text(), port);
        QVERIFY(sameIcon(action->icon(), ":/Icons/DFR"));
        QVERIFY(DeviceTest::logHas(ui, "INFO", QStringLiteral("Disconnection of %1 (Disconnect by user).").arg(port)));
        QCOMPARE(ui->lineEditVersionsStatus->text(), QStringLiteral("Not connected"));
        QVERIFY(!tabEnabled(ui->tabConfiguration));
        QVERIFY(tabEnabled(ui->tabSettings));
    }

    // A simulator may name its port by a path of its own, outside /dev: that path is what is checked.
    void portByPath()
    {
        DfrSimulator* plugged = plugIn(DeviceState::PROFILE_DFR_V2_APP);
        const QString port = dir.filePath("dfr0");
        QVERIFY(plugged && QFile::link(plugged->deviceName(), port));
        qputenv("VANTREL_SIMULATED_PORTS", port.toLocal8Bit());
        QTRY_VERIFY_WITH_TIMEOUT(actionFor(port), DeviceTest::scanWaitMs);
        QCOMPARE(actionFor(port)->text(), port);
    }

    // Connecting one receiver disconnects the other; unplugged, the other goes quietly, the connected one not.
    void switchingReceivers()
    {
        using DeviceTest::scanWaitMs;
        const auto restore = patientKeepAlive();
        DfrSimulator* first = plugIn(DeviceState::PROFILE_DFR_V1);
        DfrSimulator* second = plugIn(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(first && second);
        const QString a = DeviceTest::portOf(first->deviceName());
        const QString b = DeviceTest::portOf(second->deviceName());
        QTRY_VERIFY_WITH_TIMEOUT(actionFor(a) && actionFor(b), scanWaitMs);
        actionFor(a)->trigger();
        actionFor(b)->trigger();
        QVERIFY(!actionFor(a)->isChecked());
        QVERIFY(DeviceTest::logHas(
            ui, "INFO", QStringLiteral("Disconnection of %1 (Disconnection of currently connected DFR).").arg(a)));

        first->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!actionFor(a), scanWaitMs);
        QVERIFY(actionFor(b)->isChecked());
        QVERIFY(!DeviceTest::logHas(ui, "INFO", QStringLiteral("Disconnection of %1 (DFR disconnected).").arg(a)));
        const QPointer<QAction> connected = actionFor(b);
        second->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(connected.isNull(), scanWaitMs);
        QCOMPARE(shownLevel(), QStringLiteral("warning"));
        QVERIFY(message()->text().endsWith(QStringLiteral("Disconnection of %1 (DFR disconnected).").arg(b)));
        QCOMPARE(connectionText(), QString("Not connected"));
    }

    // A port another program holds is said so in words; the log keeps the link's own text.
    void portHeldElsewhere()
    {
        DfrSimulator* plugged = plugIn(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(plugged);
        const QString port = DeviceTest::portOf(plugged->deviceName());
        QSerialPort holder(plugged->deviceName());
        QVERIFY(holder.open(QIODevice::ReadWrite));
        const QString words = port + " is in use by another program: close the program that holds it, then connect again.";
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression("^Error on " + QRegularExpression::escape(port)));
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(words));
        QTest::ignoreMessage(QtCriticalMsg, "UART link not available");
        QVERIFY(DeviceTest::plugAndClick(ui, *plugged));
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "CRITICAL", "UART link not available"), 5000);
        QVERIFY2(message()->text().endsWith("UTC  " + words), qPrintable(message()->text()));
        QVERIFY(!actionFor(port)->isChecked());
    }

    // Wired once per connection and unwired exactly: each edit writes once, the hardware setup with what the
    // receiver holds; then typed into the numeric setup fields in turn, each edit finished by Return and again
    // by leaving the field.
    void setupEditsWriteOnce()
    {
        DfrSimulator* plugged = connectReceiver(DeviceState::PROFILE_DFR_V2_APP,
                                                [](DeviceState& state) { state.setupHardware[5] = "-1.50"; });
        QVERIFY(plugged);
        QAction* action = actionFor(DeviceTest::portOf(plugged->deviceName()));
        for (int again = 0; again < 2; ++again) {
            action->trigger();
            QVERIFY(!ui->pushButtonStatusRefresh->isEnabled());
            action->trigger();
        }
        plugged->clearReceivedFrames();
        ui->pushButtonStatusRefresh->click();
        QCOMPARE(plugged->receivedCount("LIG"), 1);
        ui->checkBoxSetupSoftwareAudio->click();
        ui->widgetSoftwareSetupDateTime->setDateTime(
            Tarsk::Utils::DateTime::fromQDateTime(QDateTime(QDate(2024, 3, 5), QTime(14, 7, 59), Qt::UTC)));
        QMetaObject::invokeMethod(ui->widgetSoftwareSetupDateTime, "sigDateTimeChanged");
        QSlider* contrast = ui->horizontalSliderSetupSoftwareConstrast;
        contrast->setValue(contrast->value() == 17 ? 18 : 17);
        const QList<QStringList> software = writes(*plugged, "SETUPSW");
        QCOMPARE(software.size(), 3);
        QCOMPARE(software.at(1).mid(7, 5), (QStringList{"24", "3", "5", "14", "7"}));
        QCOMPARE(software.at(2).at(2), QString::number(contrast->value()));
        ui->spinBoxHardwareCableLength->setValue(12);
        Q_EMIT ui->spinBoxHardwareCableLength->editingFinished();
        const QList<QStringList> hardware = writes(*plugged, "SETUPHW");
        QCOMPARE(hardware.size(), 1);
        QCOMPARE((QStringList{hardware[0][2], hardware[0][5]}), (QStringList{"12", "-1.50"}));

        // Name, field, position in the hardware setup (the software setup for the angle), typed, sent.
        const QString declination = "lineEditHardwareDeclination";
        const QList<QStringList> edits = {
            {"declination beyond 180 degrees", declination, "5", "200x", "20"},
            {"declination, a comma splits no frame", declination, "5", "3,5", "35"},
            {"declination unchanged", declination, "5", "35", ""},
            {"cable length, letters", "spinBoxHardwareCableLength", "2", "4a2", "42"},
            {"angle offset", "spinBoxSetupSoftwareDirectionOffset", "6", "90", "90"},
        };
        for (const QStringList& edit : edits) {
            plugged->clearReceivedFrames();
            auto* widget = window->findChild<QWidget*>(edit[1]);
            QTest::keyClick(widget, Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(widget, edit[3]);
            QTest::keyClick(widget, Qt::Key_Return);
            QMetaObject::invokeMethod(widget, "editingFinished");
            QStringList written;
            for (const QStringList& frame : writes(*plugged, edit[2] == "6" ? "SETUPSW" : "SETUPHW"))
                written.append(frame.value(edit[2].toInt()));
            QVERIFY2(written.join('|') == edit[4], qPrintable(edit[0] + ": " + written.join('|')));
        }
    }

    void warningsAndErrorsShow_data()
    {
        QTest::addColumn<QList<int>>("logged");  // message i has the type logged[i]
        QTest::addColumn<QString>("level");
        QTest::addColumn<int>("shown");
        QTest::newRow("the newest wins, information leaves it")
            << QList<int>{QtCriticalMsg, QtWarningMsg, QtInfoMsg} << "warning" << 1;
        QTest::newRow("debug and information never show") << QList<int>{QtDebugMsg, QtInfoMsg} << "none" << -1;
        QTest::newRow("a port that is not a receiver stays in the log") << QList<int>{QtWarningMsg} << "none" << -2;
        // Told apart by its note, not its words.
        QTest::newRow("a detail in other words stays in the log") << QList<int>{QtWarningMsg} << "none" << -3;
        QTest::newRow("a warning in a detail's words shows") << QList<int>{QtWarningMsg} << "warning" << -4;
    }

    void warningsAndErrorsShow()
    {
        QFETCH(QList<int>, logged);
        QFETCH(int, shown);
        const int terminal = ui->tabWidget->indexOf(ui->tabTerminal);
        ui->tabWidget->setCurrentIndex(terminal);  // clears the tab's marker
        ui->tabWidget->setCurrentIndex(0);
        for (int i = 0; i < logged.size(); ++i) {
            const QString rejected = QStringLiteral("Device vendor 0x0 product 0x0 is rejected on port ttyS0.");
            const QString text = shown == -3   ? QStringLiteral("ttyS0 is no receiver.")
                                 : shown < -1 ? rejected
                                              : QStringLiteral("Message %1\nsecond line").arg(i);
            if (logged[i] == QtWarningMsg || logged[i] == QtCriticalMsg)
                QTest::ignoreMessage(QtMsgType(logged[i]), qPrintable(text));
            if (shown == -2) {
                Vantrel::Com::ComManager scan;
                scan.setPortSource([] { return QList<Vantrel::Com::ComManager::PortInfo_t>{{"ttyS0", 0, 0}}; });
                QMetaObject::invokeMethod(&scan, "slotScanComPorts", Qt::DirectConnection);
                continue;
            }
            const Tarsk::Utils::LogNote note(shown == -3 ? Tarsk::Utils::LogNote::NOTE_DETAIL
                                                         : Tarsk::Utils::LogNote::NOTE_NONE);
            qt_message_output(QtMsgType(logged[i]), QMessageLogContext(), text);
        }
        QTEST(shownLevel(), "level");
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
};

VANTREL_WINDOW_TEST_MAIN(TstConnection)
#include "tst_connection.moc"
