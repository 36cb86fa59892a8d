#include "ui/locate/LocateTab.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QDir>
#include <QFileInfo>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSaveFile>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

#include "ui/Dialogs.h"
#include "ui/ToolIcon.h"
#include "ui/locate/LocateCalibrationPanel.h"
#include "ui/locate/LocatePlatformsModel.h"
#include "ui/locate/LocatePlot.h"
#include "ui/locate/LocateSightings.h"
#include "ui/locate/LocateTimeChart.h"
#include "utils/FileNames.h"
#include "utils/Settings.h"

namespace Vantrel::Ui {

namespace {

// The demo's simulated vehicle drives the next leg: its heading goes to the file the
// simulator's --search-steer reads, when VANTREL_STEER_FILE names one.
void steerSimulatedVehicle(const Locate::LegSuggestion_t& leg)
{
    static const QString fileName = qEnvironmentVariable("VANTREL_STEER_FILE");
    if (fileName.isEmpty()) {
        return;
    }
    QSaveFile file(fileName);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(QByteArray::number(leg.headingDeg, 'f', 1) + '\n');
        file.commit();
    }
}

} // namespace

LocateTab::LocateTab(QWidget* parent)
    : QWidget(parent), model(new LocatePlatformsModel(&log, this)), platformsView(new QTableView),
      plot(new LocatePlot), timeChart(new LocateTimeChart), calibration(new LocateCalibrationPanel(&log, this)),
      summary(new QLabel), legText(new QLabel), stretchText(new QLabel), clocksText(new QLabel),
      exportOutcome(new QLabel)
{
    connect(calibration, &LocateCalibrationPanel::calibrationsChanged, this, &LocateTab::scheduleRefresh);
    platformsView->setObjectName(QStringLiteral("tableViewLocatePlatforms"));
    platformsView->setModel(model);
    platformsView->setSelectionBehavior(QAbstractItemView::SelectRows);
    platformsView->setSelectionMode(QAbstractItemView::SingleSelection);
    platformsView->verticalHeader()->hide();
    platformsView->horizontalHeader()->setStretchLastSection(true);
    platformsView->setWordWrap(false);  // a row a line: the reason in full is in the tooltip
    connect(platformsView->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                chosenId = current.isValid() ? log.platform(current.row()).id : QString();
                showChosen();
            });

    summary->setObjectName(QStringLiteral("labelLocateSummary"));
    summary->setTextInteractionFlags(Qt::TextSelectableByMouse);
    summary->setWordWrap(true);
    QFont bold = summary->font();
    bold.setBold(true);
    summary->setFont(bold);
    legText->setObjectName(QStringLiteral("labelLocateLeg"));
    legText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    legText->setWordWrap(true);
    legText->setStyleSheet(QStringLiteral("color: #00735f"));
    legText->hide();
    stretchText->setObjectName(QStringLiteral("labelLocateStretch"));
    stretchText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    clocksText->setObjectName(QStringLiteral("labelLocateClocks"));
    clocksText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    clocksText->hide();
    exportOutcome->setObjectName(QStringLiteral("labelLocateExport"));
    exportOutcome->setWordWrap(true);
    exportOutcome->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* exports = new QHBoxLayout;
    const std::pair<Locate::GisExport::Format_t, const char*> formats[] = {
        {Locate::GisExport::FORMAT_GPX, "GPX…"},
        {Locate::GisExport::FORMAT_KML, "KML…"},
        {Locate::GisExport::FORMAT_GEOJSON, "GeoJSON…"}};
    for (const auto& [format, text] : formats) {
        auto* button = new QPushButton(ToolIcon::of(QStringLiteral("document-save-as"), QStringLiteral("save")),
                                       QString::fromUtf8(text));
        button->setEnabled(false);
        connect(button, &QPushButton::clicked, this, [this, format = format] { exportChosen(format); });
        exports->addWidget(button);
        exportButtons.append(button);
    }

    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->setContentsMargins(0, 0, 0, 0);
    leftLayout->addWidget(platformsView, 1);
    leftLayout->addWidget(createOptions());
    auto* exportBox = new QGroupBox(QStringLiteral("Export the chosen platform"));
    auto* exportLayout = new QVBoxLayout(exportBox);
    exportLayout->addLayout(exports);
    exportLayout->addWidget(exportOutcome);
    leftLayout->addWidget(exportBox);

    auto* charts = new QSplitter(Qt::Vertical);
    charts->addWidget(plot);
    charts->addWidget(timeChart);
    charts->setStretchFactor(0, 3);
    charts->setStretchFactor(1, 1);
    auto* right = new QWidget;
    auto* rightLayout = new QVBoxLayout(right);
    rightLayout->setContentsMargins(0, 0, 0, 0);
    rightLayout->addWidget(summary);
    rightLayout->addWidget(legText);
    auto* stretchRow = new QHBoxLayout;
    stretchRow->addWidget(stretchText, 1);
    auto* fit = new QPushButton(ToolIcon::of(QStringLiteral("zoom-fit-best"), QStringLiteral("fit")), QStringLiteral("Fit map"));
    fit->setObjectName(QStringLiteral("pushButtonLocateFit"));
    fit->setToolTip(QStringLiteral("Frame the fix, its ellipse and the current search's track"));
    connect(fit, &QPushButton::clicked, plot, &LocatePlot::fitView);
    stretchRow->addWidget(fit);
    rightLayout->addLayout(stretchRow);
    rightLayout->addWidget(clocksText);
    rightLayout->addWidget(charts, 1);

    auto* sides = new QSplitter(Qt::Horizontal);
    sides->addWidget(left);
    sides->addWidget(right);
    sides->setStretchFactor(0, 1);
    sides->setStretchFactor(1, 3);
    sides->setSizes({400, 900});
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(sides);

    refreshTimer.setSingleShot(true);
    connect(&refreshTimer, &QTimer::timeout, this, &LocateTab::refresh);
    stretchesChanged();
    optionsChanged();
}

