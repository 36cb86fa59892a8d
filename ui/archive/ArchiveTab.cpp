#include "ui/archive/ArchiveTab.h"

#include <QCheckBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QVBoxLayout>

#include "archive/ArchiveKeeper.h"
#include "ui/Dialogs.h"
#include "ui/ToolIcon.h"
#include "ui/archive/ArchivePlatformsModel.h"
#include "utils/GenerationText.h"
#include "utils/Settings.h"

namespace Vantrel::Ui {

namespace {

const QString archiveFilter = QStringLiteral("Vantrel archives (*.sqlite);;All files (*)");

QString whenText(const QDateTime& time)
{
    return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QStringLiteral("undated");
}

// "2026-12-01 13:00 to 18:28 UTC": the date once when both ends share it.
QString spanText(const QDateTime& first, const QDateTime& last)
{
    const bool oneDay = first.isValid() && last.isValid() && first.toUTC().date() == last.toUTC().date();
    return QStringLiteral("%1 to %2 UTC")
        .arg(whenText(first), oneDay ? last.toUTC().toString(QStringLiteral("HH:mm")) : whenText(last));
}

} // namespace

ArchiveTab::ArchiveTab(Archive::ArchiveKeeper* keeper, QWidget* parent) : QWidget(parent), keeper(keeper)
{
    setObjectName(QStringLiteral("tabArchive"));
    auto* layout = new QVBoxLayout(this);

    // What the archive is and holds.
    auto* top = new QHBoxLayout;
    state = new QLabel;
    state->setWordWrap(true);
    state->setTextInteractionFlags(Qt::TextSelectableByMouse);
    refresh = new QPushButton(ToolIcon::of(QStringLiteral("view-refresh"), QStringLiteral("refresh")),
                              QStringLiteral("Refresh"));
    importButton = new QPushButton(ToolIcon::of(QStringLiteral("document-open"), QStringLiteral("open")),
                                   QStringLiteral("Import an archive…"));
    importButton->setObjectName(QStringLiteral("pushButtonArchiveImport"));
    importButton->setToolTip(QStringLiteral("Merge another Vantrel archive file into this one, each message kept once"));
    exportButton = new QPushButton(ToolIcon::of(QStringLiteral("document-save-as"), QStringLiteral("save")),
                                   QStringLiteral("Export an archive…"));
    exportButton->setObjectName(QStringLiteral("pushButtonArchiveExport"));
    exportButton->setToolTip(QStringLiteral("Write the chosen platforms, receivers and time range as a new archive file"));
    top->addWidget(state, 1);
    top->addWidget(importButton);
    top->addWidget(exportButton);
    top->addWidget(refresh);
    layout->addLayout(top);

    // The choice: platforms, receivers, time range.
    auto* lists = new QHBoxLayout;
    auto* platformsBox = new QGroupBox(QStringLiteral("Platforms (none selected: all)"));
    auto* platformsLayout = new QVBoxLayout(platformsBox);
    platforms = new ArchivePlatformsModel(this);
    platformsView = new QTableView;
    platformsView->setObjectName(QStringLiteral("tableViewArchivePlatforms"));
    platformsView->setModel(platforms);
    platformsView->setSelectionBehavior(QAbstractItemView::SelectRows);
    platformsView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    platformsView->setSortingEnabled(true);
    platformsView->sortByColumn(ArchivePlatformsModel::COLUMN_ID, Qt::AscendingOrder);
    platformsView->verticalHeader()->hide();
    // Columns fit their texts as summaries come, the last one taking what is left.
    platformsView->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    platformsView->horizontalHeader()->setStretchLastSection(true);
    platformsLayout->addWidget(platformsView);
    lists->addWidget(platformsBox, 1);

    auto* side = new QVBoxLayout;
    auto* receiversBox = new QGroupBox(QStringLiteral("Receivers"));
    auto* receiversLayout = new QVBoxLayout(receiversBox);
    receivers = new QListWidget;
    receivers->setObjectName(QStringLiteral("listWidgetArchiveReceivers"));
    receivers->setToolTip(QStringLiteral("Untick to leave out; double-click to name the receiver's team"));
    receiversLayout->addWidget(receivers);
    auto* teamRow = new QHBoxLayout;
    team = new QLineEdit;
    team->setObjectName(QStringLiteral("lineEditArchiveTeam"));
    team->setPlaceholderText(QStringLiteral("Team of the selected receiver"));
    team->setClearButtonEnabled(true);
    setTeamButton = new QPushButton(ToolIcon::of(QStringLiteral("dialog-ok-apply"), QStringLiteral("save")),
                                    QStringLiteral("Set team"));
    setTeamButton->setObjectName(QStringLiteral("pushButtonArchiveTeam"));
    teamRow->addWidget(team, 1);
    teamRow->addWidget(setTeamButton);
    receiversLayout->addLayout(teamRow);
    side->addWidget(receiversBox, 1);

    auto* timeBox = new QGroupBox(QStringLiteral("Time range"));
    auto* form = new QFormLayout(timeBox);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto [enabled, edit, name] : {std::tuple{&fromEnabled, &from, "From"}, std::tuple{&toEnabled, &to, "To"}}) {
        *enabled = new QCheckBox(QString::fromLatin1(name));
        *edit = new QDateTimeEdit(now);
        (*edit)->setTimeSpec(Qt::UTC);
        (*edit)->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
        (*edit)->setCalendarPopup(true);
        (*edit)->setEnabled(false);
        connect(*enabled, &QCheckBox::toggled, *edit, &QWidget::setEnabled);
        connect(*enabled, &QCheckBox::toggled, this, &ArchiveTab::updateChoice);
        connect(*edit, &QDateTimeEdit::dateTimeChanged, this, &ArchiveTab::updateChoice);
        form->addRow(*enabled, *edit);
    }
    side->addWidget(timeBox);
    lists->addLayout(side, 1);
    layout->addLayout(lists, 1);

