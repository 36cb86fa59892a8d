// Connection lifecycle: tool bar actions per receiver, connecting, disconnecting
// and the disconnected state of the form.
#include "ui/MainWindow.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QToolBar>

#include "ui/GpsFormatWidget.h"
#include "ui/GpsFormatsTableModel.h"
#include "ui/PlatformsTableModel.h"
#include "ui_UiMainWindow.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Ui {

void MainWindow::slotDfrDetected(const QString& portName)
{
    QString label = portName;
    if (QSysInfo::productType() != QLatin1String("windows")) {
        const QFileInfo device(QStringLiteral("/dev/") + portName);
        if (!device.permission(QFileDevice::WriteUser))
            label = QStringLiteral("%1 (Warning: only root and users of %2 group can use this port)")
                        .arg(portName, device.group());
    }

    auto* action = new QAction(this);
    portActions[portName] = action;
    action->setToolTip(QStringLiteral("Connect to DFR @%1").arg(portName));
    action->setIcon(QIcon(QStringLiteral(":/Icons/DFR")));
    action->setText(label);
    action->setCheckable(true);
    toolBar()->addAction(action);
    connect(action, &QAction::triggered, action,
            [this, portName](bool checked) { toggleConnection(checked, portName); });
}

void MainWindow::slotDfrRemoved(const QString& portName)
{
    if (dfrLink.portName() == portName) {
        slotDfrDisconnected(portName, QStringLiteral("DFR disconnected"));
        // The log keeps this as information, but a receiver pulled out under the
        // user's hands must not go unnoticed: the status bar shows it as a warning.
        showStatusMessage(QtWarningMsg, QDateTime::currentDateTimeUtc(),
                          QStringLiteral("Disconnection of %1 (%2).").arg(portName, QStringLiteral("DFR disconnected")));
    }
    if (QAction* action = portActions.take(portName)) {
        toolBar()->removeAction(action);
        // Later: the removal may come from inside a request started by this very action.
        action->deleteLater();
    }
}

void MainWindow::toggleConnection(bool checked, const QString& portName)
{
    // The user's choice ends any wait for a restarting receiver.
    cancelRestartWait();
    if (!checked) {
        slotDfrDisconnected(portName, QStringLiteral("Disconnect by user"));
        return;
    }
    for (auto it = portActions.cbegin(); it != portActions.cend(); ++it) {
        if (it.key() != portName && it.value()->isChecked()) {
            it.value()->setChecked(false);
            slotDfrDisconnected(it.key(), QStringLiteral("Disconnection of currently connected DFR"));
        }
    }
    slotDfrConnected(portName);
}

void MainWindow::slotDfrConnected(const QString& portName)
{
    ui->tabWidget->setCurrentWidget(ui->tabConfiguration);
    qInfo().noquote() << QStringLiteral("Connection of a DFR on %1.").arg(portName);
    qInfo().noquote() << "Loading configuration...";

    dfrLink.setUartLink(portName);
    linkState.clear();
    updateConnectionStatus();

    setDeviceTabsEnabled(true);

    connectDeviceWidgets();

    ui->lineEditVersionsStatus->setText(
        QStringLiteral("Connected at %1").arg(QDateTime::currentDateTimeUtc().toString("yyyy-MM-ddThh:mm:ss")));

    slotRefreshGuiInfos();

    const QDir appDir(QCoreApplication::applicationDirPath());
    const QDir logDir(appDir.absoluteFilePath(QStringLiteral("../Logs")));
    trafficLog.setFileName(QStringLiteral("%1/Log %2.txt").arg(logDir.absolutePath(), dfrLink.serialNumber));
    logDir.mkpath(QStringLiteral("."));
    QDir(appDir.absoluteFilePath(QStringLiteral("../FlashDumps"))).mkpath(QStringLiteral("."));

    const bool v1 = dfrLink.dfrVersion == Com::DfrLink::DFR_V1;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui->labelStatusDirection, ui->lineEditStatusDirection, ui->labelStatusOrvanBand,
             ui->lineEditStatusOrvanBand, ui->labelPlatformsOrvanBand, ui->comboBoxPlatformsOrvanBand,
             ui->labelPlatformsModulation, ui->comboBoxPlatformsModulation, ui->checkBoxPlatformNarrowEnabled,
             ui->checkBoxHardwareProximityMode})
        widget->setVisible(!v1);
    // The narrow frequency shows only for a narrow slot, as the platform panel decided.
    ui->doubleSpinBoxPlatformsNarrowFrequency->setVisible(!v1 && ui->checkBoxPlatformNarrowEnabled->isChecked());
    ui->labelPlatformsMeanDirection->setVisible(v1);
    ui->spinBoxPlatformsMeanDirectionValue->setVisible(v1);

    updateConnectionStatus();
    showTabIfEnabled(pendingTab);
    restartStatusRefresh();
    qInfo().noquote() << "DFR configuration loaded!";
}

