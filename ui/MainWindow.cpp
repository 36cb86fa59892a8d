#include "ui/MainWindow.h"

#include <QDateTime>
#include <QFontDatabase>
#include <QHeaderView>
#include <QMetaEnum>
#include <QSplitter>
#include <QTableWidget>
#include <QToolBar>

#include "app/AppIdentity.h"
#include "app/Constants.h"
#include "ui_UiMainWindow.h"
#include "utils/IdUtils.h"
#include "utils/Settings.h"

namespace Vantrel::Ui {

namespace {

const QStringList rxTableHeaders = {
    QStringLiteral("Origin"), QStringLiteral("Index"), QStringLiteral("Label"), QStringLiteral("Position"),
    QStringLiteral("Time"), QStringLiteral("Id"), QStringLiteral("Frequency (Hz)"),
    QString::fromUtf8("Direction (°)"), QStringLiteral("Band"), QStringLiteral("Modulation"),
    QStringLiteral("Level (dBm)"), QStringLiteral("Period (s)"), QString::fromUtf8("Latitude DFR (°)"),
    QString::fromUtf8("Longitude DFR (°)"), QString::fromUtf8("Direction DFR (°)"),
    QString::fromUtf8("Latitude payload (°)"), QString::fromUtf8("Longitude payload (°)"), QStringLiteral("CRC"),
    QStringLiteral("Payload"), QStringLiteral("Raw payload"),
};

// The keys of one DfrLink enumeration without their prefix; the meta-object is
// searched once per enumeration and process.
QStringList enumKeys(const char* enumName, const char* prefix, bool dropLast)
{
    const QMetaObject& meta = Com::DfrLink::staticMetaObject;
    const QMetaEnum metaEnum = meta.enumerator(meta.indexOfEnumerator(enumName));
    QStringList keys;
    const int count = metaEnum.keyCount() - (dropLast ? 1 : 0);
    for (int i = 0; i < count; ++i)
        keys.append(QString::fromLatin1(metaEnum.key(i)).remove(0, int(qstrlen(prefix))));
    return keys;
}

void prepareSlotsTable(QTableWidget* table, const QStringList& headers)
{
    table->setColumnCount(int(headers.size()));
    table->setHorizontalHeaderLabels(headers);
    table->verticalHeader()->hide();
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeColumnsToContents();
}

} // namespace

QFont MainWindow::monospaceFont()
{
    for (const char* family : {"Consolas", "Courier New"}) {
        const QFont font(QString::fromLatin1(family));
        if (font.exactMatch())
            return font;
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
    for (int column : {2, 3, 4})
        logTable->hideColumn(column);

    connect(logTable, &QTableWidget::itemChanged, this, &MainWindow::slotTerminalContentAdded);
    connect(ui->tabWidget, &QTabWidget::currentChanged, this, &MainWindow::slotTabChanged);

    setWindowTitle(QStringLiteral("%1 - %2").arg(windowTitle(), QCoreApplication::applicationVersion()));

    ui->widgetSoftwareSetupDateTime->setNowLabel(QStringLiteral("System time"));

    connect(&dfrLink, &Com::DfrLink::sigLinkCompromised, this, &MainWindow::slotDfrDisconnected);
    connect(&dfrLink, &Com::DfrLink::sigUartLinkStatusChanged, this, &MainWindow::slotUpdateUartLinkStatus);
    connect(&dfrLink, &Com::DfrLink::sigOrvanMessageReceived, this, &MainWindow::slotOrvanMessageReceived);
    connect(&comManager, &Com::ComManager::sigDfrDetected, this, &MainWindow::slotDfrDetected);
    connect(&comManager, &Com::ComManager::sigDfrRemoved, this, &MainWindow::slotDfrRemoved);

    ui->comboBoxSetupSoftwareCoordType->addItems(
        {QString::fromUtf8("xx.xxx°"), QString::fromUtf8("xx°xx'xx\""), QString::fromUtf8("xx°xx.xx'")});
    ui->comboBoxSetupSoftwareDistType->addItems(
        {QStringLiteral("km"), QStringLiteral("miles"), QStringLiteral("nautical miles")});
    for (const QString& band : orvanBandsText) {
        ui->comboBoxSetupSoftwareOrvanBand->addItem(band);
        ui->comboBoxPlatformsOrvanBand->addItem(band);
    }
    static const QStringList modulations = enumKeys("OrvanModulation_t", "ORVANMODULATION_", true);
    static const QStringList directionModes = enumKeys("DirectionMode_t", "DIRECTIONMODE_", false);
    static const QStringList antennaPositions = enumKeys("AntennaPosition_t", "ANTENNAPOSITION_", false);
    static const QStringList antennaTypes = enumKeys("AntennaType_t", "ANTENNATYPE_", false);
    static const QStringList compassModes = enumKeys("CompassMode_t", "COMPASSMODE_", true);
    ui->comboBoxPlatformsModulation->addItems(modulations);
    ui->comboBoxHardwareDirectionMode->addItems(directionModes);
    ui->comboBoxHardwareAntennaPosition->addItems(antennaPositions);
    ui->comboBoxHardwareAntennaMode->addItems(antennaTypes);
    ui->comboBoxHardwareCompassMode->addItems(compassModes);

    QTableWidget* rxTable = ui->tableWidgetRx;
    rxTable->setColumnCount(int(rxTableHeaders.size()));
    rxTable->setHorizontalHeaderLabels(rxTableHeaders);
    rxTable->horizontalHeader()->setStretchLastSection(true);
    rxTable->resizeColumnsToContents();
    rxTable->setContextMenuPolicy(Qt::CustomContextMenu);
    const QFont mono = monospaceFont();
    for (int column : {18, 19})
        rxTable->horizontalHeaderItem(column)->setFont(mono);

    prepareSlotsTable(ui->tableWidgetPlatforms, {QStringLiteral("Pos"), QStringLiteral("Id"),
                                                 QStringLiteral("Modulation"), QStringLiteral("Label"),
                                                 QStringLiteral("GPS Format")});
    prepareSlotsTable(ui->tableWidgetGpsFormats, {QStringLiteral("Pos"), QStringLiteral("Name")});

    initSettingsTab();
    Utils::Settings::instance()->loadSettingsInternal();
    Utils::IdUtils::setMainWindow(this);

    setupNumericFields();
    setupLogView();
    setupScrollingTabs();
    setupStatusBar();
    restoreWindowState();
}

MainWindow::~MainWindow()
{
    // The base destructor closes the window, and the focus change makes widgets
    // emit signals (editingFinished) into this half-destroyed object: cut them first.
    const QList<QObject*> children = findChildren<QObject*>();
    for (QObject* child : children)
        QObject::disconnect(child, nullptr, this, nullptr);

    if (logFile.isOpen()) {
        writeLogFileEvent(QStringLiteral(" : Application shutdown"));
        logFile.close();
    }
    dfrLink.setUartLink(QString());
    Utils::IdUtils::setMainWindow(nullptr);

    delete ui;
}

QToolBar* MainWindow::toolBar() const
{
    return ui->mainToolBar_;
}

void MainWindow::slotLastWindowClosed() {}

void MainWindow::writeLogFileEvent(const QString& text)
{
    writeLogFileLine(QDateTime::currentDateTimeUtc(), text);
}

void MainWindow::slotPostInit()
{
    ui->splitter->setSizes({1, 1000});
    reinitGUI();
    ui->tabWidget->setTabEnabled(5, true);
    showTabIfEnabled(pendingTab);
    updateSettingsWidgets();
    comManager.start();
    qInfo().noquote() << "Ready!";
    logger().messageBatchEnd();
    terminalHasNewContent = false;
    updateTerminalTabAppearance();
}

} // namespace Vantrel::Ui