    // Loading.
    auto* bottom = new QHBoxLayout;
    choice = new QLabel;
    load = new QPushButton(ToolIcon::of(QStringLiteral("document-import"), QStringLiteral("arrow-right")),
                           QStringLiteral("Load into the messages table"));
    load->setObjectName(QStringLiteral("pushButtonArchiveLoad"));
    outcome = new QLabel;
    outcome->setObjectName(QStringLiteral("labelArchiveOutcome"));
    outcome->setWordWrap(true);
    bottom->addWidget(choice, 1);
    bottom->addWidget(outcome);
    bottom->addWidget(load);
    layout->addLayout(bottom);

    summaryTimer.setSingleShot(true);
    summaryTimer.setInterval(summaryDelayMs);
    connect(&summaryTimer, &QTimer::timeout, keeper, &Archive::ArchiveKeeper::refreshSummary);
    connect(refresh, &QPushButton::clicked, keeper, &Archive::ArchiveKeeper::refreshSummary);
    connect(load, &QPushButton::clicked, this, [this] { Q_EMIT sigLoadRequested(query()); });
    connect(platformsView->selectionModel(), &QItemSelectionModel::selectionChanged, this, &ArchiveTab::updateChoice);
    connect(receivers, &QListWidget::itemChanged, this, &ArchiveTab::updateChoice);
    connect(receivers, &QListWidget::itemDoubleClicked, this, &ArchiveTab::editTeam);
    // The team of the receiver chosen is offered to edit.
    connect(receivers, &QListWidget::currentItemChanged, this, [this](const QListWidgetItem* item) {
        team->setText(item ? teams.value(item->data(Qt::UserRole).toString()) : QString());
        showState();
    });
    connect(team, &QLineEdit::returnPressed, this, &ArchiveTab::setTeam);
    connect(setTeamButton, &QPushButton::clicked, this, &ArchiveTab::setTeam);
    connect(importButton, &QPushButton::clicked, this, &ArchiveTab::chooseImport);
    connect(exportButton, &QPushButton::clicked, this, &ArchiveTab::chooseExport);
    connect(keeper, &Archive::ArchiveKeeper::sigImported, this,
            [this](const QString& path, qint64 added, const QString& refusal) { showTransfer(path, added, refusal, true); });
    connect(keeper, &Archive::ArchiveKeeper::sigExported, this,
            [this](const QString& path, qint64 written, const QString& refusal) { showTransfer(path, written, refusal, false); });
    teams = Utils::Settings::instance()->loadTeamNames();