void MainWindow::connectDeviceWidgets()
{
    connectPersistentWidgets();

    connectDevice(ui->pushButtonSwitchMode, &QPushButton::clicked, &MainWindow::slotSwitchMode);
    connectDevice(ui->pushButtonFirmwareUpdate, &QPushButton::clicked, &MainWindow::slotUpdateFirmware);
    connectDevice(ui->pushButtonStatusRefresh, &QPushButton::clicked, &MainWindow::slotRefreshStatus);

    for (QCheckBox* box : {ui->checkBoxSetupSoftwareAudio, ui->checkBoxSetupSoftwareBacklight,
                           ui->checkBoxSetupSoftwareGpsAcquisition, ui->checkBoxSetupSoftwareAllToFavorites})
        connectDevice(box, &QCheckBox::toggled, &MainWindow::slotSetSetupSoftware);
    connectDevice(ui->horizontalSliderSetupSoftwareConstrast, &QSlider::valueChanged,
                  &MainWindow::slotSetSetupSoftware);
    for (QComboBox* box : {ui->comboBoxSetupSoftwareCoordType, ui->comboBoxSetupSoftwareDistType,
                           ui->comboBoxSetupSoftwareOrvanBand})
        connectDevice(box, qOverload<int>(&QComboBox::currentIndexChanged), &MainWindow::slotSetSetupSoftware);
    connectDevice(ui->spinBoxSetupSoftwareDirectionOffset, &QSpinBox::editingFinished,
                  &MainWindow::slotSetSetupSoftware);
    // By name: the editor's signal is part of the in-house widget's string interface.
    deviceConnections.append(
        connect(ui->widgetSoftwareSetupDateTime, SIGNAL(sigDateTimeChanged()), this, SLOT(slotSetTime())));

    for (QComboBox* box : {ui->comboBoxHardwareDirectionMode, ui->comboBoxHardwareAntennaMode,
                           ui->comboBoxHardwareAntennaPosition, ui->comboBoxHardwareCompassMode})
        connectDevice(box, qOverload<int>(&QComboBox::currentIndexChanged), &MainWindow::slotSetSetupHardware);
    connectDevice(ui->spinBoxHardwareCableLength, &QSpinBox::editingFinished, &MainWindow::slotSetSetupHardware);
    connectDevice(ui->lineEditHardwareDeclination, &QLineEdit::editingFinished, &MainWindow::slotSetSetupHardware);
    connectDevice(ui->checkBoxHardwareProximityMode, &QCheckBox::toggled, &MainWindow::slotSetSetupHardware);

    connectDevice(ui->checkBoxRxLive, &QCheckBox::toggled, &MainWindow::slotSetLiveRxEnabled);
    connectDevice(ui->pushButtonRxFlashRead, &QPushButton::clicked, &MainWindow::slotReadFlashMemory);
    connectDevice(ui->pushButtonRxFlashErase, &QPushButton::clicked, &MainWindow::slotEraseFlashMemory);

    connectDevice(ui->pushButtonPlatformsUpdate, &QPushButton::clicked, &MainWindow::slotGetPlatformsInfo);
    connectDevice(ui->pushButtonPlatformsImport, &QPushButton::clicked, &MainWindow::slotImportPlatformsInfo);
    connectDevice(ui->pushButtonPlatformsExport, &QPushButton::clicked, &MainWindow::slotExportPlatformsInfo);
    connectDevice(ui->pushButtonPlatformsDeleteAll, &QPushButton::clicked, &MainWindow::slotDeleteAllPlatforms);
    connectDevice(ui->pushButtonNewFavorite, &QPushButton::clicked, &MainWindow::slotNewFavorite);
    connectDevice(ui->tableWidgetPlatforms->selectionModel(), &QItemSelectionModel::selectionChanged,
                  &MainWindow::slotDisplayPlatformInfo);
    connectDevice(ui->pushButtonPlatformsCreate, &QPushButton::clicked, &MainWindow::slotCreatePlatformsInfo);
    connectDevice(ui->pushButtonPlatformsDelete, &QPushButton::clicked, &MainWindow::slotDeletePlatformsInfo);
    for (QLineEdit* edit : {ui->lineEditPlatformsOrvanId, ui->lineEditPlatformsLabel})
        connectDevice(edit, &QLineEdit::editingFinished, &MainWindow::slotSavePlatformsInfo);
    for (QComboBox* box : {ui->comboBoxPlatformsOrvanBand, ui->comboBoxPlatformsModulation})
        connectDevice(box, qOverload<int>(&QComboBox::currentIndexChanged), &MainWindow::slotSavePlatformsInfo);
    for (QCheckBox* box : {ui->checkBoxPlatformNarrowEnabled, ui->checkBoxGpsModeEnabled})
        connectDevice(box, &QCheckBox::toggled, &MainWindow::slotSavePlatformsInfo);
    connectDevice(ui->doubleSpinBoxPlatformsNarrowFrequency, &QDoubleSpinBox::editingFinished,
                  &MainWindow::slotSavePlatformsInfo);
    for (QSpinBox* box : {ui->spinBoxPlatformsMeanDirectionValue, ui->spinBoxPlatformsRepetitionPeriod})
        connectDevice(box, &QSpinBox::editingFinished, &MainWindow::slotSavePlatformsInfo);
    connectDevice(ui->widgetGpsFormatPlatform, &GpsFormatWidget::sigGpsFormatChanged,
                  &MainWindow::slotSavePlatformsInfo);

    connectDevice(ui->pushButtonGpsFormatsReload, &QPushButton::clicked, &MainWindow::slotGetGpsFormats);
    connectDevice(ui->tableWidgetGpsFormats->selectionModel(), &QItemSelectionModel::selectionChanged,
                  &MainWindow::slotDisplayGpsFormatInfo);
    connectDevice(ui->pushButtonGpsFormatsCreate, &QPushButton::clicked, &MainWindow::slotCreateGpsFormats);
    connectDevice(ui->pushButtonGpsFormatsDelete, &QPushButton::clicked, &MainWindow::slotDeleteGpsFormats);

    setupTerminalHabits();
    connectDevice(ui->lineEditTerminalCommand, &QLineEdit::returnPressed, &MainWindow::slotSendManualDfrCmd);
    connectDevice(ui->pushButtonTerminalSend, &QPushButton::clicked, &MainWindow::slotSendManualDfrCmd);
    connectDevice(ui->pushButtonTerminalSaveScript, &QPushButton::clicked, &MainWindow::slotTerminalSaveScript);
    connectDevice(ui->pushButtonTerminalScript, &QPushButton::clicked, &MainWindow::slotTerminalScript);
    connectDevice(ui->pushButtonTerminalReloadGui, &QPushButton::clicked, &MainWindow::slotRefreshGuiInfos);
}

