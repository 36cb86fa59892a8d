// Status bar: the latest warning or error, visible whatever tab is shown, and the
// state of the connection.
#include "ui/MainWindow.h"

#include <QDateTime>
#include <QLabel>
#include <QMap>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <utility>

#include "ui/SessionMessages.h"
#include "ui_UiMainWindow.h"
#include "utils/GenerationText.h"

namespace Vantrel::Ui {

namespace {
constexpr int waitingShownAfterMs = 400;
constexpr int successShownMs = 6000;
} // namespace

void MainWindow::setupStatusBar()
{
    QStatusBar* bar = statusBar();
    bar->setSizeGripEnabled(true);

    statusMessage = new QToolButton(bar);
    statusMessage->setObjectName(QStringLiteral("statusBarMessage"));
    statusMessage->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    statusMessage->setAutoRaise(true);
    // A long message must never widen the window: it is cut to the room there is.
    statusMessage->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusMessage->setMinimumWidth(1);
    statusMessage->setCursor(Qt::PointingHandCursor);

    statusDismiss = new QToolButton(bar);
    statusDismiss->setObjectName(QStringLiteral("statusBarDismiss"));
    statusDismiss->setText(QString::fromUtf8("✕"));
    statusDismiss->setToolTip(QStringLiteral("Dismiss this message"));
    statusDismiss->setAutoRaise(true);

    // Every message said here stays one click away, whole, for the rest of the run.
    sessionMessages = new SessionMessages(this);
    statusHistory = new QToolButton(bar);
    statusHistory->setObjectName(QStringLiteral("statusBarHistory"));
    statusHistory->setIcon(QIcon::fromTheme(QStringLiteral("view-list-details"),
                                            style()->standardIcon(QStyle::SP_FileDialogDetailedView)));
    statusHistory->setToolTip(QStringLiteral("Messages of this session"));
    statusHistory->setAutoRaise(true);
    connect(statusHistory, &QToolButton::clicked, this, [this] {
        sessionMessages->show();
        sessionMessages->raise();
        sessionMessages->activateWindow();
    });

    statusLinkIcon = new QLabel(bar);
    statusConnection = new QLabel(bar);
    statusConnection->setObjectName(QStringLiteral("statusBarConnection"));

    bar->addWidget(statusMessage, 1);
    bar->addWidget(statusDismiss);
    bar->addPermanentWidget(statusHistory);
    bar->addPermanentWidget(statusLinkIcon);
    bar->addPermanentWidget(statusConnection);

    connect(statusMessage, &QToolButton::clicked, this, [this] { ui->tabWidget->setCurrentWidget(ui->tabTerminal); });
    connect(statusDismiss, &QToolButton::clicked, this, &MainWindow::clearStatusMessage);
    // Runs while the logger adds the row: a message raised in here only reaches the console.
    connect(&logger(), &Tarsk::Ui::UiLogger::sigMessageAdded, this,
            [this](QtMsgType type, const QDateTime& time, const QString& message, Tarsk::Utils::LogNote::Note_t note) {
                // A receiver still restarting fails the window's tries to reconnect: only
                // the end of the wait says whether it came back.
                if (restartAttempt) {
                    return;
                }
                // The line after an explained failure is its report, if one comes.
                if (std::exchange(failureExplained, false) && note == Tarsk::Utils::LogNote::NOTE_FAILURE) {
                    return;
                }
                if (Tarsk::Ui::UiLogger::severity(type) >= Tarsk::Ui::UiLogger::severity(QtWarningMsg)
                    && note != Tarsk::Utils::LogNote::NOTE_DETAIL) {
                    showStatusMessage(type, time, message);
                }
            });

    clearStatusMessage();
    updateConnectionStatus();
}

void MainWindow::showStatusMessage(QtMsgType type, const QDateTime& time, const QString& message)
{
    if (Tarsk::Ui::UiLogger::severity(type) >= Tarsk::Ui::UiLogger::severity(QtCriticalMsg)) {
        showStatusText(QStringLiteral("critical"), time, message);
    } else {
        showStatusText(QStringLiteral("warning"), time, message);
    }
}

QString MainWindow::showStatusText(const QString& level, const QDateTime& time, const QString& message)
{
    struct Look_t
    {
        QStyle::StandardPixmap icon;
        const char* colours;
        const char* kind;
    };
    static const QMap<QString, Look_t> looks = {
        {QStringLiteral("critical"), {QStyle::SP_MessageBoxCritical, "background: #f8d0d0; color: #7a0000;", "Error"}},
        {QStringLiteral("warning"), {QStyle::SP_MessageBoxWarning, "background: #ffecb3; color: #5a4000;", "Warning"}},
        {QStringLiteral("success"), {QStyle::SP_DialogApplyButton, "background: #d4edda; color: #155724;", "Success"}},
    };
    const Look_t look = looks.value(level);
    // Only the first line: a multi-line message would make the bar grow.
    const QString firstLine = message.section(QLatin1Char('\n'), 0, 0);
    QString text = QStringLiteral("%1 UTC  %2").arg(time.toUTC().toString(QStringLiteral("hh:mm:ss")), firstLine);
    statusMessage->setText(text);
    // The bar cuts a long text to its width: the tool tip and the session's list keep it whole.
    statusMessage->setToolTip(QStringLiteral("%1\n\nClick to show the log in the Terminal tab.").arg(message));
    sessionMessages->add(time, QLatin1String(look.kind), message);
    statusMessage->setIcon(style()->standardIcon(look.icon));
    statusMessage->setStyleSheet(QStringLiteral("QToolButton { %1 }").arg(QLatin1String(look.colours)));
    statusMessage->setProperty("level", level);
    statusMessage->show();
    statusDismiss->show();
    return text;
}

void MainWindow::showSuccess(const QString& text)
{
    qInfo().noquote() << text;
    const QString shown = showStatusText(QStringLiteral("success"), QDateTime::currentDateTimeUtc(), text);
    // A success is news for a moment; a warning or error that replaced it stays.
    QTimer::singleShot(successShownMs, this, [this, shown] {
        if (statusMessage->property("level").toString() == QLatin1String("success") && statusMessage->text() == shown) {
            clearStatusMessage();
        }
    });
}

void MainWindow::reportFailure(const Tarsk::Utils::Exception& failure, const QString& summary)
{
    logAtSeverityOf(failure, failure.message());
    logAtSeverityOf(failure, summary);
}

void MainWindow::explainFailure(const Tarsk::Utils::Exception& failure, const QString& summary)
{
    logAtSeverityOf(failure, summary);
    failureExplained = true;
}

void MainWindow::logAtSeverityOf(const Tarsk::Utils::Exception& failure, const QString& text)
{
    if (failure.severity() == QtWarningMsg) {
        qWarning().noquote() << text;
    } else {
        qCritical().noquote() << text;
    }
}

bool MainWindow::isRefusal(const Tarsk::Utils::Exception& failure)
{
    return failure.kind() == Tarsk::Utils::Exception::KIND_REFUSED
           || failure.kind() == Tarsk::Utils::Exception::KIND_UNRELATED_REPLY;
}

QString MainWindow::failureInWords(const Tarsk::Utils::Exception& failure, const QString& what)
{
    using Failure = Tarsk::Utils::Exception;
    switch (failure.kind()) {
    case Failure::KIND_UNRELATED_REPLY:
        return QStringLiteral("The receiver answered %1 with an unrelated message.").arg(what);
    case Failure::KIND_REFUSED:
        return QStringLiteral("The receiver refused %1.").arg(what);
    case Failure::KIND_NO_ANSWER:
        return QStringLiteral("The receiver did not answer %1 in time.").arg(what);
    case Failure::KIND_BUSY:
        return QStringLiteral("%1 was not sent: another request to the receiver is still running.").arg(what);
    case Failure::KIND_LINK_LOST:
        return QStringLiteral("The link to the receiver failed while waiting for the answer to %1.").arg(what);
    case Failure::KIND_NOT_CONNECTED:
        return QStringLiteral("%1 was not sent: no receiver is connected.").arg(what);
    case Failure::KIND_PORT_IN_USE:
        return QStringLiteral("%1 was not sent: the port is in use by another program.").arg(what);
    case Failure::KIND_GENERAL:
    case Failure::KIND_BAD_INPUT:
    case Failure::KIND_FILE:
        break;
    }
    return QStringLiteral("%1 failed: %2").arg(what, failure.message());
}

void MainWindow::clearStatusMessage()
{
    statusMessage->setText(QString());
    statusMessage->setToolTip(QString());
    statusMessage->setProperty("level", QString());
    statusMessage->hide();
    statusDismiss->hide();
}

void MainWindow::updateConnectionStatus()
{
    if (!statusConnection) {
        return;
    }
    if (!dfrLink.hasUartLink()) {
        shownLinkState.clear();
        statusConnection->setText(restartWait.port.isEmpty() ? QStringLiteral("Not connected") : restartWaitText());
        statusLinkIcon->clear();
        statusLinkIcon->hide();
        return;
    }
    const QString generation = Utils::GenerationText::of(dfrLink.dfrVersion);
    // The keep-alive makes the link wait for a moment every second: "waiting" only
    // shows once a reply is noticeably late, so that the bar does not flicker.
    ++linkStateChanges;
    if (linkState == QLatin1String("WAITING") && shownLinkState != linkState) {
        QTimer::singleShot(waitingShownAfterMs, this, [this, change = linkStateChanges] {
            if (change != linkStateChanges || linkState != QLatin1String("WAITING")) {
                return;
            }
            shownLinkState = linkState;
            updateConnectionStatus();
        });
    } else {
        shownLinkState = linkState;
    }

    const QString serial = ui->lineEditStatusSerial->text();
    QString state = QStringLiteral("waiting");
    QString icon = QStringLiteral(":/Icons/dfrWaiting");
    if (shownLinkState == QLatin1String("READY")) {
        state = QStringLiteral("ready");
        icon = QStringLiteral(":/Icons/dfrReady");
    } else if (shownLinkState == QLatin1String("ERROR")) {
        state = QStringLiteral("error");
        icon = QStringLiteral(":/Icons/dfrError");
    }
    QStringList parts{dfrLink.portName(), generation};
    if (!serial.isEmpty()) {
        parts.append(serial);
    }
    parts.append(QStringLiteral("link %1").arg(state));
    statusConnection->setText(parts.join(QStringLiteral("  ·  ")));
    const int side = statusConnection->fontMetrics().height();
    statusLinkIcon->setPixmap(QIcon(icon).pixmap(side, side));
    statusLinkIcon->show();
}

} // namespace Vantrel::Ui