    connect(keeper, &Archive::ArchiveKeeper::sigReady, this, [this] {
        showState();
        this->keeper->refreshSummary();
    });
    connect(keeper, &Archive::ArchiveKeeper::sigWarning, this, [this](const QString& text) {
        if (!this->keeper->isOn()) {
            offReason = text;
        }
        showState();
    });
    connect(keeper, &Archive::ArchiveKeeper::sigSummary, this, &ArchiveTab::showSummary);
    // New messages show in the counts while the page is looked at.
    connect(keeper, &Archive::ArchiveKeeper::sigStored, this, [this](int added) {
        if (added > 0 && isVisible() && !summaryTimer.isActive()) {
            summaryTimer.start();
        }
    });
    showState();
    updateChoice();
}

void ArchiveTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    if (keeper->isReady()) {
        keeper->refreshSummary();
    }
}

void ArchiveTab::showState()
{
    const bool on = keeper->isOn();
    refresh->setEnabled(on);
    load->setEnabled(on);
    importButton->setEnabled(on && keeper->isWritable() && importing.isEmpty());
    exportButton->setEnabled(on && keeper->isReady());
    const QListWidgetItem* current = receivers->currentItem();
    setTeamButton->setEnabled(current && !current->data(Qt::UserRole).toString().isEmpty());
    if (!on) {
        state->setText(offReason.isEmpty() ? QStringLiteral("No archive is kept: it is switched off in the settings file.")
                                           : QStringLiteral("No archive is kept this session. %1").arg(offReason));
        return;
    }
    const QString file = QDir::toNativeSeparators(keeper->path()) +
                         (keeper->isWritable() ? QString() : QStringLiteral(" (read-only)"));
    if (!keeper->isReady()) {
        state->setText(QStringLiteral("Opening the archive %1…").arg(file));
    } else if (archived < 0) {
        state->setText(QStringLiteral("Archive %1").arg(file));
    } else {
        state->setText(QStringLiteral("Archive %1: %2 messages, %3 platforms, %4 receivers")
                           .arg(file)
                           .arg(archived)
                           .arg(platforms->rowCount())
                           .arg(receivers->count()));
        }
}

void ArchiveTab::showSummary(const Archive::ArchiveSummary_t& summary)
{
    // The choice survives a new summary.
    const Archive::ArchiveQuery_t chosen = query();

    platforms->setPlatforms(summary.platforms);
    QItemSelection selection;
    for (const QString& id : chosen.platformIds) {
        const int row = platforms->rowOf(id);
        if (row >= 0) {
            selection.select(platforms->index(row, 0), platforms->index(row, ArchivePlatformsModel::COLUMN_TOTAL - 1));
        }
    }
    platformsView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);

    summaryReceivers = summary.receivers;
    fillReceivers();
    archived = summary.count;
    showState();
    updateChoice();
}

Archive::ArchiveQuery_t ArchiveTab::query() const
{
    Archive::ArchiveQuery_t query;
    for (const QModelIndex& index : platformsView->selectionModel()->selectedRows()) {
        query.platformIds << platforms->idAt(index.row());
    }
    // Every receiver ticked leaves the list empty, which also takes those archived later.
    const QStringList ticked = tickedReceivers();
    if (ticked.size() < receivers->count()) {
        query.receivers = ticked;
    }
    if (fromEnabled->isChecked()) {
        query.from = from->dateTime();
    }
    if (toEnabled->isChecked()) {
        query.to = to->dateTime();
    }
    return query;
}

QStringList ArchiveTab::tickedReceivers() const
{
    QStringList ticked;
    for (int row = 0; row < receivers->count(); ++row) {
        if (receivers->item(row)->checkState() == Qt::Checked) {
            ticked << receivers->item(row)->data(Qt::UserRole).toString();
        }
    }
    return ticked;
}

void ArchiveTab::updateChoice()
{
    const Archive::ArchiveQuery_t chosen = query();
    const qsizetype ticked = tickedReceivers().size();
    const QString which = chosen.platformIds.isEmpty()      ? QStringLiteral("every platform")
                          : chosen.platformIds.size() == 1 ? QStringLiteral("platform %1").arg(chosen.platformIds.first())
                                                           : QStringLiteral("%1 platforms").arg(chosen.platformIds.size());
    const QString heard = ticked == receivers->count()
                              ? QStringLiteral("any receiver")
                              : QStringLiteral("%1 of %2 receivers").arg(ticked).arg(receivers->count());
    choice->setText(QStringLiteral("To load: %1, heard by %2.").arg(which, heard));
    load->setEnabled(keeper->isOn() && (ticked > 0 || receivers->count() == 0));
}

