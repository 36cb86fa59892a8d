#pragma once

#include <QAbstractTableModel>
#include <QVector>

#include "ui/PlatformsTableColumns.h"

namespace Vantrel::Ui {

// One bank of receiver slots as last read, one row per slot in the order read:
// the window's one copy of them. The first column is the position; a bank
// says its titles and what an occupied slot shows in the others.
template <typename Info>
class SlotBankModel : public QAbstractTableModel
{
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(rows.size());
    }
    int columnCount(const QModelIndex& parent = QModelIndex()) const override
    {
        return parent.isValid() ? 0 : int(headers().size());
    }
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override
    {
        if (!index.isValid() || index.row() >= rows.size()) {
            return {};
        }
        const Info& info = rows.at(index.row());
        switch (role) {
        case SLOTROLE_SLOT:
            return info.index;
        case SLOTROLE_OCCUPIED:
            return info.occupied;
        case SLOTROLE_SORTKEY:
            if (index.column() == 0) {
                return info.index;
            }
            [[fallthrough]];
        case Qt::DisplayRole:
            if (index.column() == 0) {
                return slotPositionText(info.index);
            }
            return info.occupied ? cellText(info, index.column()) : QString();
        default:
            return {};
        }
    }
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override
    {
        if (orientation != Qt::Horizontal || role != Qt::DisplayRole) {
            return QAbstractTableModel::headerData(section, orientation, role);
        }
        return headers().value(section);
    }

    const QVector<Info>& records() const { return rows; }
    // The slot as held, nullptr when it has not been read.
    const Info* slotAt(qint32 slot) const
    {
        for (const Info& info : rows) {
            if (info.index == slot) {
                return &info;
            }
        }
        return nullptr;
    }
    // Replaces the row of the slot, or adds one after the others when it has none.
    void setSlot(const Info& info)
    {
        for (int row = 0; row < rows.size(); ++row) {
            if (rows.at(row).index == info.index) {
                rows[row] = info;
                Q_EMIT dataChanged(index(row, 0), index(row, columnCount() - 1));
                return;
            }
        }
        beginInsertRows({}, int(rows.size()), int(rows.size()));
        rows.append(info);
        endInsertRows();
    }
    void clear()
    {
        beginResetModel();
        rows.clear();
        endResetModel();
    }

protected:
    virtual QStringList headers() const = 0;
    // Text of an occupied slot in a column after the position.
    virtual QString cellText(const Info& info, int column) const = 0;

private:
    QVector<Info> rows;
};

} // namespace Vantrel::Ui
