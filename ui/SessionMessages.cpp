#include "ui/SessionMessages.h"

#include <QDateTime>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Vantrel::Ui {

SessionMessages::SessionMessages(QWidget* parent) : QDialog(parent), table(new QTableWidget(0, 3, this))
{
    setObjectName(QStringLiteral("sessionMessages"));
    setWindowTitle(QStringLiteral("Messages of this session"));
    table->setObjectName(QStringLiteral("tableWidgetSessionMessages"));
    table->setHorizontalHeaderLabels({QStringLiteral("Time (UTC)"), QStringLiteral("Kind"), QStringLiteral("Message")});
    table->horizontalHeader()->setStretchLastSection(true);
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setWordWrap(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::hide);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(table);
    layout->addWidget(buttons);
    resize(720, 360);
}

void SessionMessages::add(const QDateTime& time, const QString& kind, const QString& text)
{
    table->insertRow(0);
    const QString when = time.toUTC().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss"));
    int column = 0;
    for (const QString& cell : {when, kind, text}) {
        table->setItem(0, column++, new QTableWidgetItem(cell));
    }
    table->resizeRowToContents(0);
    if (table->rowCount() > kept) {
        table->removeRow(kept);
    }
}

} // namespace Vantrel::Ui
