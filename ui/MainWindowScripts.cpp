// Configuration scripts: recording the receiver's configuration as frames and replaying script files.
#include "ui/MainWindow.h"

#include <QDir>
#include <QSaveFile>
#include <QScopeGuard>
#include <QTableView>
#include <QTextStream>

#include "inhouse/Exception.h"
#include "ui/Dialogs.h"
#include "ui_UiMainWindow.h"
#include "utils/FilePlace.h"

namespace Vantrel::Ui {

namespace {

const QString scriptTitle = QStringLiteral("Select DFR Script");
const QString scriptFilter = QStringLiteral("DFR Script Files (*.dfr *.txt);;All files (*)");
// The confirmation lists this many commands at most; a longer script ends with a count.
constexpr qsizetype listedCommands = 30;

using Tarsk::Utils::fail;
constexpr auto fileProblem = Tarsk::Utils::Exception::KIND_FILE;

} // namespace

QString MainWindow::backupsFolder()
{
    return Utils::FilePlace::resolve(QStringLiteral("../Backups"));
}

QStringList MainWindow::recordConfiguration()
{
    dfrLink.startNoSendCommandMode();
    // Whatever throws below, the link must not stay recording.
    auto stopRecording = qScopeGuard([this] { dfrLink.stopNoSendCommandMode(); });

    slotSetSetupSoftware();
    slotSetSetupHardware();
    for (quint32 slot = 0; slot < dfrLink.nbIpSlots(); ++slot) {
        const Com::DfrLink::PlatformInfo_t info = dfrLink.getPlatformInfo(slot);
        if (info.occupied) {
            dfrLink.setPlatformInfo(info, false);
        }
    }
    for (quint32 slot = 0; slot < dfrLink.nbGpsFormatSlots(); ++slot) {
        const Com::DfrLink::GpsFormatInfo_t info = dfrLink.getGpsFormatInfo(slot);
        if (info.occupied) {
            dfrLink.setGpsFormatInfo(info);
        }
    }

    stopRecording.dismiss();
    return dfrLink.stopNoSendCommandMode();
}

void MainWindow::saveConfiguration(const QString& fileName)
{
    // The previous file is replaced only by a complete new one.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        fail(fileProblem, QStringLiteral("Unable to open DFR script file %1").arg(fileName));
    }

    const QStringList frames = recordConfiguration();
    ui->tableWidgetPlatforms->setCurrentIndex(ui->tableWidgetPlatforms->model()->index(0, 0));

    for (const QString& frame : frames) {
        file.write((frame + QLatin1Char('\n')).toUtf8());
    }
    if (!file.commit()) {
        fail(fileProblem, QStringLiteral("Unable to write DFR script file %1 (%2)").arg(fileName, file.errorString()));
    }
}

void MainWindow::slotTerminalSaveScript()
{
    const QString fileName = Dialogs::saveFileName(this, scriptTitle, scriptFilter, backupsFolder(), QString(),
                                                   offeredFileName(QStringLiteral("config"), QStringLiteral("dfr")));
    if (fileName.isEmpty()) {
        return;
    }
    saveConfiguration(fileName);
    qInfo().noquote() << QStringLiteral("Configuration saved to %1").arg(fileName);
}

void MainWindow::slotTerminalScript()
{
    const QString fileName = Dialogs::openFileName(this, scriptTitle, scriptFilter, backupsFolder());
    if (fileName.isEmpty()) {
        return;
    }

    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        fail(fileProblem, QStringLiteral("Unable to DFR script file %1").arg(fileName));
    }
    QStringList commands;
    QTextStream stream(&file);
    QString line;
    while (stream.readLineInto(&line)) {
        line = line.trimmed();
        if (line.startsWith(QLatin1Char('$'))) {
            commands.append(line);
        }
    }
    file.close();

    if (commands.isEmpty()) {
        qWarning().noquote() << QStringLiteral("Script %1 holds no command (lines starting with \"$\").").arg(fileName);
        return;
    }
    QStringList listed = commands.mid(0, listedCommands);
    if (commands.size() > listedCommands) {
        listed.append(QStringLiteral("... and %1 more").arg(commands.size() - listedCommands));
    }
    if (!Dialogs::askYesNo(this, QStringLiteral("Execute script?"),
                           QStringLiteral("%1 will send %2 command(s) to the receiver:\n\n%3\n\nSend them now?")
                               .arg(fileName)
                               .arg(commands.size())
                               .arg(listed.join(QLatin1Char('\n'))))) {
        return;
    }

    // A failing command ends the script there. Whatever the script changed, the
    // forms are read again, so that the next edit never writes old values back.
    qsizetype sent = 0;
    try {
        for (const QString& command : std::as_const(commands)) {
            dfrLink.sendManualDfrCmd(command);
            ++sent;
        }
    } catch (const Tarsk::Utils::Exception& failure) {
        const QString command = QStringLiteral("command %1 of %2 (%3)").arg(sent + 1).arg(commands.size()).arg(commands.at(sent));
        // A refusal leaves the link up: show what the receiver holds now.
        if (isRefusal(failure) && sent > 0) {
            slotRefreshGuiInfos();
        }
        explainFailure(failure, failureInWords(failure, command)
                                    + QStringLiteral(" The script stopped there; %1 command(s) before it were sent.").arg(sent));
        throw;
    }
    slotRefreshGuiInfos();
    showSuccess(QStringLiteral("Script %1: %2 command(s) sent.").arg(fileName).arg(commands.size()));
}

} // namespace Vantrel::Ui
