// Status panel: versions, position, direction, temperature, battery and band.
#include "ui/MainWindow.h"

#include <QAction>
#include <cmath>

#include "ui_UiMainWindow.h"
#include "utils/EnumText.h"
#include "utils/OrvanBandsText.h"
#include "utils/Settings.h"

namespace Vantrel::Ui {

namespace {

struct ChargePoint
{
    double voltage;
    double charge;
};

// Discharge curve of the receiver's cell, by falling voltage.
constexpr ChargePoint chargeTable[] = {{4.2, 100}, {3.9, 80}, {3.7, 50}, {3.5, 20}, {3.2, 0}};

} // namespace

double estimateSOC(double voltage)
{
    constexpr int last = int(std::size(chargeTable)) - 1;
    if (voltage >= chargeTable[0].voltage) {
        return chargeTable[0].charge;
    }
    if (voltage <= chargeTable[last].voltage) {
        return chargeTable[last].charge;
    }
    for (int i = 0; i < last; ++i) {
        const ChargePoint& high = chargeTable[i];
        const ChargePoint& low = chargeTable[i + 1];
        if (low.voltage <= voltage) {
            const double charge =
                (low.charge - high.charge) * (voltage - high.voltage) / (low.voltage - high.voltage) + high.charge;
            // Decimal voltages are inexact in binary: 3.8 V would give 64.999..., which
            // the panel truncates to 64 instead of 65. Nine decimals are plenty.
            return std::round(charge * 1e9) / 1e9;
        }
    }
    return chargeTable[last].charge;
}

QString MainWindow::serialText(const Com::DfrLink::DfrVersionsAndStatus_t& status)
{
    return QStringLiteral("SN/%1-%2").arg(status.serialNumberPart1, status.serialNumberPart2);
}

void MainWindow::slotRefreshGuiInfos()
{
    const Com::DfrLink::DfrMode_t mode = getDfrVersionsAndStatus();
    applyModeLimits(mode == Com::DfrLink::DFR_BL);
    if (mode == Com::DfrLink::DFR_BL) {
        ui->pushButtonSwitchMode->setText(QStringLiteral("Switch back to standard mode..."));
        ui->pushButtonSwitchMode->setVisible(true);
        ui->pushButtonFirmwareUpdate->setVisible(true);
        return;
    }
    ui->pushButtonSwitchMode->setText(QStringLiteral("Switch to firmware update mode..."));
    ui->pushButtonFirmwareUpdate->setVisible(false);
    ui->pushButtonSwitchMode->setVisible(dfrLink.dfrVersion != Com::DfrLink::DFR_V1);
    getSetupSoftware();
    getSetupHardware();
    slotGetPlatformsInfo();
    slotGetGpsFormats();
}

void MainWindow::slotRefreshStatus()
{
    getDfrVersionsAndStatus();
}

void MainWindow::restartStatusRefresh()
{
    const int seconds = Utils::Settings::instance()->statusRefreshSeconds;
    if (!dfrLink.hasUartLink() || seconds <= 0) {
        statusRefreshTimer.stop();
        return;
    }
    statusRefreshTimer.start(seconds * 1000);
}

void MainWindow::refreshStatusWhenIdle()
{
    // A request on its way (or a script being recorded) keeps the link: the
    // panel waits for the next round rather than cutting in.
    if (!dfrLink.hasUartLink() || dfrLink.isBusy() || dfrLink.isNoSendCommandMode()) {
        return;
    }
    try {
        getDfrVersionsAndStatus();
    } catch (const Tarsk::Utils::Exception& failure) {
        reportFailure(failure, QStringLiteral("The status panel could not be refreshed."));
    }
}

Com::DfrLink::DfrMode_t MainWindow::getDfrVersionsAndStatus()
{
    const Com::DfrLink::DfrVersionsAndStatus_t status = dfrLink.getDfrVersionsAndStatus();
    shownStatus = status;

    const QString serial = serialText(status);
    const QString version = QStringLiteral("GONIO V%1").arg(qint32(status.dfrVersion));
    ui->lineEditStatusSerial->setText(serial);
    ui->lineEditVersionsDfrVersion->setText(version);
    ui->lineEditVersionsMode->setText(Utils::EnumText::name(status.mode));
    ui->lineEditVersionsBootloaderVersion->setText(status.bootloaderVersion);
    ui->lineEditVersionsApplicationVersion->setText(status.applicationVersion);
    ui->lineEditVersionsFpgaVersion->setText(status.fpgaVersion);

    if (status.gpsValid) {
        ui->lineEditStatusLatitude->setText(QString::number(status.latitude, 'g', 6));
        ui->lineEditStatusLongitude->setText(QString::number(status.longitude, 'g', 6));
    } else {
        ui->lineEditStatusLatitude->setText(QStringLiteral("INVALID"));
        ui->lineEditStatusLongitude->setText(QStringLiteral("INVALID"));
    }
    ui->widgetSoftwareSetupDateTime->setEnabled(!status.gpsValid);

    ui->lineEditStatusDirection->setText(status.directionValid ? QString::number(quint32(status.direction))
                                                               : QStringLiteral("INVALID"));
    // The bootloader measures nothing: the record's zeros would read as a flat battery.
    const bool measured = status.mode != Com::DfrLink::DFR_BL;
    const QString unknown = QStringLiteral("Unknown");
    ui->lineEditStatusTemperature->setText(measured ? QString::fromUtf8("%1°C (%2°F)")
                                                          .arg(quint32(status.temperature))
                                                          .arg(status.temperature * 9.0 / 5.0 + 32.0, 0, 'f', 1)
                                                    : unknown);
    ui->lineEditStatusVoltage->setText(
        measured ? QStringLiteral("%1V").arg(QString::number(status.voltage, 'g', -1)) : unknown);
    ui->progressBarCharge->setValue(measured ? int(estimateSOC(status.voltage)) : 0);
    ui->progressBarCharge->setFormat(measured ? QStringLiteral("%p%") : unknown);
    // A band beyond the known ones brings no text of its own.
    const int band = int(status.band);
    if (band >= 0 && band <= 9) {
        ui->lineEditStatusOrvanBand->setText(orvanBandsText.at(band));
    }

    if (QAction* action = portActions.value(dfrLink.portName())) {
        action->setText(QStringLiteral("%1 - %2 - %3").arg(dfrLink.portName(), version, serial));
    }
    return status.mode;
}

void MainWindow::connectStatusTab()
{
    connectDevice(ui->pushButtonStatusRefresh, &QPushButton::clicked, &MainWindow::slotRefreshStatus);
}

void MainWindow::resetStatusTab()
{
    ui->lineEditVersionsStatus->setText(QStringLiteral("Not connected"));
    for (QLineEdit* field : {ui->lineEditStatusSerial, ui->lineEditVersionsDfrVersion, ui->lineEditVersionsMode,
                             ui->lineEditVersionsBootloaderVersion, ui->lineEditVersionsApplicationVersion,
                             ui->lineEditVersionsFpgaVersion, ui->lineEditStatusLatitude,
                             ui->lineEditStatusLongitude, ui->lineEditStatusDirection,
                             ui->lineEditStatusTemperature, ui->lineEditStatusVoltage,
                             ui->lineEditStatusOrvanBand}) {
        field->clear();
    }
    ui->progressBarCharge->setValue(0);
    ui->progressBarCharge->setFormat(QStringLiteral("%p%"));
}

void MainWindow::adaptStatusTab(Com::DfrLink::DfrVersion_t generation)
{
    // The first generation measures no direction and knows no bands.
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->labelStatusDirection, ui->lineEditStatusDirection,
                                                           ui->labelStatusOrvanBand, ui->lineEditStatusOrvanBand}) {
        widget->setVisible(generation != Com::DfrLink::DFR_V1);
    }
}

} // namespace Vantrel::Ui
