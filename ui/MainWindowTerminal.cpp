// Terminal tab: its title warns of log rows above INFO that the user has not seen.
#include "ui/MainWindow.h"

#include <QCompleter>
#include <QKeyEvent>
#include <QMetaEnum>
#include <QTabBar>
#include <QTableWidget>

#include "inhouse/Exception.h"
#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

void MainWindow::slotTerminalContentAdded(QTableWidgetItem* item)
{
    if (!item || ui->tabWidget->currentWidget() == ui->tabTerminal || !item->tableWidget() || item->column() != 1) {
        return;
    }
    const QString type = item->text().trimmed();
    if (type != QLatin1String("INFO") && type != QLatin1String("DEBUG")) {
        terminalHasNewContent = true;
        updateTerminalTabAppearance();
    }
}

void MainWindow::slotTabChanged(int index)
{
    if (index == ui->tabWidget->indexOf(ui->tabTerminal) && terminalHasNewContent) {
        terminalHasNewContent = false;
        updateTerminalTabAppearance();
    }
}

void MainWindow::updateTerminalTabAppearance()
{
    const int terminalTab = ui->tabWidget->indexOf(ui->tabTerminal);
    ui->tabWidget->setTabText(terminalTab,
                              terminalHasNewContent ? QStringLiteral("Terminal *") : QStringLiteral("Terminal"));
    ui->tabWidget->tabBar()->setTabTextColor(terminalTab, terminalHasNewContent ? Qt::red : Qt::black);
}

void MainWindow::slotSendManualDfrCmd()
{
    const QString command = ui->lineEditTerminalCommand->text();
    // A command sent again moves to the end instead of filling the history with copies.
    if (!command.trimmed().isEmpty()) {
        terminalHistory.removeAll(command);
        terminalHistory.append(command);
    }
    terminalHistoryPosition = terminalHistory.size();
    terminalDraft.clear();
    // The line stays as typed, so that it can be corrected and sent again.
    const QString shown = command.trimmed();
    try {
        const std::optional<QStringList> values = dfrLink.sendManualDfrCmd(command);
        // The values as the receiver sent them, so that they can be read against its documentation.
        if (values && values->isEmpty()) {
            showSuccess(QStringLiteral("The receiver answered %1.").arg(shown));
        } else if (values) {
            showSuccess(QStringLiteral("The receiver answered %1: %2.").arg(shown, values->join(QLatin1Char(','))));
        } else {
            qWarning().noquote() << QStringLiteral("%1 is not a command the receiver knows: it was sent as typed, "
                                                   "without waiting for an answer.")
                                        .arg(shown.isEmpty() ? QStringLiteral("An empty line") : shown);
        }
    } catch (const Tarsk::Utils::Exception& failure) {
        explainFailure(failure, failureInWords(failure, shown));
        throw;
    }
}

void MainWindow::setupTerminalHabits()
{
    QLineEdit* line = ui->lineEditTerminalCommand;
    if (line->completer()) {
        return;
    }
    // Each mnemonic with and without its "$": the completer matches on the prefix typed.
    QStringList mnemonics;
    const QMetaEnum commands = QMetaEnum::fromType<Com::DfrLink::DfrCmd_t>();
    for (int i = 0; i < commands.keyCount(); ++i) {
        if (commands.value(i) == Com::DfrLink::CMD_KEEPALIVE_INTERNAL) {
            continue;
        }
        const QString mnemonic = QString::fromLatin1(commands.key(i)).mid(4);
        mnemonics << mnemonic << QLatin1Char('$') + mnemonic;
    }
    auto* completer = new QCompleter(mnemonics, line);
    completer->setCaseSensitivity(Qt::CaseInsensitive);
    line->setCompleter(completer);
    line->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != ui->lineEditTerminalCommand || event->type() != QEvent::KeyPress) {
        return Tarsk::Ui::MainWindow::eventFilter(watched, event);
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Up && key != Qt::Key_Down) {
        return Tarsk::Ui::MainWindow::eventFilter(watched, event);
    }

    if (terminalHistoryPosition == terminalHistory.size()) {
        terminalDraft = ui->lineEditTerminalCommand->text();
    }
    if (key == Qt::Key_Up && terminalHistoryPosition > 0) {
        --terminalHistoryPosition;
    } else if (key == Qt::Key_Down && terminalHistoryPosition < terminalHistory.size()) {
        ++terminalHistoryPosition;
    }
    ui->lineEditTerminalCommand->setText(terminalHistoryPosition < terminalHistory.size()
                                             ? terminalHistory.at(terminalHistoryPosition)
                                             : terminalDraft);
    return true;
}

void MainWindow::connectTerminalTab()
{
    setupTerminalHabits();
    connectDevice(ui->lineEditTerminalCommand, &QLineEdit::returnPressed, &MainWindow::slotSendManualDfrCmd);
    connectDevice(ui->pushButtonTerminalSend, &QPushButton::clicked, &MainWindow::slotSendManualDfrCmd);
    connectDevice(ui->pushButtonTerminalSaveScript, &QPushButton::clicked, &MainWindow::slotTerminalSaveScript);
    connectDevice(ui->pushButtonTerminalScript, &QPushButton::clicked, &MainWindow::slotTerminalScript);
    connectDevice(ui->pushButtonTerminalReloadGui, &QPushButton::clicked, &MainWindow::slotRefreshGuiInfos);
}

} // namespace Vantrel::Ui
