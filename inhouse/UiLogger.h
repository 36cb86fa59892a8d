#pragma once

#include <QIcon>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QTableWidget;

namespace Tarsk::Ui {

// Turns every qDebug/qInfo/qWarning/qCritical of the process into a row of a table.
// Columns: 0 icon and time, 1 type text ("DEBUG", "INFO", "WARNING", "CRITICAL"),
// 2 category, 3 source file and line, 4 function, 5 message. Messages of any
// thread are welcome; rows are only ever added on the logger's own (GUI) thread.
// Every message still reaches the previous handler, so the console keeps a copy.
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

    static QString typeText(QtMsgType type);

private Q_SLOTS:
    void flushPending();

private:
    struct Entry;
    struct State;
    static State& state();
    static void messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

    void appendEntries(const QList<Entry>& entries);
    void appendEntry(const Entry& entry);
    void trimRows();

    QPointer<QTableWidget> logTable;
    QIcon icon;
    bool followNewest = false;
    int maxRows = 1000;
};

} // namespace Tarsk::Ui
