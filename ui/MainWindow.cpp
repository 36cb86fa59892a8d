#include "ui/MainWindow.h"

#include <QAction>
#include <QDateTime>
#include <QFontDatabase>
#include <QHeaderView>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>

#include "AppIdentity.h"
#include "ui/PlatformsTableColumns.h"
#include "ui_UiMainWindow.h"
#include "utils/EnumText.h"
#include "utils/FileNames.h"
#include "utils/FilePlace.h"
#include "utils/FlashDumpInfo.h"
#include "utils/FlashMemory.h"
#include "utils/IdUtils.h"
#include "utils/OrvanBandsText.h"
#include "utils/Settings.h"

namespace Vantrel::Ui {

namespace {


} // namespace

QFont MainWindow::monospaceFont()
{
    for (const char* family : {"Consolas", "Courier New"}) {
        const QFont font(QString::fromLatin1(family));
        if (font.exactMatch()) {
            return font;
        }
    }
    return QFont(QStringLiteral("monospace"));
}

MainWindow::MainWindow()
    : ui(new Ui_UiMainWindow),
      help(this, QString::fromLatin1(App::buildStamp), QStringLiteral(":/Icons/KVL"), QStringLiteral(":/Icons/DFR"))
{
    ui->setupUi(this);

    help.setupUiToolbar();
    toolBar()->addSeparator();

    configureLogger(ui->tableWidgetLogger, 0, QStringLiteral(":/Icons/KVL_GREY"));
    logger().setFollow(true);
    QTableWidget* logTable = ui->tableWidgetLogger;
    // Follows the newest row unless the user has scrolled up to read.
    connect(logTable, &QTableWidget::itemChanged, logTable, [this] { logger().scrollToNewest(); },
            Qt::DirectConnection);
    logger().setMaximumNumberOfRows(1000);
    for (int column : {2, 3, 4}) {
        logTable->hideColumn(column);
    }

    wire(logTable, &QTableWidget::itemChanged, &MainWindow::slotTerminalContentAdded);
    wire(ui->tabWidget, &QTabWidget::currentChanged, &MainWindow::slotTabChanged);

    setWindowTitle(QStringLiteral("%1 - %2").arg(windowTitle(), QCoreApplication::applicationVersion()));

    ui->widgetSoftwareSetupDateTime->setNowLabel(QStringLiteral("System time"));

    wire(&statusRefreshTimer, &QTimer::timeout, &MainWindow::refreshStatusWhenIdle);
    // Idle means no request for a whole period: every request starts the wait anew.
    const auto requestSent = [this] {
        if (statusRefreshTimer.isActive()) {
            statusRefreshTimer.start();
        }
    };
    connect(&dfrLink, &Com::DfrLink::sigSendRequest, this, requestSent);
    connect(&dfrLink, &Com::DfrLink::sigSendManualDfrCmd, this, requestSent);
    // Ctrl+Q closes the window from any tab, as the desktop's programs do.
    auto* quit = new QAction(QStringLiteral("Quit"), this);
    quit->setShortcut(QKeySequence::Quit);
    quit->setShortcutContext(Qt::ApplicationShortcut);
    connect(quit, &QAction::triggered, this, &QWidget::close);
    addAction(quit);

    wire(&dfrLink, &Com::DfrLink::sigLinkCompromised, &MainWindow::slotDfrDisconnected);
    wire(&dfrLink, &Com::DfrLink::sigUartLinkStatusChanged, &MainWindow::slotUpdateUartLinkStatus);
    wire(&dfrLink, &Com::DfrLink::sigOrvanMessageReceived, &MainWindow::slotOrvanMessageReceived);
    wire(Utils::FlashMemory::instance(), &Utils::FlashMemory::sigOrvanDecoded,
         &MainWindow::slotOrvanMessageReceived);
    // The messages table and its tools serve flash dumps opened without a receiver,
    // so they are wired for the window's whole life.
    wire(ui->pushButtonRxFlashOpenDump, &QPushButton::clicked, &MainWindow::slotOpenFlashDump);
    wire(ui->lineEditRxFilter, &QLineEdit::textEdited, &MainWindow::slotFilterRxTable);
    wire(ui->pushButtonRxClearFilter, &QPushButton::clicked, &MainWindow::slotClearRxFilter);
    wire(ui->pushButtonRxClearSelection, &QPushButton::clicked, &MainWindow::slotClearSelectionRxTable);
    wire(ui->pushButtonRxClearTable, &QPushButton::clicked, &MainWindow::slotClearRxTable);
    wire(ui->pushButtonRxExportCSV, &QPushButton::clicked, &MainWindow::slotExportRxTable);
    wire(ui->tableWidgetRx, &QTableView::customContextMenuRequested,
         &MainWindow::slotShowRxTableContextMenu);
    wire(&comManager, &Com::ComManager::sigDfrDetected, &MainWindow::slotDfrDetected);
    wire(&comManager, &Com::ComManager::sigDfrRemoved, &MainWindow::slotDfrRemoved);

    ui->comboBoxSetupSoftwareCoordType->addItems(
        {QString::fromUtf8("xx.xxx°"), QString::fromUtf8("xx°xx'xx\""), QString::fromUtf8("xx°xx.xx'")});
    ui->comboBoxSetupSoftwareDistType->addItems(
        {QStringLiteral("km"), QStringLiteral("miles"), QStringLiteral("nautical miles")});
    for (const QString& band : orvanBandsText) {
        ui->comboBoxSetupSoftwareOrvanBand->addItem(band);
        ui->comboBoxPlatformsOrvanBand->addItem(band);
    }
    using Utils::EnumText;
    static const QStringList modulations = EnumText::keys<Com::DfrLink::OrvanModulation_t>(1);
    static const QStringList directionModes = EnumText::keys<Com::DfrLink::DirectionMode_t>();
    static const QStringList antennaPositions = EnumText::keys<Com::DfrLink::AntennaPosition_t>();
    static const QStringList antennaTypes = EnumText::keys<Com::DfrLink::AntennaType_t>();
    static const QStringList compassModes = EnumText::keys<Com::DfrLink::CompassMode_t>(1);
    ui->comboBoxPlatformsModulation->addItems(modulations);
    ui->comboBoxHardwareDirectionMode->addItems(directionModes);
    ui->comboBoxHardwareAntennaPosition->addItems(antennaPositions);
    ui->comboBoxHardwareAntennaMode->addItems(antennaTypes);
    ui->comboBoxHardwareCompassMode->addItems(compassModes);

    setupRxTable();
    setupArchive();

    setupSlotTables();

    initSettingsTab();
    Utils::Settings::instance()->loadSettingsInternal();
    Utils::IdUtils::setMainWindow(this);

    setupNumericFields();
    setupLogView();
    setupScrollingTabs();
    setupToolIcons();
    setupStatusBar();
    restoreWindowState();
}

MainWindow::~MainWindow()
{
    // The base destructor closes the window, and the focus change makes widgets
    // emit signals (editingFinished) into this half-destroyed object: cut them first.
    const QList<QObject*> children = findChildren<QObject*>();
    for (QObject* child : children) {
        QObject::disconnect(child, nullptr, this, nullptr);
    }

    trafficLog.closeOnShutdown();
    dfrLink.setUartLink(QString());
    Utils::IdUtils::setMainWindow(nullptr);

    delete ui;
}

QToolBar* MainWindow::toolBar() const
{
    return ui->mainToolBar_;
}

void MainWindow::slotLastWindowClosed() {}

void MainWindow::slotPostInit()
{
    ui->splitter->setSizes({1, 1000});
    reinitGUI();
    ui->tabWidget->setTabEnabled(ui->tabWidget->indexOf(ui->tabSettings), true);
    showTabIfEnabled(pendingTab);
    updateSettingsWidgets();
    comManager.start();
    if (const QString note = Utils::FilePlace::firstUseNote(); !note.isEmpty()) {
        qInfo().noquote() << note;
    }
    qInfo().noquote() << "Ready!";
    logger().messageBatchEnd();
    terminalHasNewContent = false;
    updateTerminalTabAppearance();
}

QString MainWindow::offeredFileName(const QString& what, const QString& suffix) const
{
    // Named after the connected receiver; without one, after what and when only.
    const QString serial = ui->lineEditStatusSerial->text().isEmpty()
        ? QString()
        : Utils::FlashDumpInfo::wholeSerialNumber(shownStatus);
    return Utils::FileNames::offered(what, {serial}, QDateTime::currentDateTimeUtc(), suffix);
}

} // namespace Vantrel::Ui