QWidget* LocateTab::createOptions()
{
    const Locate::FixOptions_t defaults;
    auto* box = new QGroupBox(QStringLiteral("Fix"));
    auto* form = new QFormLayout(box);
    estimator = new QComboBox;
    for (Locate::Estimator_t each : {Locate::ESTIMATOR_ML, Locate::ESTIMATOR_HUBER, Locate::ESTIMATOR_ANDREWS}) {
        estimator->addItem(Locate::estimatorName(each), int(each));
    }
    estimator->setCurrentIndex(estimator->findData(int(defaults.estimator)));
    form->addRow(QStringLiteral("Estimator"), estimator);
    sigma = new QDoubleSpinBox;
    sigma->setRange(0.5, 45.0);
    sigma->setDecimals(1);
    sigma->setSuffix(QStringLiteral("°"));
    sigma->setValue(defaults.sigmaDeg);
    form->addRow(QStringLiteral("Bearing σ"), sigma);
    estimateSigma = new QCheckBox(QStringLiteral("Estimate from residuals"));
    estimateSigma->setChecked(defaults.estimateSigma);
    form->addRow(QString(), estimateSigma);
    offset = new QDoubleSpinBox;
    offset->setRange(-180.0, 180.0);
    offset->setDecimals(1);
    offset->setSuffix(QStringLiteral("°"));
    offset->setValue(defaults.offsetDeg);
    form->addRow(QStringLiteral("Bearing offset"), offset);
    auto* calibrate = new QPushButton(ToolIcon::of(QStringLiteral("configure"), QStringLiteral("calibrate")),
                                      QStringLiteral("Calibrate a receiver…"));
    calibrate->setObjectName(QStringLiteral("pushButtonLocateCalibrate"));
    connect(calibrate, &QPushButton::clicked, calibration, [this] { calibration->show(); calibration->raise(); });
    form->addRow(QString(), calibrate);
    // Each end of the time window stays open until ticked.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (auto [enabled, edit, name] : {std::tuple{&fromEnabled, &from, "From"}, std::tuple{&toEnabled, &to, "To"}}) {
        *enabled = new QCheckBox(QString::fromLatin1(name));
        *edit = new QDateTimeEdit(now);
        (*edit)->setTimeSpec(Qt::UTC);
        (*edit)->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm:ss 'UTC'"));
        (*edit)->setEnabled(false);
        connect(*enabled, &QCheckBox::toggled, *edit, &QWidget::setEnabled);
        connect(*enabled, &QCheckBox::toggled, this, &LocateTab::optionsChanged);
        connect(*edit, &QDateTimeEdit::dateTimeChanged, this, &LocateTab::optionsChanged);
        form->addRow(*enabled, *edit);
    }
    // A flash read brings earlier searches: by default only the latest counts.
    searches = new QComboBox;
    searches->setObjectName(QStringLiteral("comboBoxLocateSearches"));
    const std::pair<const char*, int> kept[] = {{"this one", 1}, {"last 2", 2}, {"last 3", 3}, {"last 5", 5}, {"all", 0}};
    for (const auto& [text, count] : kept) {
        searches->addItem(QString::fromLatin1(text), count);
    }
    form->addRow(QStringLiteral("Searches"), searches);
    searchGap = new QSpinBox;
    searchGap->setObjectName(QStringLiteral("spinBoxLocateSearchGap"));
    searchGap->setRange(1, 24 * 60);
    searchGap->setSuffix(QStringLiteral(" min"));
    searchGap->setValue(int(Locate::defaultSearchGapMs / 60000));
    searchGap->setToolTip(QStringLiteral("A silence longer than this ends a search"));
    form->addRow(QStringLiteral("Gap between searches"), searchGap);
    // The next leg: how long it lasts at the receiver's present speed.
    guide = new QCheckBox(QStringLiteral("Next leg"));
    guide->setObjectName(QStringLiteral("checkBoxLocateGuide"));
    guide->setChecked(true);
    guide->setToolTip(QStringLiteral("Suggest where to drive next so that the 95 % area shrinks most"));
    legSeconds = new QSpinBox;
    legSeconds->setObjectName(QStringLiteral("spinBoxLocateLeg"));
    legSeconds->setRange(10, 3600);
    legSeconds->setSingleStep(10);
    legSeconds->setSuffix(QStringLiteral(" s"));
    legSeconds->setValue(int(Locate::GuidanceRequest_t().legSeconds));
    legSeconds->setToolTip(QStringLiteral("The next leg lasts this long at the receiver's present speed"));
    connect(guide, &QCheckBox::toggled, legSeconds, &QWidget::setEnabled);
    connect(guide, &QCheckBox::toggled, this, &LocateTab::scheduleRefresh);
    connect(legSeconds, &QSpinBox::valueChanged, this, &LocateTab::scheduleRefresh);
    form->addRow(guide, legSeconds);
    connect(searches, &QComboBox::currentIndexChanged, this, &LocateTab::stretchesChanged);
    connect(searchGap, &QSpinBox::valueChanged, this, &LocateTab::stretchesChanged);
    connect(estimator, &QComboBox::currentIndexChanged, this, &LocateTab::optionsChanged);
    connect(sigma, &QDoubleSpinBox::valueChanged, this, &LocateTab::optionsChanged);
    connect(estimateSigma, &QCheckBox::toggled, this, &LocateTab::optionsChanged);
    connect(offset, &QDoubleSpinBox::valueChanged, this, &LocateTab::optionsChanged);
    return box;
}

