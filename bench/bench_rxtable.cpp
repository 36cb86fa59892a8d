// Messages table at the scale of a flash memory: a burst of N flash messages shown,
// memory, sorts, filter, one more live message and CSV export, each measured in a
// child process of its own, for the model-backed table and for a table of one
// item per cell (the baseline) side by side.
// Usage: bench_rxtable [sizes...] [--baseline-max N]   (default 10000 100000 200000, baseline up to 10000)
//        bench_rxtable --show N DIR   (on a display: N demo rows, screenshots into DIR)
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QProcess>
#include <QScreen>
#include <QSaveFile>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <algorithm>
#include <functional>

#include "BenchSupport.h"
#include "AppIdentity.h"
#include "inhouse/DateTime.h"
#include "inhouse/ToplevelApplication.h"
#include "ui/Dialogs.h"
#include "ui/MainWindow.h"
#include "ui/RxTableColumns.h"
#include "ui/RxTableModel.h"
#include "ui_UiMainWindow.h"
#include "utils/FilePlace.h"

using Vantrel::Com::DfrLink;
using namespace Vantrel::Ui;

namespace {

DfrLink::OrvanRxMessage_t message(int n, bool live)
{
    DfrLink::OrvanRxMessage_t m;
    m.platformSlotIndex = -1;
    m.dateTime = Tarsk::Utils::DateTime::fromQDateTime(
        QDateTime(QDate(2024, 1, 1), QTime(0, 0), Qt::UTC).addSecs(n * 7));
    m.platformId = QStringLiteral("%1").arg(0xA0000 + (n * 7919) % 5000, 7, 16, QLatin1Char('0')).toUpper();
    m.frequencyHz = 401600000 + quint32(n % 1000) * 100;
    m.dfrDirectionValid = m.dfrPositionValid = m.periodValid = true;
    m.crcOk = n % 50 != 0;
    m.direction = quint32(n % 360);
    m.band = DfrLink::OrvanBand_t(n % 10);
    m.modulation = DfrLink::OrvanModulation_t(n % 4);
    m.level = -100 - n % 30;
    m.period = 50;
    m.dfrLatitude = 48.85;
    m.dfrLongitude = 2.35;
    m.payload = QByteArray::fromHex("0102030405060708090A0B0C");
    m.rawPayload = QByteArray::fromHex("FF0102030405060708090A0B0C");
    m.flashPosition = live ? -1 : n;
    return m;
}

using BenchSupport::rssKb;

double msSince(const QElapsedTimer& timer)
{
    return timer.nsecsElapsed() / 1e6;
}

// The table as it was: one QTableWidgetItem per cell, the position cell sorting by number.
class NumericItem : public QTableWidgetItem
{
public:
    bool operator<(const QTableWidgetItem& other) const override
    {
        const QVariant key = data(Qt::UserRole);
        const QVariant otherKey = other.data(Qt::UserRole);
        if (key.isValid() && otherKey.isValid())
            return key.toInt() < otherKey.toInt();
        return QTableWidgetItem::operator<(other);
    }
};

class Baseline
{
public:
    explicit Baseline(QTableWidget* table) : table(table)
    {
        table->setColumnCount(RXCOLUMN_COUNT);
        table->setHorizontalHeaderLabels(rxTableHeaders());
        table->setSortingEnabled(true);
    }

