#include "ui/locate/LocatePlatformsModel.h"

namespace Vantrel::Ui {

LocatePlatformsModel::LocatePlatformsModel(const Locate::SearchLog* log, QObject* parent)
    : QAbstractTableModel(parent), log(log), rows(log->platformCount())
{
}

int LocatePlatformsModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows;
}

int LocatePlatformsModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : COLUMN_COUNT;
}

QString LocatePlatformsModel::fixState(const Locate::Fix_t& fix)
{
    switch (fix.refusal) {
    case Locate::REFUSAL_NONE: return QStringLiteral("fix");
    case Locate::REFUSAL_TOO_FEW: return QStringLiteral("too few bearings");
    case Locate::REFUSAL_SHORT_BASELINE: return QStringLiteral("all from one place");
    case Locate::REFUSAL_PARALLEL: return QStringLiteral("bearings do not cross");
    case Locate::REFUSAL_BEHIND: return QStringLiteral("crossing behind the receiver");
    case Locate::REFUSAL_NO_CONVERGENCE: return QStringLiteral("did not converge");
    case Locate::REFUSAL_BAD_OPTIONS: return QStringLiteral("options not usable");
    }
    return QString();
}

QVariant LocatePlatformsModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rows) {
        return {};
    }
    const Locate::SearchLog::Platform_t& platform = log->platform(index.row());
    if (role == Qt::ToolTipRole && index.column() == COLUMN_FIX) {
        return platform.fix.ok() ? QVariant() : QVariant(platform.fix.reason);
    }
    if (role == Qt::TextAlignmentRole && index.column() == COLUMN_BEARINGS) {
        return int(Qt::AlignRight | Qt::AlignVCenter);
    }
    if (role != Qt::DisplayRole) {
        return {};
    }
    switch (index.column()) {
    case COLUMN_LABEL: return platform.label;
    case COLUMN_ID: return platform.id;
    case COLUMN_BEARINGS:
        // After a flash read most bearings may be from earlier searches: say how many this one has.
        if (platform.stretch.leftOut() > 0) {
            return QStringLiteral("%1 of %2").arg(platform.stretch.bearings).arg(platform.bearings.size());
        }
        return int(platform.bearings.size());
    case COLUMN_FIX: return fixState(platform.fix);
    }
    return {};
}

QVariant LocatePlatformsModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    switch (section) {
    case COLUMN_LABEL: return QStringLiteral("Label");
    case COLUMN_ID: return QStringLiteral("Identifier");
    case COLUMN_BEARINGS: return QStringLiteral("Bearings");
    case COLUMN_FIX: return QStringLiteral("Fix");
    }
    return {};
}

void LocatePlatformsModel::refresh()
{
    const int count = log->platformCount();
    if (count > rows) {
        beginInsertRows(QModelIndex(), rows, count - 1);
        rows = count;
        endInsertRows();
    }
    if (rows > 0) {
        Q_EMIT dataChanged(index(0, 0), index(rows - 1, COLUMN_COUNT - 1), {Qt::DisplayRole, Qt::ToolTipRole});
    }
}

void LocatePlatformsModel::reset()
{
    beginResetModel();
    rows = log->platformCount();
    endResetModel();
}

} // namespace Vantrel::Ui
