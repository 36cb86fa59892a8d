#include "inhouse/UiLogger.h"

#include <QApplication>
#include <QBrush>
#include <QColor>
#include <QDateTime>
#include <QHeaderView>
#include <QScrollBar>
#include <QStyle>
#include <QMetaObject>
#include <QMutex>
#include <QMutexLocker>
#include <QScopedValueRollback>
#include <QTableWidget>
#include <QThread>
#include <atomic>
#include <cstdio>

namespace Tarsk::Ui {

struct UiLogger::Entry
{
    QtMsgType type;
    QDateTime time;
    QString category;
    QString source;
    QString function;
    QString message;
    Tarsk::Utils::LogNote::Note_t note;
};

// Qt has one message handler per process, so the handler's view of the logger is global.
struct UiLogger::State
{
    QMutex mutex;
    UiLogger* active = nullptr;            // guarded by mutex
    QList<Entry> pending;                  // guarded by mutex; waits for the logger's thread
    bool flushPosted = false;              // guarded by mutex
    std::atomic<QtMessageHandler> previous{nullptr}; // atomic: console output never waits for the mutex
};

namespace {

// Set while this thread adds rows: a message raised meanwhile (a warning from Qt, a slot
// on itemChanged that logs) only goes to the console, so a row never begets another.
thread_local bool busy = false;

void forward(QtMessageHandler handler, QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (handler) {
        handler(type, context, message);
        return;
    }
    std::fprintf(stderr, "%s\n", qPrintable(qFormatLogMessage(type, context, message)));
    std::fflush(stderr);
}

} // namespace

UiLogger::State& UiLogger::state()
{
    // Never destroyed: a thread may still log while static objects are torn down at exit.
    static State* const shared = new State;
    return *shared;
}

UiLogger::UiLogger(QObject* parent)
    : QObject(parent)
{
}

UiLogger::~UiLogger()
{
    State& s = state();
    QMutexLocker lock(&s.mutex);
    if (s.active != this) {
        return;
    }
    s.active = nullptr;
    s.pending.clear();
    s.flushPosted = false;
    // Put back what was there before, unless somebody has installed a handler after us.
    const QtMessageHandler current = qInstallMessageHandler(s.previous.load());
    if (current != &UiLogger::messageHandler) {
        qInstallMessageHandler(current);
    }
}

void UiLogger::configure(QTableWidget* table, int option, const QString& iconPath)
{
    Q_UNUSED(option)
    logTable = table;
    icon = iconPath.isEmpty() ? QIcon() : QIcon(iconPath);

    if (table) {
        table->setColumnCount(COLUMN_COUNT);
        table->setHorizontalHeaderLabels({tr("Time"), tr("Type"), tr("Category"), tr("Source"), tr("Function"), tr("Message")});
        table->setEditTriggers(QAbstractItemView::NoEditTriggers);
        table->setSelectionBehavior(QAbstractItemView::SelectRows);
        table->setWordWrap(false);
        table->horizontalHeader()->setStretchLastSection(true);
        // One line of text per row, whatever the style's default.
        table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        table->verticalHeader()->setDefaultSectionSize(table->fontMetrics().height() + 4);
        connect(table->verticalScrollBar(), &QScrollBar::valueChanged, this, &UiLogger::slotScrolled,
                Qt::UniqueConnection);
        const QStyle* style = table->style();
        warningIcon = style->standardIcon(QStyle::SP_MessageBoxWarning);
        criticalIcon = style->standardIcon(QStyle::SP_MessageBoxCritical);
    }

    State& s = state();
    QMutexLocker lock(&s.mutex);
    if (!s.active) {
        s.previous = qInstallMessageHandler(&UiLogger::messageHandler);
    }
    s.active = this;
}

QTableWidget* UiLogger::table() const
{
    return logTable;
}

void UiLogger::setFollow(bool follow)
{
    followNewest = follow;
    setPaused(false);
    scrollToNewest();
}

void UiLogger::scrollToNewest()
{
    if (!followNewest || paused || !logTable) {
        return;
    }
    const QScopedValueRollback<bool> guard(scrolling, true);
    logTable->scrollToBottom();
}

void UiLogger::slotScrolled(int value)
{
    if (scrolling || !logTable) {
        return;
    }
    setPaused(value < logTable->verticalScrollBar()->maximum());
}

void UiLogger::setPaused(bool pause)
{
    if (paused == pause) {
        return;
    }
    paused = pause;
    Q_EMIT sigFollowPausedChanged(paused);
}

int UiLogger::severity(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return 0;
    case QtInfoMsg:
        return 1;
    case QtWarningMsg:
        return 2;
    case QtCriticalMsg:
        return 3;
    case QtFatalMsg:
        return 4;
    }
    return 0;
}

void UiLogger::setMinimumLevel(QtMsgType level)
{
    minLevel = level;
    applyFilter();
}

void UiLogger::setSearchText(const QString& text)
{
    search = text;
    applyFilter();
}

bool UiLogger::rowShown(int row) const
{
    const QTableWidgetItem* type = logTable->item(row, COLUMN_TYPE);
    const QTableWidgetItem* message = logTable->item(row, COLUMN_MESSAGE);
    if (!type || !message) {
        return true;
    }
    if (severity(QtMsgType(type->data(Qt::UserRole).toInt())) < severity(minLevel)) {
        return false;
    }
    return search.isEmpty() || message->text().contains(search, Qt::CaseInsensitive);
}

void UiLogger::applyFilter()
{
    if (!logTable) {
        return;
    }
    for (int row = 0; row < logTable->rowCount(); ++row) {
        logTable->setRowHidden(row, !rowShown(row));
    }
    scrollToNewest();
}

