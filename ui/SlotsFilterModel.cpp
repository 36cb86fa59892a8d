#include "ui/SlotsFilterModel.h"

#include "ui/PlatformsTableColumns.h"

namespace Vantrel::Ui {

SlotsFilterModel::SlotsFilterModel(QAbstractItemModel* source, QObject* parent) : QSortFilterProxyModel(parent)
{
    setDynamicSortFilter(false);
    setSortRole(SLOTROLE_SORTKEY);
    setSourceModel(source);
    // A changed slot takes its place in the current order, as the table keeps it sorted.
    connect(source, &QAbstractItemModel::dataChanged, this, [this] {
        if (sortColumn() >= 0) {
            sort(sortColumn(), sortOrder());
        }
    });
}

void SlotsFilterModel::setHideEmpty(bool hide)
{
    if (hide == hideEmpty) {
        return;
    }
    hideEmpty = hide;
    invalidateFilter();
}

bool SlotsFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const
{
    return !hideEmpty || sourceModel()->index(sourceRow, 0, sourceParent).data(SLOTROLE_OCCUPIED).toBool();
}

} // namespace Vantrel::Ui