    void add(const DfrLink::OrvanRxMessage_t& m, bool live)
    {
        // Texts through the model's own rules, so that both tables show the same.
        RxTableModel one;
        RxTableModel::Row_t row;
        row.message = m;
        row.live = live;
        one.addRow(row);
        QTableWidgetItem* items[RXCOLUMN_COUNT];
        for (int column = 0; column < RXCOLUMN_COUNT; ++column) {
            items[column] = column == RXCOLUMN_POSITION ? new NumericItem : new QTableWidgetItem;
            items[column]->setText(one.text(0, column));
        }
        items[RXCOLUMN_POSITION]->setData(Qt::UserRole, live ? -1 : m.flashPosition);
        static const QFont mono(QStringLiteral("monospace"));
        items[RXCOLUMN_PAYLOAD]->setFont(mono);
        items[RXCOLUMN_RAW_PAYLOAD]->setFont(mono);
        const QVariant foreground = one.data(one.index(0, 0), Qt::ForegroundRole);
        for (QTableWidgetItem* item : items) {
            if (!m.crcOk)
                item->setBackground(QColor(220, 220, 220));
            if (foreground.isValid())
                item->setForeground(foreground.value<QBrush>());
        }
        const bool stillSorted = live && table->isSortingEnabled();
        if (!stillSorted)
            table->setSortingEnabled(false);
        table->insertRow(0);
        const int sortColumn = stillSorted ? table->horizontalHeader()->sortIndicatorSection() : -1;
        for (int column = 0; column < RXCOLUMN_COUNT; ++column)
            if (column != sortColumn)
                table->setItem(0, column, items[column]);
        if (sortColumn >= 0)
            table->setItem(0, sortColumn, items[sortColumn]);
        if (live && !stillSorted)
            table->setSortingEnabled(true);
        const int row0 = items[RXCOLUMN_ID]->row();
        table->setRowHidden(row0, !m.platformId.contains(filter));
    }

    void endBurst()
    {
        table->resizeColumnsToContents();
        table->sortByColumn(RXCOLUMN_POSITION, Qt::DescendingOrder);
        table->setSortingEnabled(true);
    }

    void setFilter(const QString& text)
    {
        filter = text;
        for (int row = 0; row < table->rowCount(); ++row)
            table->setRowHidden(row, !table->item(row, RXCOLUMN_ID)->text().contains(filter));
    }

    void exportTo(const QString& path)
    {
        QSaveFile file(path);
        file.open(QIODevice::WriteOnly | QIODevice::Text);
        QTextStream out(&file);
        out.setEncoding(QStringConverter::Latin1);
        out << rxTableHeaders().join(QLatin1Char(',')) << '\n';
        const bool selectionOnly = table->selectionModel()->hasSelection();
        QStringList fields;
        for (int row = 0; row < table->rowCount(); ++row) {
            if (table->isRowHidden(row) || (selectionOnly && !table->item(row, 0)->isSelected()))
                continue;
            fields.clear();
            for (int column = 0; column < RXCOLUMN_COUNT; ++column)
                fields.append(table->item(row, column)->text());
            out << fields.join(QLatin1Char(',')) << '\n';
        }
        out.flush();
        file.commit();
    }

private:
    QTableWidget* table;
    QString filter;
};

struct PaintCounter : QObject
{
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++count;
        return false;
    }
};