void ArchiveTab::showLoaded(int count)
{
    outcome->setText(count < 0    ? QStringLiteral("Nothing was loaded.")
                     : count == 0 ? QStringLiteral("Nothing archived matches.")
                                  : QStringLiteral("%1 messages loaded.").arg(count));
}


void ArchiveTab::fillReceivers()
{
    QStringList unticked;
    for (int row = 0; row < receivers->count(); ++row) {
        if (receivers->item(row)->checkState() != Qt::Checked) {
            unticked << receivers->item(row)->data(Qt::UserRole).toString();
        }
    }
    const int currentRow = receivers->currentRow();
    // The team being typed stays as it is.
    const QSignalBlocker blocker(receivers);
    receivers->clear();
    for (const Archive::ArchiveSummary_t::Receiver_t& receiver : std::as_const(summaryReceivers)) {
        QString serial = receiver.serialNumber.isEmpty() ? QStringLiteral("(no serial number)") : receiver.serialNumber;
        // Kept by an older Vantrel: other receivers may share that first part.
        if (receiver.partial && !receiver.serialNumber.isEmpty()) {
            serial += QStringLiteral("-? (first part of the number only)");
        }
        const QString teamName = teams.value(receiver.serialNumber);
        if (!teamName.isEmpty()) {
            serial += QStringLiteral(", team %1").arg(teamName);
        }
        auto* item = new QListWidgetItem(QStringLiteral("%1, %2: %3 messages, %4")
                                             .arg(serial, Utils::GenerationText::of(receiver.generation))
                                             .arg(receiver.count)
                                             .arg(spanText(receiver.first, receiver.last)),
                                         receivers);
        item->setData(Qt::UserRole, receiver.serialNumber);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(unticked.contains(receiver.serialNumber) ? Qt::Unchecked : Qt::Checked);
    }
    receivers->setCurrentRow(std::min(currentRow, receivers->count() - 1));
}

void ArchiveTab::editTeam(QListWidgetItem* item)
{
    receivers->setCurrentItem(item);
    team->setText(teams.value(item->data(Qt::UserRole).toString()));
    team->setFocus();
    team->selectAll();
}

void ArchiveTab::setTeam()
{
    const QListWidgetItem* current = receivers->currentItem();
    const QString serial = current ? current->data(Qt::UserRole).toString() : QString();
    if (serial.isEmpty()) {
        return;
    }
    const QString name = team->text().simplified();
    if (name.isEmpty()) {
        teams.remove(serial);
    } else {
        teams.insert(serial, name);
    }
    Utils::Settings::instance()->saveTeamNames(teams);
    fillReceivers();
}

void ArchiveTab::chooseImport()
{
    const QString path = Dialogs::openFileName(this, QStringLiteral("Import an archive"), archiveFilter);
    if (path.isEmpty()) {
        return;
    }
    importing = path;
    outcome->setText(QStringLiteral("Importing %1…").arg(QDir::toNativeSeparators(path)));
    showState();
    keeper->importArchive(path);
}

void ArchiveTab::chooseExport()
{
    const QString path = Dialogs::saveFileName(this, QStringLiteral("Export an archive"), archiveFilter, QString(),
                                               QStringLiteral("sqlite"), QStringLiteral("vantrel-export.sqlite"));
    if (path.isEmpty()) {
        return;
    }
    outcome->setText(QStringLiteral("Exporting to %1…").arg(QDir::toNativeSeparators(path)));
    keeper->exportArchive(query(), path);
}

void ArchiveTab::showTransfer(const QString& path, qint64 count, const QString& refusal, bool imported)
{
    const QString file = QDir::toNativeSeparators(path);
    if (imported) {
        importing.clear();
        showState();
    }
    if (!refusal.isEmpty()) {
        outcome->setText(imported ? QStringLiteral("Not imported: %1.").arg(refusal)
                                  : QStringLiteral("Not exported: %1.").arg(refusal));
        return;
    }
    outcome->setText(imported ? QStringLiteral("%1 messages added from %2.").arg(count).arg(file)
                              : QStringLiteral("%1 messages exported to %2.").arg(count).arg(file));
    if (imported && count > 0) {
        keeper->refreshSummary();
    }
}

} // namespace Vantrel::Ui
