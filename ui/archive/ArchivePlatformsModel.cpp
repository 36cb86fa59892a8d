#include "ui/archive/ArchivePlatformsModel.h"

#include <algorithm>

namespace Vantrel::Ui {

namespace {

using Platform_t = Archive::ArchiveSummary_t::Platform_t;

QString timeText(const QDateTime& time)
{
    return time.isValid() ? time.toUTC().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")) : QString();
}

} // namespace

int ArchivePlatformsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(platforms.size());
}

int ArchivePlatformsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_TOTAL;
}

QVariant ArchivePlatformsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= platforms.size()) {
        return QVariant();
    }
    const Platform_t& platform = platforms[index.row()];
    if (role == Qt::TextAlignmentRole && index.column() == COLUMN_COUNT) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return QVariant();
    }
    switch (index.column()) {
    case COLUMN_ID: return platform.id;
    case COLUMN_LABEL: return platform.label;
    case COLUMN_COUNT: return QString::number(platform.count);
    case COLUMN_FIRST: return timeText(platform.first);
    case COLUMN_LAST: return timeText(platform.last);
    default: return QVariant();
    }
}

QVariant ArchivePlatformsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    static const char* const headers[COLUMN_TOTAL] = {"Id", "Label", "Messages", "First (UTC)", "Last (UTC)"};
    return section >= 0 && section < COLUMN_TOTAL ? QString::fromLatin1(headers[section]) : QVariant();
}

void ArchivePlatformsModel::sort(int column, Qt::SortOrder order)
{
    sortColumn = column;
    sortOrder = order;
    Q_EMIT layoutAboutToBeChanged();
    // Selections follow their platforms.
    const QModelIndexList persistent = persistentIndexList();
    QStringList persistentIds;
    for (const QModelIndex& index : persistent) {
        persistentIds << platforms.value(index.row()).id;
    }
    const auto before = [column](const Platform_t& a, const Platform_t& b) {
        switch (column) {
        case COLUMN_LABEL: return a.label < b.label;
        case COLUMN_COUNT: return a.count < b.count;
        case COLUMN_FIRST: return a.first < b.first;
        case COLUMN_LAST: return a.last < b.last;
        default: return a.id < b.id;
        }
    };
    if (order == Qt::AscendingOrder) {
        std::stable_sort(platforms.begin(), platforms.end(), before);
    } else {
        std::stable_sort(platforms.begin(), platforms.end(),
                         [&before](const Platform_t& a, const Platform_t& b) { return before(b, a); });
        }
    for (int i = 0; i < persistent.size(); ++i) {
        changePersistentIndex(persistent[i], index(rowOf(persistentIds[i]), persistent[i].column()));
    }
    Q_EMIT layoutChanged();
}

void ArchivePlatformsModel::setPlatforms(QVector<Platform_t> newPlatforms)
{
    beginResetModel();
    platforms = std::move(newPlatforms);
    endResetModel();
    sort(sortColumn, sortOrder);
}

int ArchivePlatformsModel::rowOf(const QString& id) const
{
    for (int row = 0; row < platforms.size(); ++row) {
        if (platforms[row].id == id) {
            return row;
        }
    }
    return -1;
}

} // namespace Vantrel::Ui
