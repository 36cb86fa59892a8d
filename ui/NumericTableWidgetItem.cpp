#include "ui/NumericTableWidgetItem.h"

#include <QVariant>

namespace Vantrel::Ui {

NumericTableWidgetItem::NumericTableWidgetItem() : QTableWidgetItem(QString()) {}

NumericTableWidgetItem::~NumericTableWidgetItem() = default;

bool NumericTableWidgetItem::operator<(const QTableWidgetItem& other) const
{
    const QVariant key = data(Qt::UserRole);
    const QVariant otherKey = other.data(Qt::UserRole);
    if (key.isValid() && otherKey.isValid())
        return key.toInt() < otherKey.toInt();
    return QTableWidgetItem::operator<(other);
}

} // namespace Vantrel::Ui
