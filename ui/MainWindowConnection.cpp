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
#include "ui/archive/ArchiveTab.h"
#include "ui/locate/LocateTab.h"
#include "ui/PlatformsTableModel.h"
#include "inhouse/LogNote.h"
#include "ui_UiMainWindow.h"
#include "utils/FilePlace.h"
#include "utils/FlashDumpInfo.h"
#include "utils/GpsFormat.h"

namespace Vantrel::Ui {

void MainWindow::slotDfrDetected(const QString& portName)
{
    QString label = portName;
    if (QSysInfo::productType() != QLatin1String("windows")) {
        // A simulated receiver may be offered under a path of its own, outside /dev.
        const QFileInfo device(portName.startsWith(QLatin1Char('/')) ? portName : QStringLiteral("/dev/") + portName);
        if (device.exists() && !device.isWritable()) {
            const QString group = device.group().isEmpty() ? QString::number(device.groupId()) : device.group();
            label = QStringLiteral("%1 (Warning: only root and users of %2 group can use this port)")
                        .arg(portName, group);
        }
    }

    auto* action = new QAction(this);
    portActions[portName] = action;
    action->setToolTip(QStringLiteral("Connect to DFR @%1").arg(portName));
    action->setIcon(QIcon(QStringLiteral(":/Icons/DFR")));
    action->setText(label);
    action->setCheckable(true);
    toolBar()->addAction(action);
    wire(action, &QAction::triggered, [this, portName](bool checked) { toggleConnection(checked, portName); });
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

    const QDir logDir(Utils::FilePlace::resolve(QStringLiteral("../Logs")));
    // The whole number: receivers whose numbers share their first part keep logs of their own.
    trafficLog.setFileName(QStringLiteral("%1/Log %2.txt")
                               .arg(logDir.absolutePath(), Utils::FlashDumpInfo::wholeSerialNumber(shownStatus)));
    logDir.mkpath(QStringLiteral("."));
    QDir(Utils::FilePlace::resolve(QStringLiteral("../FlashDumps"))).mkpath(QStringLiteral("."));

    adaptToGeneration(dfrLink.dfrVersion);

    updateConnectionStatus();
    showTabIfEnabled(pendingTab);
    restartStatusRefresh();
    qInfo().noquote() << "DFR configuration loaded!";
}

void MainWindow::connectDeviceWidgets()
{
    connectStatusTab();
    connectFirmwareTools();
    connectSetupTab();
    connectRxTab();
    connectFlashTools();
    connectPlatformsTab();
    connectGpsFormatsTab();
    connectTerminalTab();
    persistentWidgetsConnected = true;
}

void MainWindow::adaptToGeneration(Com::DfrLink::DfrVersion_t generation)
{
    adaptStatusTab(generation);
    adaptSetupTab(generation);
    adaptPlatformsTab(generation);
}

void MainWindow::reportEscapedFailure(const Tarsk::Utils::Exception& failure)
{
    // Word for word what the application says of a failure escaping an event,
    // noted as such so that an explained failure keeps it out of the status bar.
    const Tarsk::Utils::LogNote note(Tarsk::Utils::LogNote::NOTE_FAILURE);
    qCritical().noquote() << failure.message();
}

void MainWindow::disconnectDeviceWidgets()
{
    for (const QMetaObject::Connection& connection : std::as_const(deviceConnections)) {
        disconnect(connection);
    }
    deviceConnections.clear();
}

void MainWindow::slotDfrDisconnected(const QString& portName, const QString& message,
                                     Tarsk::Utils::Exception::Kind_t kind)
{
    if (!restartAttempt) {
        cancelRestartWait();
    }
    trafficLog.closeOnDisconnection(logGenerationText(), message);

    ui->tabWidget->setCurrentWidget(ui->tabConfiguration);
    // Released first: the link's own last words come before the explanation below.
    const bool linkFailed = sender() == &dfrLink;
    dfrLink.unsetUartLink();
    // A receiver still restarting is tried again: only the end of the wait is an error.
    if (linkFailed && !restartAttempt) {
        qCritical().noquote() << QStringLiteral("Error on %1 (%2). Please restart connection.").arg(portName, message);
    } else {
        qInfo().noquote() << QStringLiteral("Disconnection of %1 (%2).").arg(portName, message);
    }

    if (QAction* action = portActions.value(portName)) {
        action->setText(portName);
        action->setChecked(false);
        action->setIcon(QIcon(QStringLiteral(":/Icons/DFR")));
    }
    Utils::GpsFormat::instance()->resetCatalog();
    reinitGUI();
    // The request that opened the port fails next, in the link's words: the user is
    // told why, and that report goes to the log only.
    if (kind == Tarsk::Utils::Exception::KIND_PORT_IN_USE) {
        qCritical().noquote() << QStringLiteral("%1 is in use by another program: close the program that holds it, "
                                                "then connect again.")
                                     .arg(portName);
        failureExplained = true;
    }
}

void MainWindow::slotUpdateUartLinkStatus(const QString& statusString)
{
    linkState = statusString;
    updateConnectionStatus();
    if (dfrLink.portName().isEmpty()) {
        return;
    }
    QAction* action = portActions.value(dfrLink.portName());
    if (!action) {
        return;
    }
    if (statusString == QLatin1String("READY")) {
        action->setIcon(QIcon(QStringLiteral(":/Icons/dfrReady")));
    } else if (statusString == QLatin1String("ERROR")) {
        action->setIcon(QIcon(QStringLiteral(":/Icons/dfrError")));
    } else {
        action->setIcon(QIcon(QStringLiteral(":/Icons/dfrWaiting")));
    }
}

void MainWindow::setDeviceTabsEnabled(bool enabled)
{
    // Settings stays usable without a receiver; so does Terminal, where a lost
    // connection explains itself, and Messages, Locate and Archive, to look at
    // flash dumps and past messages, whose receiver widgets do not.
    for (int tab = 0; tab < ui->tabWidget->count(); ++tab) {
        QWidget* page = ui->tabWidget->widget(tab);
        if (page != ui->tabSettings && page != ui->tabRx && page != ui->tabTerminal && !qobject_cast<LocateTab*>(page) &&
            !qobject_cast<ArchiveTab*>(page)) {
            ui->tabWidget->setTabEnabled(tab, enabled);
        }
    }
    // The traffic log is the receiver's own: without one there is nothing to log to.
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->pushButtonRxFlashRead, ui->pushButtonRxFlashErase,
                                                           ui->checkBoxRxLive, ui->checkBoxRxLogFile}) {
        widget->setEnabled(enabled);
    }
    for (QWidget* widget : std::initializer_list<QWidget*>{ui->lineEditTerminalCommand, ui->pushButtonTerminalSend,
                                                           ui->pushButtonTerminalSaveScript,
                                                           ui->pushButtonTerminalScript,
                                                           ui->pushButtonTerminalReloadGui}) {
        widget->setEnabled(enabled);
    }
}

void MainWindow::reinitGUI()
{
    applyModeLimits(false);
    setDeviceTabsEnabled(false);
    statusRefreshTimer.stop();
    ui->tabWidget->setCurrentWidget(ui->tabConfiguration);

    disconnectDeviceWidgets();

    linkState.clear();
    updateConnectionStatus();
    resetStatusTab();
    resetSetupTab();
    resetPlatformsTab();
    resetGpsFormatsTab();
    resetRxTab();
}

} // namespace Vantrel::Ui
