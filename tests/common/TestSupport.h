// Small helpers several tests need: the per-test settings file, writing fixtures, catching Exception
// texts, reading the window's log table.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QString>
#include <QTableWidget>

#include <functional>

#include "inhouse/Exception.h"
#include "ui_UiMainWindow.h"

namespace TestSupport {

// Each test runs in an install-like tree of its own, so this file is the test's alone.
inline QString settingsPath()
{
    return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../Vantrel.ini"));
}

inline bool writeFile(const QString& path, const QString& content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content.toUtf8()) >= 0;
}

// The window reloads this file when it is built, so tests write what they need here first.
inline bool writeSettings(int commandTimeoutMs, int keepAliveTimeoutMs, int keepAlivePeriodMs, const QString& more = {})
{
    return writeFile(settingsPath(), QStringLiteral("[General]\nprintUartDebugInfo=0\nprintAtCmdDebugInfo=0\n"
                                                    "dfrCommandTimeoutMs=%1\nkeepAliveTimeoutMs=%2\n"
                                                    "keepAlivePeriodMs=%3\nkeepChecksumErrorOnNprDfr500=0\n"
                                                    "nprMessagesFormat=2\n"
                                                    // No refresh of its own cuts into what a test sends.
                                                    "[Display]\nstatusRefreshSeconds=0\n%4")
                                         .arg(commandTimeoutMs)
                                         .arg(keepAliveTimeoutMs)
                                         .arg(keepAlivePeriodMs)
                                         .arg(more));
}

inline QString readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// The message of the Exception `call` throws ("" when it throws none), so that a test compares it in one line.
inline QString thrownBy(const std::function<void()>& call)
{
    try {
        call();
    } catch (const Tarsk::Utils::Exception& e) {
        return e.message();
    }
    return QString();
}

// Whether the window's log table holds a row of that type and message.
inline bool logHas(const Vantrel::Ui_UiMainWindow* ui, const QString& type, const QString& message)
{
    const QTableWidget* log = ui->tableWidgetLogger;
    for (int row = 0; row < log->rowCount(); ++row) {
        const QTableWidgetItem* typeItem = log->item(row, 1);
        const QTableWidgetItem* textItem = log->item(row, log->columnCount() - 1);
        if (typeItem && textItem && typeItem->text() == type && textItem->text() == message)
            return true;
    }
    return false;
}

} // namespace TestSupport