void MainWindow::connectPersistentWidgets()
{
    if (persistentWidgetsConnected)
        return;
    persistentWidgetsConnected = true;
    connect(ui->checkBoxHideEmptySlots, &QCheckBox::toggled, this, &MainWindow::slotToggleEmptySlots);
    connect(ui->pushButtonGpsFormatsDeleteAll, &QPushButton::clicked, this, &MainWindow::slotDeleteAllGpsFormats);
    connect(ui->checkBoxGpsFormatsHideEmptySlots, &QCheckBox::toggled, this,
            &MainWindow::slotToggleEmptyGpsFormatsSlots);
    connect(ui->widgetGpsFormatTab, &GpsFormatWidget::sigGpsFormatChanged, this, &MainWindow::slotSaveGpsFormats);
    connect(ui->checkBoxRxLogFile, &QCheckBox::toggled, this, &MainWindow::slotSetLogFileEnabled);
    connect(ui->checkBoxFlashDumpToFile, &QCheckBox::toggled, this, &MainWindow::slotSetFlashDumpEnabled);
    connect(ui->checkBoxFlashCrcCheck, &QCheckBox::toggled, this, &MainWindow::slotSetFlashCrcCheckEnabled);
}

void MainWindow::disconnectDeviceWidgets()
{
    for (const QMetaObject::Connection& connection : std::as_const(deviceConnections))
        disconnect(connection);
    deviceConnections.clear();
}

void MainWindow::slotDfrDisconnected(const QString& portName, const QString& message)
{
    if (!restartAttempt)
        cancelRestartWait();
    trafficLog.closeOnDisconnection(logGenerationText(), message);

    ui->tabWidget->setCurrentWidget(ui->tabConfiguration);
    // A receiver still restarting is tried again: only the end of the wait is an error.
    if (sender() == &dfrLink && !restartAttempt)
        qCritical().noquote() << QStringLiteral("Error on %1 (%2). Please restart connection.").arg(portName, message);
    else
        qInfo().noquote() << QStringLiteral("Disconnection of %1 (%2).").arg(portName, message);

    dfrLink.unsetUartLink();

    if (QAction* action = portActions.value(portName)) {
        action->setText(portName);
        action->setChecked(false);
        action->setIcon(QIcon(QStringLiteral(":/Icons/DFR")));
    }
    Utils::GpsFormat::instance()->resetCatalog();
    reinitGUI();
}

