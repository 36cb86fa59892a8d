#pragma once

#include <QAbstractTableModel>

#include "locate/SearchLog.h"

namespace Vantrel::Ui {

// The platforms of a search, one per row in the order first heard, read
// straight from the search log: label, identifier, bearings, state of the fix.
class LocatePlatformsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column_t
    {
        COLUMN_LABEL,
        COLUMN_ID,
        COLUMN_BEARINGS,
        COLUMN_FIX,
        COLUMN_COUNT,
    };

    explicit LocatePlatformsModel(const Locate::SearchLog* log, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;

    // The log grew or its fixes changed: new platforms join at the bottom, the others are redrawn.
    void refresh();
    // The log was emptied.
    void reset();

    // "fix", or why there is none in a few words.
    static QString fixState(const Locate::Fix_t& fix);

private:
    const Locate::SearchLog* log;
    int rows = 0;
};

} // namespace Vantrel::Ui
