#pragma once

#include <QTableWidgetItem>

namespace Vantrel::Ui {

// A cell that sorts by the integer under Qt::UserRole, so that 10 follows 9.
class NumericTableWidgetItem : public QTableWidgetItem
{
public:
    NumericTableWidgetItem();
    ~NumericTableWidgetItem() override;

    // Falls back to the text order unless both cells carry a sort key.
    bool operator<(const QTableWidgetItem& other) const override;
};

} // namespace Vantrel::Ui
