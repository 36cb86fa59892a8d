// Favourite platforms as the identifier rules see them.
#include "ui/MainWindow.h"

#include <QTableWidget>

#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

QList<QPair<QString, Com::DfrLink::OrvanModulation_t>> MainWindow::getFavoritePlatforms() const
{
    static const QList<QPair<QString, Com::DfrLink::OrvanModulation_t>> modulations = {
        {QStringLiteral("A2"), Com::DfrLink::ORVANMODULATION_A2},
        {QStringLiteral("A3"), Com::DfrLink::ORVANMODULATION_A3},
        {QStringLiteral("A4"), Com::DfrLink::ORVANMODULATION_A4},
        {QStringLiteral("LDK"), Com::DfrLink::ORVANMODULATION_LDK},
    };

    QList<QPair<QString, Com::DfrLink::OrvanModulation_t>> favorites;
    const QTableWidget* table = ui->tableWidgetPlatforms;
    for (int row = 0; row < table->rowCount(); ++row) {
        const QTableWidgetItem* idItem = table->item(row, 1);
        const QTableWidgetItem* modulationItem = table->item(row, 2);
        // Empty slots and rows of an unknown modulation cannot tell an identifier's width.
        if (!idItem || !modulationItem || idItem->text().isEmpty())
            continue;
        for (const auto& modulation : modulations) {
            if (modulationItem->text() == modulation.first) {
                favorites.append({idItem->text(), modulation.second});
                break;
            }
        }
    }
    return favorites;
}

} // namespace Vantrel::Ui