void LocateTab::optionsChanged()
{
    Locate::FixOptions_t options;
    options.estimator = Locate::Estimator_t(estimator->currentData().toInt());
    options.sigmaDeg = sigma->value();
    options.estimateSigma = estimateSigma->isChecked();
    options.offsetDeg = offset->value();
    options.fromMs = fromEnabled->isChecked() ? from->dateTime().toMSecsSinceEpoch() : 0;
    options.toMs = toEnabled->isChecked() ? to->dateTime().toMSecsSinceEpoch() : 0;
    log.setOptions(options);
    scheduleRefresh();
}

void LocateTab::stretchesChanged()
{
    log.setStretches(searches->currentData().toInt(), qint64(searchGap->value()) * 60000);
    scheduleRefresh();
}

void LocateTab::addRow(const RxTableModel::Row_t& row)
{
    if (log.add(sightingOf(row.message, row.receiver), row.label, row.live, row.payloadPosition, row.payloadLatitude, row.payloadLongitude)) {
        scheduleRefresh();
    }
}

void LocateTab::clear()
{
    refreshTimer.stop();
    log.clear();
    analysis.clear();
    chosenId.clear();
    model->reset();
    showChosen();
}

void LocateTab::scheduleRefresh()
{
    // A page out of sight waits: the fixes of a long flash read are worked out
    // once, when it is looked at, not over and over while the table fills.
    if (isHidden()) {
        refreshWhenShown = true;
        return;
    }
    // Never more than half the time spent recomputing, however long the search grows.
    if (!refreshTimer.isActive()) {
        refreshTimer.start(std::max(refreshDelayMs, 2 * lastRefreshMs));
    }
}

void LocateTab::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    // The teams are named in the Archive tab.
    plot->setReceiverNames(Utils::Settings::instance()->loadTeamNames());
    if (refreshWhenShown) {
        refreshWhenShown = false;
        refreshTimer.start(0);  // after the page has painted
    }
}

void LocateTab::refresh()
{
    QElapsedTimer spent;
    spent.start();
    log.updateFixes();
    const int platformsBefore = model->rowCount();
    model->refresh();
    if (model->rowCount() != platformsBefore) {
        platformsView->resizeColumnsToContents();
    } else {
        // "30 of 3810" grows as the search goes on.
        platformsView->resizeColumnToContents(LocatePlatformsModel::COLUMN_BEARINGS);
    }
    // The first platform heard is chosen, so that the page never opens empty.
    if (chosenId.isEmpty() && log.platformCount() > 0) {
        platformsView->selectRow(0);
    } else {
        showChosen();
    }
    lastRefreshMs = int(spent.elapsed());
}

