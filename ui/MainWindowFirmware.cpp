// Mode switch and firmware update: progress and the backup
// taken before the receiver leaves its application.
#include "ui/MainWindow.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QVBoxLayout>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui_UiMainWindow.h"
#include "utils/FirmwareImage.h"

namespace Vantrel::Ui {

namespace {

using Tarsk::Utils::fail;
constexpr auto fileProblem = Tarsk::Utils::Exception::KIND_FILE;

QString durationText(qint64 ms)
{
    const qint64 seconds = (ms + 999) / 1000;
    return QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
}

} // namespace

void MainWindow::slotSwitchMode()
{
    if (!Dialogs::askYesNo(this, QStringLiteral("Switch mode?"),
                           QStringLiteral("Are you sure you want to switch to BL/APP mode?"))) {
        return;
    }

    // The receiver's settings do not survive a firmware update: keep them before it leaves its application.
    const Com::DfrLink::DfrVersionsAndStatus_t status = dfrLink.getDfrVersionsAndStatus();
    if (status.mode == Com::DfrLink::DFR_APP) {
        QString reason;
        try {
            const QString path =
                backupConfiguration(status.serialNumberPart1 + QLatin1Char('-') + status.serialNumberPart2);
            showSuccess(QStringLiteral("Configuration saved to %1").arg(path));
        } catch (const Tarsk::Utils::Exception& e) {
            // A lost link is not the backup's fault: nothing left to switch.
            if (!dfrLink.hasUartLink()) {
                throw;
            }
            reason = e.message();
        }
        if (!reason.isEmpty()) {
            qWarning().noquote() << QStringLiteral("Configuration backup failed: %1").arg(reason);
            if (!Dialogs::askYesNo(this, QStringLiteral("Switch mode?"),
                                   QStringLiteral("The configuration could not be saved before switching:\n%1\n\n"
                                                  "Without it the settings cannot be put back after a firmware "
                                                  "update. Switch to firmware update mode anyway?")
                                       .arg(reason))) {
                return;
            }
        }
    }

    dfrLink.switchMode();
    const QString port = dfrLink.portName();
    slotDfrDisconnected(port, QStringLiteral("Please reconnect to DFR"));
    if (status.mode == Com::DfrLink::DFR_APP || status.mode == Com::DfrLink::DFR_BL) {
        awaitRestart(port, status.mode == Com::DfrLink::DFR_APP ? Com::DfrLink::DFR_BL : Com::DfrLink::DFR_APP,
                     QString());
        }
}

QString MainWindow::backupConfiguration(const QString& serial)
{
    // The serial comes from the receiver: it must not steer the path.
    QString safeSerial = serial;
    safeSerial.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9_-]")), QStringLiteral("_"));
    const QString dirPath = backupsFolder();
    if (!QDir().mkpath(dirPath)) {
        fail(fileProblem, QStringLiteral("Unable to create the backup folder %1").arg(dirPath));
    }
    QString fileName =
        QStringLiteral("%1/config_%2_%3.dfr")
            .arg(dirPath, safeSerial, QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd_HHmmss")));
    saveConfiguration(fileName);
    return fileName;
}

void MainWindow::slotUpdateFirmware()
{
    const QString fileName = Dialogs::openFileName(this, QStringLiteral("Select DFR firmware (TAL format)"),
                                                   QStringLiteral("DFR firmware (*.tal);;All files (*)"));
    if (fileName.isEmpty()) {
        return;
    }

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly)) {
        fail(fileProblem, QStringLiteral("Unable to open DFR firmware file %1").arg(fileName));
    }
    const Utils::FirmwareImage image = Utils::FirmwareImage::read(file.readAll(), fileName, dfrLink.dfrVersion);
    file.close();
    const QString& firmwareVersion = image.firmwareVersion;
    const QList<QByteArray>& pieces = image.lines;

    if (!Dialogs::askYesNo(this, QStringLiteral("Update firmware?"),
                           QStringLiteral("Are you sure you want to update firmware to %1? This will delete ALL "
                                          "your data.")
                               .arg(firmwareVersion))) {
        return;
    }

    // Not a QProgressDialog: its modal setValue() runs the event loop with user
    // input, which would let a click start a second operation mid-upload. This one
    // is painted by the request engine's wait, which handles everything but input;
    // window modality keeps that input from the main window once it is delivered.
    QDialog progress(this, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    progress.setObjectName(QStringLiteral("firmwareProgressDialog"));
    progress.setWindowTitle(QStringLiteral("Updating firmware"));
    progress.setWindowModality(Qt::WindowModal);
    auto* layout = new QVBoxLayout(&progress);
    auto* warning = new QLabel(QStringLiteral("Do not unplug or switch off the receiver: stopping the upload "
                                              "halfway would leave it without an application."),
                               &progress);
    warning->setWordWrap(true);
    auto* state = new QLabel(&progress);
    state->setObjectName(QStringLiteral("firmwareProgressText"));
    auto* bar = new QProgressBar(&progress);
    bar->setRange(0, int(pieces.size()));
    layout->addWidget(warning);
    layout->addWidget(state);
    layout->addWidget(bar);
    state->setText(QStringLiteral("Unlocking and erasing..."));
    progress.show();

    QElapsedTimer elapsed;
    elapsed.start();
    const QMetaObject::Connection tracking = connect(
        &dfrLink, &Com::DfrLink::sigFirmwareProgress, &progress, [&](int done, int total) {
            // Timed from the first line on: erasing takes a while of its own.
            if (done == 1) {
                elapsed.restart();
            }
            const QString left = done > 1 ? durationText(elapsed.elapsed() * (total - done) / (done - 1))
                                          : QStringLiteral("--:--");
            bar->setValue(done);
            state->setText(QStringLiteral("Line %1 of %2 (%3%), time left %4")
                               .arg(done)
                               .arg(total)
                               .arg(qint64(done) * 100 / qMax(total, 1))
                               .arg(left));
        });
    const auto untrack = qScopeGuard([tracking] { QObject::disconnect(tracking); });

    dfrLink.updateFirmware(pieces);
    progress.close();
    const QString port = dfrLink.portName();
    slotDfrDisconnected(port, QStringLiteral("Please reconnect to DFR"));
    awaitRestart(port, Com::DfrLink::DFR_APP, firmwareVersion);
}

void MainWindow::connectFirmwareTools()
{
    connectDevice(ui->pushButtonSwitchMode, &QPushButton::clicked, &MainWindow::slotSwitchMode);
    connectDevice(ui->pushButtonFirmwareUpdate, &QPushButton::clicked, &MainWindow::slotUpdateFirmware);
}

} // namespace Vantrel::Ui