// One table, one size: prints "name value" lines.
int runChild(bool baseline, int size)
{
    // An empty archive each run, as on a first flash read: a second run would
    // otherwise find every message kept already, and runs would not compare.
    QDir(Vantrel::Utils::FilePlace::resolve(QStringLiteral("../Archive"))).removeRecursively();
    auto* window = new MainWindow();
    window->resize(1400, 900);
    window->show();
    window->form()->tabWidget->setTabEnabled(window->form()->tabWidget->indexOf(window->form()->tabRx), true);
    window->form()->tabWidget->setCurrentWidget(window->form()->tabRx);
    QTableWidget* oldTable = nullptr;
    std::unique_ptr<Baseline> old;
    QTableView* view = window->form()->tableWidgetRx;
    if (baseline) {
        // The old table takes the new one's place in the same window.
        oldTable = new QTableWidget(view->parentWidget());
        view->parentWidget()->layout()->replaceWidget(view, oldTable);
        view->hide();
        old = std::make_unique<Baseline>(oldTable);
    }
    QAbstractItemView* shown = baseline ? static_cast<QAbstractItemView*>(oldTable) : view;
    // Events first (layout, then the paint they ask for); a forced paint only if none came.
    PaintCounter painted;
    shown->viewport()->installEventFilter(&painted);
    const auto paint = [shown, &painted] {
        const int before = painted.count;
        QApplication::processEvents();
        if (painted.count == before)
            shown->viewport()->repaint();
    };
    paint();
    QTextStream out(stdout);
    const auto report = [&out](const char* name, double value) { out << name << ' ' << value << Qt::endl; };

    // The messages are made first, as the flash decoder (bench_flashdecode) hands
    // them over: what is timed is the window taking them.
    QElapsedTimer timer;
    timer.start();
    QList<DfrLink::OrvanRxMessage_t> burst;
    burst.reserve(size);
    for (int n = 0; n < size; ++n)
        burst.append(message(n, false));
    report("made", msSince(timer));
    const qint64 rssBefore = rssKb();
    timer.restart();
    double eventsMs = 0;
    for (int n = 0; n < size; ++n) {
        if (baseline)
            old->add(burst.at(n), false);
        else
            window->slotOrvanMessageReceived(burst.at(n), DfrLink::RXORIGIN_FLASH);
        if (n % 1000 == 999) {
            QElapsedTimer events;
            events.start();
            QApplication::processEvents();  // the flash reader lets events in between chunks
            eventsMs += msSince(events);
        }
    }
    report("burstEvents", eventsMs);
    report("burstSlots", msSince(timer));
    if (baseline)
        old->endBurst();
    else
        window->endRxBurst();
    paint();
    report("burst", msSince(timer));
    report("rss", (rssKb() - rssBefore) / 1024.0);
    report("rowBytes", (rssKb() - rssBefore) * 1024.0 / size);

    QHeaderView* header = baseline ? oldTable->horizontalHeader() : view->horizontalHeader();
    const auto timed = [&](const char* name, const std::function<void()>& action) {
        timer.restart();
        action();
        paint();
        report(name, msSince(timer));
    };
    timed("sortText", [&] { header->setSortIndicator(RXCOLUMN_ID, Qt::AscendingOrder); });
    timed("sortPosition", [&] { header->setSortIndicator(RXCOLUMN_POSITION, Qt::AscendingOrder); });
    QLineEdit* filterField = window->form()->lineEditRxFilter;
    timed("filter", [&] {
        filterField->setText(QStringLiteral("A1"));
        baseline ? old->setFilter(filterField->text()) : window->slotFilterRxTable();
    });
    timed("unfilter", [&] {
        filterField->clear();
        baseline ? old->setFilter(QString()) : window->slotFilterRxTable();
    });

    QList<double> slotMs;
    QList<double> totalMs;
    for (int i = 0; i < 21; ++i) {
        timer.restart();
        if (baseline)
            old->add(message(size + i, true), true);
        else
            window->slotOrvanMessageReceived(message(size + i, true), DfrLink::RXORIGIN_LIVE);
        slotMs.append(msSince(timer));
        paint();
        totalMs.append(msSince(timer));
    }
    std::sort(slotMs.begin(), slotMs.end());
    std::sort(totalMs.begin(), totalMs.end());
    report("liveSlot", slotMs[10]);
    report("livePaint", totalMs[10]);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("rx.csv"));
    Dialogs::setResponder([&path](const Dialogs::Request_t&) { return QVariant(path); });
    timed("export", [&] { baseline ? old->exportTo(path) : window->slotExportRxTable(); });
    Dialogs::setResponder({});
    report("rows", baseline ? oldTable->rowCount() : window->rxRowCount());
    delete window;
    return 0;
}

