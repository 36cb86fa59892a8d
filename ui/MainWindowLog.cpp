// Log view of the Terminal tab: a level filter, a search field and the follow state.
#include "ui/MainWindow.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>

#include "ui_UiMainWindow.h"

namespace Vantrel::Ui {

void MainWindow::setupLogView()
{
    auto* row = new QHBoxLayout;
    auto* levelLabel = new QLabel(QStringLiteral("Show"), ui->tabTerminal);
    auto* level = new QComboBox(ui->tabTerminal);
    level->setObjectName(QStringLiteral("comboBoxLogLevel"));
    level->addItem(QStringLiteral("All messages"), int(QtDebugMsg));
    level->addItem(QStringLiteral("Info and above"), int(QtInfoMsg));
    level->addItem(QStringLiteral("Warnings and errors"), int(QtWarningMsg));
    levelLabel->setBuddy(level);

    auto* search = new QLineEdit(ui->tabTerminal);
    search->setObjectName(QStringLiteral("lineEditLogSearch"));
    search->setPlaceholderText(QStringLiteral("Search the log"));
    search->setClearButtonEnabled(true);

    auto* paused = new QLabel(QStringLiteral("Follow paused: scroll to the bottom to resume"), ui->tabTerminal);
    paused->setObjectName(QStringLiteral("labelLogFollowPaused"));
    paused->setStyleSheet(QStringLiteral("QLabel { color: #8a5a00; }"));
    paused->hide();

    row->addWidget(levelLabel);
    row->addWidget(level);
    row->addWidget(search, 1);
    row->addWidget(paused);
    ui->verticalLayout_3->insertLayout(0, row);

    Tarsk::Ui::UiLogger* log = &logger();
    connect(level, qOverload<int>(&QComboBox::currentIndexChanged), log,
            [log, level](int index) { log->setMinimumLevel(QtMsgType(level->itemData(index).toInt())); });
    connect(search, &QLineEdit::textChanged, log, &Tarsk::Ui::UiLogger::setSearchText);
    connect(log, &Tarsk::Ui::UiLogger::sigFollowPausedChanged, paused, &QLabel::setVisible);
    // The table cannot scroll while its tab is hidden; catch up when it shows.
    connect(ui->tabWidget, &QTabWidget::currentChanged, log, [this, log](int index) {
        if (ui->tabWidget->widget(index) == ui->tabTerminal) {
            log->scrollToNewest();
        }
    });
}

} // namespace Vantrel::Ui
