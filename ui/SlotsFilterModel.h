#pragma once

#include <QSortFilterProxyModel>

namespace Vantrel::Ui {

// A slot bank as a table shows it: sorted by the typed sort keys, and with the
// empty slots hidden on request. The filter is applied when asked and when rows
// are added, not when a slot changes, so that a slot emptied on screen stays in
// view until the next load or toggle.
class SlotsFilterModel : public QSortFilterProxyModel
{
public:
    explicit SlotsFilterModel(QAbstractItemModel* source, QObject* parent = nullptr);

    void setHideEmpty(bool hide);

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

private:
    bool hideEmpty = false;
};

} // namespace Vantrel::Ui