void LocateTab::showChosen()
{
    calibration->setPlatform(chosenId);
    const int index = log.indexOf(chosenId);
    const Locate::SearchLog::Platform_t* platform = index >= 0 ? &log.platform(index) : nullptr;
    // The map and the chart show the searches the fix takes; the latest of them is the one a fit frames.
    const Locate::FixOptions_t& options = log.options();
    LocatePlot::Scope_t scope;
    scope.fromMs = options.fromMs;
    scope.toMs = options.toMs;
    scope.track.maxSilenceMs = std::min(scope.track.maxSilenceMs, log.stretchGapMs());
    if (platform) {
        if (platform->stretch.leftOut() > 0) {
            scope.fromMs = platform->stretch.fromMs;
        }
        scope.recentFromMs =
            Locate::searchStretch(platform->bearings, log.stretchGapMs(), 1, options.fromMs, options.toMs).fromMs;
    }
    // Only the chosen platform is analysed, and only again when its fix or the question changed;
    // each receiver's bearings take its calibrated offset, and its sigma when all are calibrated.
    QVector<Locate::Bearing_t> bearings;
    const Locate::FixOptions_t analysed = platform ? log.fixInput(*platform, &bearings) : options;
    if (platform) {
        scope.receiverOffsetsDeg = log.receiverOffsetsDeg(*platform);
    }
    if (analysis.update(platform, bearings, analysed, {guide->isChecked(), double(legSeconds->value())}) &&
        analysis.guided()) {
        steerSimulatedVehicle(analysis.leg());
    }
    plot->setPlatform(platform, analysed.offsetDeg, scope, platform ? &analysis : nullptr);
    timeChart->setBearings(platform ? platform->bearings : QVector<Locate::Bearing_t>(), scope.fromMs, scope.toMs);
    stretchText->setText(platform ? Locate::describeStretch(platform->stretch) : QString());
    summary->setText(platform ? summaryOf(*platform) : QStringLiteral("No platform chosen"));
    legText->setText(platform && analysis.guided() ? analysis.leg().text : QString());
    legText->setVisible(!legText->text().isEmpty());
    clocksText->setText(platform ? analysis.clocks() : QString());
    clocksText->setVisible(!clocksText->text().isEmpty());
    for (QPushButton* button : exportButtons) {
        button->setEnabled(platform != nullptr);
    }
    // An open end of the time window shows the platform's first or last bearing, a start for the user.
    if (!platform) {
        return;
    }
    qint64 first = 0, last = 0;
    for (const Locate::Bearing_t& bearing : platform->bearings) {
        if (bearing.timeMs && (!first || bearing.timeMs < first)) {
            first = bearing.timeMs;
        }
        last = std::max(last, bearing.timeMs);
    }
    for (auto [enabled, edit, timeMs] : {std::tuple{fromEnabled, from, first}, std::tuple{toEnabled, to, last}}) {
        if (enabled->isChecked() || !timeMs) {
            continue;
        }
        const QSignalBlocker blocker(edit);
        edit->setDateTime(QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC));
    }
}

QString LocateTab::summaryOf(const Locate::SearchLog::Platform_t& platform) const
{
    QString text = QStringLiteral("%1: %2").arg(
        platform.label.isEmpty() ? platform.id : platform.label,
        Locate::fixSummary(analysis.fix(), platform.receiverLatitude, platform.receiverLongitude));
    if (analysis.drifting()) {
        text += QStringLiteral(", ") + Locate::driftSummary(analysis.drift());
    }
    return text;
}

void LocateTab::exportChosen(Locate::GisExport::Format_t format)
{
    const int index = log.indexOf(chosenId);
    if (index < 0) {
        return;
    }
    static const char* const filters[] = {"GPX (*.gpx)", "KML (*.kml)", "GeoJSON (*.geojson)"};
    static const char* const suffixes[] = {".gpx", ".kml", ".geojson"};
    const QLatin1String suffix(suffixes[format] + 1);
    const QString offered =
        Utils::FileNames::offered(QStringLiteral("search"), {chosenId}, QDateTime::currentDateTimeUtc(), suffix);
    const QString fileName = Dialogs::saveFileName(this, QStringLiteral("Export %1").arg(chosenId),
                                                   QLatin1String(filters[format]), exportFolder, suffix, offered);
    if (fileName.isEmpty()) {
        return;
    }
    exportFolder = QFileInfo(fileName).absolutePath();
    const QString error = Locate::GisExport::write(fileName, format, log.platform(index),
                                                   log.options().offsetDeg, analysis.region(),
                                                   log.receiverOffsetsDeg(log.platform(index)));
    exportOutcome->setStyleSheet(error.isEmpty() ? QString() : QStringLiteral("color: #b00000"));
    exportOutcome->setText(error.isEmpty() ? QStringLiteral("Written: %1").arg(QDir::toNativeSeparators(fileName))
                                           : error);
    if (!error.isEmpty()) {
        qWarning().noquote() << error;
    }
}

} // namespace Vantrel::Ui
