// Connection lifecycle: tool bar actions per receiver, connecting, disconnecting
// and the disconnected state of the form.
#include "ui/MainWindow.h"

#include <QAction>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>
#include <QToolBar>

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
    if (dfrLink.portName() == portName)
        slotDfrDisconnected(portName, QStringLiteral("DFR disconnected"));
    if (QAction* action = portActions.take(portName))
        toolBar()->removeAction(action);
}

void MainWindow::toggleConnection(bool checked, const QString& portName)
{
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
    ui->tabWidget->setCurrentIndex(0);
    qInfo().noquote() << QStringLiteral("Connection of a DFR on %1.").arg(portName);
    qInfo().noquote() << "Loading configuration...";

    dfrLink.setUartLink(portName);

    setDeviceTabsEnabled(true);

    connectDeviceWidgets();

    ui->lineEditVersionsStatus->setText(
        QStringLiteral("Connected at %1").arg(QDateTime::currentDateTimeUtc().toString("yyyy-MM-ddThh:mm:ss")));

    slotRefreshGuiInfos();

    const QDir appDir(QCoreApplication::applicationDirPath());
    const QDir logDir(appDir.absoluteFilePath(QStringLiteral("../Logs")));
    logFile.setFileName(QStringLiteral("%1/Log %2.txt").arg(logDir.absolutePath(), dfrLink.serialNumber));
    logDir.mkpath(QStringLiteral("."));
    QDir(appDir.absoluteFilePath(QStringLiteral("../FlashDumps"))).mkpath(QStringLiteral("."));

    const bool v1 = dfrLink.dfrVersion == Com::DfrLink::DFR_V1;
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui->labelStatusDirection, ui->lineEditStatusDirection, ui->labelStatusOrvanBand,
             ui->lineEditStatusOrvanBand, ui->labelPlatformsOrvanBand, ui->comboBoxPlatformsOrvanBand,
             ui->labelPlatformsModulation, ui->comboBoxPlatformsModulation, ui->checkBoxPlatformNarrowEnabled,
             ui->doubleSpinBoxPlatformsNarrowFrequency, ui->checkBoxHardwareProximityMode})
        widget->setVisible(!v1);
    ui->labelPlatformsMeanDirection->setVisible(v1);
    ui->spinBoxPlatformsMeanDirectionValue->setVisible(v1);

    qInfo().noquote() << "DFR configuration loaded!";
}

void MainWindow::connectDeviceWidgets()
{
    // Connected again at every connection: UniqueConnection keeps the widgets
    // that stay wired while disconnected from delivering twice.
    constexpr auto unique = Qt::UniqueConnection;
    connect(ui->pushButtonStatusRefresh, &QPushButton::clicked, this, &MainWindow::slotRefreshStatus, unique);

    for (QCheckBox* box : {ui->checkBoxSetupSoftwareAudio, ui->checkBoxSetupSoftwareBacklight,
                           ui->checkBoxSetupSoftwareGpsAcquisition, ui->checkBoxSetupSoftwareAllToFavorites})
        connect(box, &QCheckBox::toggled, this, &MainWindow::slotSetSetupSoftware, unique);
    connect(ui->horizontalSliderSetupSoftwareConstrast, &QSlider::valueChanged, this,
            &MainWindow::slotSetSetupSoftware, unique);
    for (QComboBox* box : {ui->comboBoxSetupSoftwareCoordType, ui->comboBoxSetupSoftwareDistType,
                           ui->comboBoxSetupSoftwareOrvanBand})
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this, &MainWindow::slotSetSetupSoftware,
                unique);
    connect(ui->spinBoxSetupSoftwareDirectionOffset, &QSpinBox::editingFinished, this,
            &MainWindow::slotSetSetupSoftware, unique);
    connect(ui->widgetSoftwareSetupDateTime, SIGNAL(sigDateTimeChanged()), this, SLOT(slotSetTime()), unique);

    for (QComboBox* box : {ui->comboBoxHardwareDirectionMode, ui->comboBoxHardwareAntennaMode,
                           ui->comboBoxHardwareAntennaPosition, ui->comboBoxHardwareCompassMode})
        connect(box, qOverload<int>(&QComboBox::currentIndexChanged), this, &MainWindow::slotSetSetupHardware,
                unique);
    connect(ui->spinBoxHardwareCableLength, &QSpinBox::editingFinished, this, &MainWindow::slotSetSetupHardware,
            unique);
    connect(ui->lineEditHardwareDeclination, &QLineEdit::editingFinished, this, &MainWindow::slotSetSetupHardware,
            unique);
    connect(ui->checkBoxHardwareProximityMode, &QCheckBox::toggled, this, &MainWindow::slotSetSetupHardware, unique);

    connect(ui->checkBoxRxLive, &QCheckBox::toggled, this, &MainWindow::slotSetLiveRxEnabled, unique);
    connect(ui->checkBoxRxLogFile, &QCheckBox::toggled, this, &MainWindow::slotSetLogFileEnabled, unique);
    connect(ui->lineEditRxFilter, &QLineEdit::textEdited, this, &MainWindow::slotFilterRxTable, unique);
    connect(ui->pushButtonRxClearFilter, &QPushButton::clicked, this, &MainWindow::slotClearRxFilter, unique);
    connect(ui->pushButtonRxClearSelection, &QPushButton::clicked, this, &MainWindow::slotClearSelectionRxTable,
            unique);
    connect(ui->pushButtonRxClearTable, &QPushButton::clicked, this, &MainWindow::slotClearRxTable, unique);
    connect(ui->pushButtonRxExportCSV, &QPushButton::clicked, this, &MainWindow::slotExportRxTable, unique);
    connect(ui->tableWidgetRx, &QTableWidget::customContextMenuRequested, this,
            &MainWindow::slotShowRxTableContextMenu, unique);

    connect(ui->checkBoxFlashDumpToFile, &QCheckBox::toggled, this, &MainWindow::slotSetFlashDumpEnabled, unique);
    connect(ui->checkBoxFlashCrcCheck, &QCheckBox::toggled, this, &MainWindow::slotSetFlashCrcCheckEnabled, unique);

    connect(ui->pushButtonPlatformsUpdate, &QPushButton::clicked, this, &MainWindow::slotGetPlatformsInfo, unique);
    connect(ui->checkBoxHideEmptySlots, &QCheckBox::toggled, this, &MainWindow::slotToggleEmptySlots, unique);

    connect(ui->pushButtonTerminalReloadGui, &QPushButton::clicked, this, &MainWindow::slotRefreshGuiInfos, unique);
}