// Fills the window with demo rows and saves screenshots of the screen after
// each step (scrolled, sorted by Id, filtered): a look at the table at scale.
int runShow(int size, const QString& directory)
{
    auto* window = new MainWindow();
    window->resize(1400, 900);
    window->show();
    Vantrel::Ui_UiMainWindow* form = window->form();
    form->tabWidget->setTabEnabled(form->tabWidget->indexOf(form->tabRx), true);
    form->tabWidget->setCurrentWidget(form->tabRx);
    QTextStream out(stdout);
    QElapsedTimer timer;
    const auto shot = [&](const QString& name) {
        // Until the screen shows the change: the view lays out on a zero timer, then paints.
        QElapsedTimer settle;
        settle.start();
        while (!settle.hasExpired(300))
            QApplication::processEvents(QEventLoop::AllEvents, 50);
        const QString path = QDir(directory).absoluteFilePath(name + QStringLiteral(".png"));
        QGuiApplication::primaryScreen()->grabWindow(0).save(path);
        out << path << ' ' << msSince(timer) << " ms" << Qt::endl;
    };
    timer.start();
    for (int n = 0; n < size; ++n) {
        window->slotOrvanMessageReceived(message(n, false), DfrLink::RXORIGIN_FLASH);
        if (n % 1000 == 999)
            QApplication::processEvents();
    }
    window->endRxBurst();
    for (int i = 0; i < 5; ++i)
        window->slotOrvanMessageReceived(message(size + i, true), DfrLink::RXORIGIN_LIVE);
    shot(QStringLiteral("rx-filled"));
    timer.restart();
    form->tableWidgetRx->scrollTo(form->tableWidgetRx->model()->index(size / 2, 0));
    form->tableWidgetRx->selectRow(size / 2);
    shot(QStringLiteral("rx-scrolled"));
    timer.restart();
    form->tableWidgetRx->horizontalHeader()->setSortIndicator(RXCOLUMN_ID, Qt::AscendingOrder);
    shot(QStringLiteral("rx-sorted-by-id"));
    timer.restart();
    form->lineEditRxFilter->setText(QStringLiteral("0A12"));
    window->slotFilterRxTable();
    shot(QStringLiteral("rx-filtered"));
    delete window;
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.size() == 3 && args[0] == QLatin1String("--child"))
        return runChild(args[1] == QLatin1String("baseline"), args[2].toInt());
    if (args.size() == 3 && args[0] == QLatin1String("--show"))
        return runShow(args[1].toInt(), args[2]);

    int baselineMax = 10000;
    const int at = int(args.indexOf(QStringLiteral("--baseline-max")));
    if (at >= 0 && at + 1 < args.size()) {
        baselineMax = args[at + 1].toInt();
        args.remove(at, 2);
    }
    QList<int> sizes;
    for (const QString& arg : args)
        sizes.append(arg.toInt());
    if (sizes.isEmpty())
        sizes = {10000, 100000, 200000};

    const QStringList names = {"made", "burst", "rss", "rowBytes", "sortText", "sortPosition", "filter", "unfilter", "liveSlot", "livePaint", "export"};
    const QStringList titles = {"messages made, untimed (ms)", "burst shown (ms)", "extra RSS (MB)", "extra RSS per row (B)", "sort by Id (ms)", "sort by Position (ms)",
                                "filter (ms)", "clear filter (ms)", "live msg, slot (ms)", "live msg + paint (ms)",
                                "CSV export (ms)"};
    const auto run = [](bool baseline, int size) {
        QProcess child;
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--child"), baseline ? QStringLiteral("baseline") : QStringLiteral("model"),
                     QString::number(size)});
        child.waitForFinished(-1);
        QMap<QString, double> figures;
        for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
            const QList<QByteArray> parts = line.split(' ');
            if (parts.size() == 2)
                figures[QString::fromLatin1(parts[0])] = parts[1].toDouble();
        }
        return figures;
    };

    QTextStream out(stdout);
    for (int size : sizes) {
        const auto model = run(false, size);
        const bool withBaseline = size <= baselineMax;
        const auto baseline = withBaseline ? run(true, size) : QMap<QString, double>();
        out << QStringLiteral("%1 rows (model rows %2)").arg(size).arg(model.value("rows")) << Qt::endl;
        out << QStringLiteral("  %1 %2 %3").arg(QString(), -24).arg("model", 10).arg("baseline", 10) << Qt::endl;
        for (int i = 0; i < names.size(); ++i)
            out << QStringLiteral("  %1 %2 %3")
                       .arg(titles[i], -24)
                       .arg(model.value(names[i]), 10, 'f', 2)
                       .arg(withBaseline ? QString::number(baseline.value(names[i]), 'f', 2) : QStringLiteral("-"), 10)
                << Qt::endl;
    }
    return 0;
}
