#pragma once

#include <QAbstractTableModel>
#include <QVector>

#include "archive/ArchiveRecord.h"

namespace Vantrel::Ui {

// The platforms the archive holds, one summary record per row, sorted by typed keys.
class ArchivePlatformsModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column_t { COLUMN_ID, COLUMN_LABEL, COLUMN_COUNT, COLUMN_FIRST, COLUMN_LAST, COLUMN_TOTAL };

    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;

    void setPlatforms(QVector<Archive::ArchiveSummary_t::Platform_t> platforms);
    QString idAt(int row) const { return platforms.value(row).id; }
    int rowOf(const QString& id) const;

private:
    QVector<Archive::ArchiveSummary_t::Platform_t> platforms;
    int sortColumn = COLUMN_ID;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
};

} // namespace Vantrel::Ui