void UiLogger::setMaximumNumberOfRows(int rows)
{
    maxRows = rows;
    trimRows();
}

void UiLogger::messageBatchEnd()
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, &UiLogger::messageBatchEnd, Qt::QueuedConnection);
        return;
    }
    flushPending();
    if (!logTable) {
        return;
    }
    // Sizing columns costs a pass over the rows, so it waits for the end of a batch.
    for (int column = COLUMN_TIME; column < COLUMN_MESSAGE; ++column) {
        logTable->resizeColumnToContents(column);
    }
    scrollToNewest();
}

QString UiLogger::typeText(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("DEBUG");
    case QtInfoMsg:
        return QStringLiteral("INFO");
    case QtWarningMsg:
        return QStringLiteral("WARNING");
    case QtCriticalMsg:
        return QStringLiteral("CRITICAL");
    case QtFatalMsg:
        return QStringLiteral("FATAL");
    }
    return QStringLiteral("UNKNOWN");
}

void UiLogger::messageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    // A message raised while rows go in only reaches the console. Qt already does that for
    // one raised inside this handler; busy covers the rows that flushPending adds.
    State& s = state();
    forward(s.previous.load(), type, context, message);
    if (busy) {
        return;
    }

    Entry entry{type,
                QDateTime::currentDateTimeUtc(),
                QString::fromUtf8(context.category),
                context.file ? QStringLiteral("%1:%2").arg(QString::fromUtf8(context.file)).arg(context.line) : QString(),
                QString::fromUtf8(context.function),
                message,
                Tarsk::Utils::LogNote::current()};

    QMutexLocker lock(&s.mutex);
    UiLogger* const logger = s.active;
    if (!logger) {
        return;
    }
    s.pending.append(std::move(entry));

    if (QThread::currentThread() == logger->thread()) {
        // Rows still queued by other threads go first so that the table keeps arrival order.
        QList<Entry> batch;
        batch.swap(s.pending);
        lock.unlock();
        logger->appendEntries(batch);
        return;
    }
    // One queued call carries every message that arrives before the GUI thread gets to it.
    if (!s.flushPosted) {
        s.flushPosted = true;
        QMetaObject::invokeMethod(logger, &UiLogger::flushPending, Qt::QueuedConnection);
    }
}

void UiLogger::flushPending()
{
    State& s = state();
    QList<Entry> batch;
    {
        QMutexLocker lock(&s.mutex);
        if (s.active != this) {
            return;
        }
        s.flushPosted = false;
        batch.swap(s.pending);
    }
    appendEntries(batch);
}

void UiLogger::appendEntries(const QList<Entry>& entries)
{
    const QScopedValueRollback<bool> guard(busy, true);
    for (const Entry& entry : entries) {
        if (!logTable) {
            return;
        }
        appendEntry(entry);
    }
    trimRows();
    scrollToNewest();
}

void UiLogger::appendEntry(const Entry& entry)
{
    QTableWidgetItem* items[COLUMN_COUNT] = {};
    const int level = severity(entry.type);
    const QIcon& rowIcon = level >= severity(QtCriticalMsg) ? criticalIcon
                           : level == severity(QtWarningMsg) ? warningIcon
                                                             : icon;
    items[COLUMN_TIME] = new QTableWidgetItem(rowIcon, entry.time.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")));
    items[COLUMN_TYPE] = new QTableWidgetItem(typeText(entry.type));
    items[COLUMN_CATEGORY] = new QTableWidgetItem(entry.category);
    items[COLUMN_SOURCE] = new QTableWidgetItem(entry.source);
    items[COLUMN_FUNCTION] = new QTableWidgetItem(entry.function);
    items[COLUMN_MESSAGE] = new QTableWidgetItem(entry.message);
    items[COLUMN_TYPE]->setData(Qt::UserRole, int(entry.type));
    // Pale backgrounds with the text colour forced dark, so that a dark theme stays readable.
    const QColor background = level >= severity(QtCriticalMsg) ? QColor(0xf8, 0xd0, 0xd0)
                              : level == severity(QtWarningMsg) ? QColor(0xff, 0xec, 0xb3)
                                                                : QColor();
    for (QTableWidgetItem* item : items) {
        item->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
        if (background.isValid()) {
            item->setBackground(background);
            item->setForeground(QColor(0x20, 0x20, 0x20));
        }
    }

    const int row = logTable->rowCount();
    logTable->insertRow(row);
    // setItem on a row already in the table emits itemChanged. Listeners pick rows by the
    // type item, so it goes in last: they see it once, already holding its text, with the
    // rest of the row filled.
    static constexpr Column_t order[] = {COLUMN_TIME, COLUMN_CATEGORY, COLUMN_SOURCE, COLUMN_FUNCTION, COLUMN_MESSAGE, COLUMN_TYPE};
    for (const Column_t column : order) {
        if (logTable) { // a slot on itemChanged may have deleted the table meanwhile
            logTable->setItem(row, column, items[column]);
        } else {
            delete items[column];
        }
    }
    if (!logTable) {
        return;
    }
    if (!rowShown(row)) {
        logTable->setRowHidden(row, true);
    }
    Q_EMIT sigMessageAdded(entry.type, entry.time, entry.message, entry.note);
}

void UiLogger::trimRows()
{
    if (!logTable || maxRows <= 0) {
        return;
    }
    const int excess = logTable->rowCount() - maxRows;
    if (excess > 0) {
        logTable->model()->removeRows(0, excess);
    }
}

} // namespace Tarsk::Ui