void MainWindow::slotUpdateUartLinkStatus(const QString& statusString)
{
    linkState = statusString;
    updateConnectionStatus();
    if (dfrLink.portName().isEmpty())
        return;
    QAction* action = portActions.value(dfrLink.portName());
    if (!action)
        return;
    if (statusString == QLatin1String("READY"))
        action->setIcon(QIcon(QStringLiteral(":/Icons/dfrReady")));
    else if (statusString == QLatin1String("ERROR"))
        action->setIcon(QIcon(QStringLiteral(":/Icons/dfrError")));
    else
        action->setIcon(QIcon(QStringLiteral(":/Icons/dfrWaiting")));
}

void MainWindow::setDeviceTabsEnabled(bool enabled)
{
    // Settings stays usable without a receiver; so does Terminal, where a lost
    // connection explains itself, and Messages, to look at flash dumps, whose
    // receiver widgets do not.
    for (int tab = 0; tab < ui->tabWidget->count(); ++tab) {
        QWidget* page = ui->tabWidget->widget(tab);
        if (page != ui->tabSettings && page != ui->tabRx && page != ui->tabTerminal)
            ui->tabWidget->setTabEnabled(tab, enabled);
    }
    // The traffic log is the receiver's own: without one there is nothing to log to.
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->pushButtonRxFlashRead, ui->pushButtonRxFlashErase,
                                                           ui->checkBoxRxLive, ui->checkBoxRxLogFile})
        widget->setEnabled(enabled);
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->lineEditTerminalCommand, ui->pushButtonTerminalSend,
                                                           ui->pushButtonTerminalSaveScript,
                                                           ui->pushButtonTerminalScript,
                                                           ui->pushButtonTerminalReloadGui})
        widget->setEnabled(enabled);
}

void MainWindow::reinitGUI()
{
    applyModeLimits(false);
    setDeviceTabsEnabled(false);
    statusRefreshTimer.stop();
    ui->tabWidget->setCurrentWidget(ui->tabConfiguration);

    disconnectDeviceWidgets();

    ui->lineEditVersionsStatus->setText(QStringLiteral("Not connected"));
    linkState.clear();
    updateConnectionStatus();
    for (QLineEdit* field : {ui->lineEditStatusSerial, ui->lineEditVersionsDfrVersion, ui->lineEditVersionsMode,
                             ui->lineEditVersionsBootloaderVersion, ui->lineEditVersionsApplicationVersion,
                             ui->lineEditVersionsFpgaVersion, ui->lineEditStatusLatitude,
                             ui->lineEditStatusLongitude, ui->lineEditStatusDirection,
                             ui->lineEditStatusTemperature, ui->lineEditStatusVoltage,
                             ui->lineEditStatusOrvanBand})
        field->clear();
    ui->progressBarCharge->setValue(0);

    ui->checkBoxSetupSoftwareAudio->setChecked(false);
    ui->checkBoxSetupSoftwareBacklight->setChecked(false);
    ui->checkBoxSetupSoftwareGpsAcquisition->setChecked(false);
    ui->checkBoxSetupSoftwareAllToFavorites->setChecked(false);
    ui->horizontalSliderSetupSoftwareConstrast->setValue(0);
    ui->comboBoxSetupSoftwareCoordType->setCurrentIndex(0);
    ui->comboBoxSetupSoftwareDistType->setCurrentIndex(0);
    ui->comboBoxSetupSoftwareOrvanBand->setCurrentIndex(0);
    ui->spinBoxSetupSoftwareDirectionOffset->setValue(0);
    ui->widgetSoftwareSetupDateTime->setDateTime(Tarsk::Utils::DateTime());

    ui->comboBoxHardwareDirectionMode->setCurrentIndex(0);
    ui->comboBoxHardwareAntennaPosition->setCurrentIndex(0);
    ui->comboBoxHardwareAntennaMode->setCurrentIndex(0);
    ui->comboBoxHardwareCompassMode->setCurrentIndex(0);
    ui->spinBoxHardwareCableLength->setValue(0);
    ui->lineEditHardwareDeclination->clear();
    ui->checkBoxHardwareProximityMode->setChecked(false);

    platformsModel->clear();
    reinitGUIPlatformsInfo();
    gpsFormatsModel->clear();
    reinitGUIGpsFormatsInfo();

    ui->checkBoxRxLive->setChecked(true);
    ui->checkBoxRxLogFile->setChecked(false);
    ui->checkBoxFlashDumpToFile->setChecked(false);
    ui->checkBoxFlashCrcCheck->setChecked(true);
    ui->lineEditRxFilter->clear();
    // The messages table keeps its rows: a lost receiver must not take away what
    // was heard or read from it; the user clears the table when done with it.
}

} // namespace Vantrel::Ui
