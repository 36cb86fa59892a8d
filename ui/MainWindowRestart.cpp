// Bootloader mode and restarts: what the bootloader leaves usable, and the
// reconnection after a mode switch or a firmware update.
#include "ui/MainWindow.h"

#include <QAction>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>

#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

namespace {
constexpr int restartPollMs = 500;
}

QString MainWindow::modeText(Com::DfrLink::DfrMode_t mode)
{
    return mode == Com::DfrLink::DFR_BL ? QStringLiteral("bootloader") : QStringLiteral("standard");
}

void MainWindow::applyModeLimits(bool bootloader)
{
    if (!bootloaderNotice) {
        bootloaderNotice = new QLabel(
            QStringLiteral("The receiver is in bootloader mode: only the firmware update, the terminal and the "
                           "switch back to standard mode work here. Its setup, favourite platforms, GPS formats "
                           "and flash memory come back in standard mode."),
            ui->tabConfiguration);
        bootloaderNotice->setObjectName(QStringLiteral("labelBootloaderMode"));
        bootloaderNotice->setWordWrap(true);
        bootloaderNotice->setStyleSheet(
            QStringLiteral("QLabel { background: #ffecb3; color: #5a4000; padding: 6px; border-radius: 3px; }"));
        ui->verticalLayout_2->insertWidget(0, bootloaderNotice);
    }
    bootloaderNotice->setVisible(bootloader);

    // Left enabled, these would show defaults that are not the receiver's, and an
    // edit would write them over its settings once it is back in its application.
    for (QWidget* widget : std::initializer_list<QWidget*>{
             ui->groupBox, ui->groupBox_4, ui->pushButtonRxFlashRead, ui->pushButtonRxFlashErase,
             ui->checkBoxRxLive, ui->pushButtonTerminalSaveScript}) {
        widget->setEnabled(!bootloader);
    }
    for (QWidget* page : {ui->tabPlatorms, ui->tabFormats}) {
        const int index = ui->tabWidget->indexOf(page);
        ui->tabWidget->setTabEnabled(index, !bootloader);
        ui->tabWidget->setTabToolTip(index, bootloader ? QStringLiteral("Not available in bootloader mode")
                                                       : QString());
    }
    if (bootloader) {
        qInfo().noquote() << bootloaderNotice->text();
    }
}

QString MainWindow::restartWaitText() const
{
    return QStringLiteral("Waiting for %1 to restart in %2 mode...").arg(restartWait.port, modeText(restartWait.mode));
}

void MainWindow::awaitRestart(const QString& port, Com::DfrLink::DfrMode_t mode, const QString& firmwareVersion)
{
    if (port.isEmpty()) {
        return;
    }
    restartWait = {port, mode, firmwareVersion, serialText(shownStatus), {}};
    restartWait.since.start();
    if (!restartTimer) {
        restartTimer = new QTimer(this);
        restartTimer->setInterval(restartPollMs);
        wire(restartTimer, &QTimer::timeout, &MainWindow::pollRestart);
    }
    restartTimer->start();
    qInfo().noquote() << restartWaitText();
    updateConnectionStatus();
}

void MainWindow::cancelRestartWait()
{
    if (restartWait.port.isEmpty()) {
        return;
    }
    restartWait = {};
    restartTimer->stop();
    updateConnectionStatus();
}

void MainWindow::pollRestart()
{
    // An attempt waits for the receiver's replies: this timer fires meanwhile.
    if (restartWait.port.isEmpty() || restartAttempt) {
        return;
    }
    if (restartWait.since.hasExpired(restartWaitMs)) {
        const RestartWait_t awaited = restartWait;
        cancelRestartWait();
        qWarning().noquote() << QStringLiteral("%1 did not come back in %2 mode within %3 s: connect it from the "
                                               "tool bar once it is there again.")
                                    .arg(awaited.port, modeText(awaited.mode))
                                    .arg(restartWaitMs / 1000);
        return;
    }
    QAction* action = portActions.value(restartWait.port);
    // Not there: it left the bus to restart, and the port scan brings it back.
    if (!restartWait.since.hasExpired(restartSettleMs) || !action || dfrLink.hasUartLink()) {
        return;
    }

    const RestartWait_t awaited = restartWait;
    restartAttempt = true;
    bool back = false;
    try {
        action->setChecked(true);
        slotDfrConnected(awaited.port);
        back = dfrLink.hasUartLink();
    } catch (const Tarsk::Utils::Exception& e) {
        qDebug().noquote() << QStringLiteral("%1 does not answer yet: %2").arg(awaited.port, e.message());
    }
    restartAttempt = false;
    // The user chose another receiver meanwhile.
    if (restartWait.port != awaited.port) {
        return;
    }
    if (!back) {
        if (dfrLink.hasUartLink()) {
            restartAttempt = true;
            slotDfrDisconnected(awaited.port, QStringLiteral("not answering yet"));
            restartAttempt = false;
        }
        updateConnectionStatus();
        return;
    }
    cancelRestartWait();
    reportRestart(awaited);
}

void MainWindow::reportRestart(const RestartWait_t& awaited)
{
    // Another receiver plugged into the same port meanwhile is connected as itself, not as the one that left.
    const QString serial = serialText(shownStatus);
    const QString unknown = QStringLiteral("UNKNOWN");
    if (serial != awaited.serial && !serial.contains(unknown) && !awaited.serial.contains(unknown)) {
        qWarning().noquote() << QStringLiteral("A different receiver, %1, came back on %2 in place of %3: it is "
                                               "connected as itself.")
                                    .arg(serial, awaited.port, awaited.serial);
        return;
    }
    const Com::DfrLink::DfrMode_t mode = shownStatus.mode;
    if (awaited.firmwareVersion.isEmpty()) {
        if (mode == awaited.mode) {
            showSuccess(QStringLiteral("%1 is back in %2 mode").arg(awaited.port, modeText(mode)));
        } else {
            qWarning().noquote() << QStringLiteral("%1 came back in %2 mode, not in %3 mode")
                                        .arg(awaited.port, modeText(mode), modeText(awaited.mode));
            }
        return;
    }
    // What the receiver reports is the truth, whatever its bootloader answered during the upload.
    if (mode != Com::DfrLink::DFR_APP) {
        qWarning().noquote() << QStringLiteral("The receiver is still in bootloader mode after the update to %1: "
                                               "the new firmware does not start")
                                    .arg(awaited.firmwareVersion);
    } else if (shownStatus.applicationVersion.trimmed() == awaited.firmwareVersion.trimmed()) {
        showSuccess(QStringLiteral("Firmware updated to %1").arg(awaited.firmwareVersion));
    } else {
        qWarning().noquote() << QStringLiteral("The receiver still reports version %1 after the update to %2")
                                    .arg(shownStatus.applicationVersion, awaited.firmwareVersion);
        }
}

} // namespace Vantrel::Ui
