#pragma once

#include <QDateTime>
#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

#include "inhouse/LogNote.h"

class QTableWidget;

namespace Tarsk::Ui {

// Turns every qDebug/qInfo/qWarning/qCritical of the process into a row of a table.
// Columns: 0 icon and time, 1 type text ("DEBUG", "INFO", "WARNING", "CRITICAL"),
// 2 category, 3 source file and line, 4 function, 5 message. Messages of any
// thread are welcome; rows are only ever added on the logger's own (GUI) thread.
// Every message still reaches the previous handler, so the console keeps a copy.
// Warning and critical rows stand out by colour and icon. The view can be narrowed to
// a minimum level and a search text; follow mode holds back while the user has
// scrolled away from the newest row and picks up again once back at the bottom.
class UiLogger : public QObject
{
    Q_OBJECT
public:
    enum Column_t { COLUMN_TIME = 0, COLUMN_TYPE, COLUMN_CATEGORY, COLUMN_SOURCE, COLUMN_FUNCTION, COLUMN_MESSAGE, COLUMN_COUNT };
    Q_ENUM(Column_t)

    explicit UiLogger(QObject* parent = nullptr);
    ~UiLogger() override;

    // Installs the message handler and appends rows to table from now on.
    // No options are defined yet: pass 0.
    void configure(QTableWidget* table, int option, const QString& iconPath);
    QTableWidget* table() const;

    void setFollow(bool follow);
    bool follow() const { return followNewest; }
    // The oldest rows go first; 0 or less keeps every row.
    void setMaximumNumberOfRows(int rows);
    int maximumNumberOfRows() const { return maxRows; }

    // Ends a group of related messages: pending rows are shown at once.
    void messageBatchEnd();

    // Rows below this level are hidden (QtDebugMsg shows everything).
    void setMinimumLevel(QtMsgType level);
    QtMsgType minimumLevel() const { return minLevel; }
    // Only rows whose message holds this text, in any case, are shown; empty shows all.
    void setSearchText(const QString& text);
    QString searchText() const { return search; }

    // True while follow mode waits for the user to come back to the bottom.
    bool followPaused() const { return paused; }
    // Brings the newest row into view, unless follow mode is off or paused.
    void scrollToNewest();

    static QString typeText(QtMsgType type);
    // Debug < info < warning < critical < fatal (QtMsgType's own values are not in that order).
    static int severity(QtMsgType type);

Q_SIGNALS:
    // A row has been added (also when the filter hides it), with the note it was written under.
    void sigMessageAdded(QtMsgType type, const QDateTime& time, const QString& message,
                         Tarsk::Utils::LogNote::Note_t note);
    void sigFollowPausedChanged(bool paused);

private Q_SLOTS:
    void flushPending();
    void slotScrolled(int value);

private:
    struct Entry;
    struct State;
    static State& state();
    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    void appendEntries(const QList<Entry>& entries);
    void appendEntry(const Entry& entry);
    void trimRows();
    bool rowShown(int row) const;
    void applyFilter();
    void setPaused(bool pause);

    QPointer<QTableWidget> logTable;
    QIcon icon;
    QIcon warningIcon;
    QIcon criticalIcon;
    bool followNewest = false;
    bool paused = false;
    bool scrolling = false; // our own scrolling, not the user's
    int maxRows = 1000;
    QtMsgType minLevel = QtDebugMsg;
    QString search;
};

} // namespace Tarsk::Ui
