// Connection lifecycle: the disconnected state of the form.
#include "ui/MainWindow.h"

#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

void MainWindow::reinitGUI()
{
    for (int tab = 0; tab <= 4; ++tab)
        ui->tabWidget->setTabEnabled(tab, false);
    ui->tabWidget->setCurrentIndex(0);

    for (QWidget* widget : std::initializer_list<QWidget*>{ui->lineEditTerminalCommand, ui->pushButtonTerminalSend,
                                                           ui->pushButtonTerminalSaveScript,
                                                           ui->pushButtonTerminalScript,
                                                           ui->pushButtonTerminalReloadGui})
        widget->setEnabled(false);

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