void MainWindow::slotDfrDisconnected(const QString& portName, const QString& message)
{
    if (logFile.isOpen()) {
        writeLogFileEvent(QStringLiteral(" : USB disconnection from %1 (%2)").arg(logGenerationText(), message));
        logFile.close();
    }

    ui->tabWidget->setCurrentIndex(0);
    if (sender() == &dfrLink)
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
    // The Settings tab (5) stays usable without a receiver.
    for (int tab = 0; tab <= 4; ++tab)
        ui->tabWidget->setTabEnabled(tab, enabled);
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->lineEditTerminalCommand, ui->pushButtonTerminalSend,
                                                           ui->pushButtonTerminalSaveScript,
                                                           ui->pushButtonTerminalScript,
                                                           ui->pushButtonTerminalReloadGui})
        widget->setEnabled(enabled);
}

void MainWindow::reinitGUI()
{
    setDeviceTabsEnabled(false);
    ui->tabWidget->setCurrentIndex(0);

    // Widgets whose connections live only while a receiver is connected.
    const QList<QObject*> connectedWidgets = {
        ui->pushButtonSwitchMode, ui->pushButtonFirmwareUpdate, ui->pushButtonStatusRefresh,
        ui->checkBoxSetupSoftwareAudio, ui->checkBoxSetupSoftwareBacklight,
        ui->horizontalSliderSetupSoftwareConstrast, ui->checkBoxSetupSoftwareGpsAcquisition,
        ui->comboBoxSetupSoftwareCoordType, ui->comboBoxSetupSoftwareDistType,
        ui->spinBoxSetupSoftwareDirectionOffset, ui->widgetSoftwareSetupDateTime,
        ui->comboBoxSetupSoftwareOrvanBand, ui->checkBoxSetupSoftwareAllToFavorites,
        ui->comboBoxHardwareDirectionMode, ui->spinBoxHardwareCableLength, ui->comboBoxHardwareAntennaMode,
        ui->comboBoxHardwareAntennaPosition, ui->comboBoxHardwareCompassMode, ui->lineEditHardwareDeclination,
        ui->checkBoxHardwareProximityMode, ui->pushButtonPlatformsUpdate, ui->pushButtonPlatformsImport,
        ui->pushButtonPlatformsExport, ui->pushButtonPlatformsDeleteAll, ui->pushButtonNewFavorite,
        ui->tableWidgetPlatforms, ui->lineEditPlatformsOrvanId, ui->pushButtonPlatformsCreate,
        ui->pushButtonPlatformsDelete, ui->lineEditPlatformsLabel, ui->comboBoxPlatformsOrvanBand,
        ui->comboBoxPlatformsModulation, ui->checkBoxPlatformNarrowEnabled,
        ui->doubleSpinBoxPlatformsNarrowFrequency, ui->spinBoxPlatformsMeanDirectionValue,
        ui->spinBoxPlatformsRepetitionPeriod, ui->checkBoxGpsModeEnabled, ui->widgetGpsFormatPlatform,
        ui->pushButtonGpsFormatsReload, ui->tableWidgetGpsFormats, ui->pushButtonGpsFormatsCreate,
        ui->pushButtonGpsFormatsDelete, ui->checkBoxRxLive, ui->lineEditRxFilter, ui->pushButtonRxClearFilter,
        ui->pushButtonRxClearSelection, ui->pushButtonRxClearTable, ui->pushButtonRxExportCSV,
        ui->pushButtonRxFlashRead, ui->pushButtonRxFlashErase, ui->lineEditTerminalCommand,
        ui->pushButtonTerminalSend, ui->pushButtonTerminalSaveScript, ui->pushButtonTerminalScript,
        ui->pushButtonTerminalReloadGui,
    };
    for (QObject* widget : connectedWidgets)
        QObject::disconnect(widget, nullptr, nullptr, nullptr);

    ui->lineEditVersionsStatus->setText(QStringLiteral("Not connected"));
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

    ui->tableWidgetPlatforms->setRowCount(0);
    ui->tableWidgetGpsFormats->setRowCount(0);

    ui->checkBoxRxLive->setChecked(true);
    ui->checkBoxRxLogFile->setChecked(false);
    ui->checkBoxFlashDumpToFile->setChecked(false);
    ui->checkBoxFlashCrcCheck->setChecked(true);
    ui->lineEditRxFilter->clear();
    ui->tableWidgetRx->setRowCount(0);
}

} // namespace Vantrel::Ui
