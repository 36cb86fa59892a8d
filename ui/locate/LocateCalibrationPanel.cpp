#include "ui/locate/LocateCalibrationPanel.h"

#include <QChartView>
#include <QComboBox>
#include <QDateTime>
#include <QDialogButtonBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScatterSeries>
#include <QSignalBlocker>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "utils/Settings.h"

namespace Vantrel::Ui {

namespace {

QString signedDegrees(double value)
{
    return QStringLiteral("%1%2°").arg(value >= 0.0 ? QStringLiteral("+") : QString()).arg(value, 0, 'f', 1);
}

QString degrees(double value)
{
    return QStringLiteral("%1°").arg(value, 0, 'f', 1);
}

QString receiverName(const QString& serial)
{
    return serial.isEmpty() ? QStringLiteral("unknown") : serial;
}

} // namespace

LocateCalibrationPanel::LocateCalibrationPanel(Locate::SearchLog* searchLog, QWidget* parent)
    : QDialog(parent), log(searchLog), fromPayload(new QRadioButton(QStringLiteral("Its payload position"))),
      fromReference(new QRadioButton(QStringLiteral("Reference position"))), latitude(new QDoubleSpinBox),
      longitude(new QDoubleSpinBox), receivers(new QComboBox), title(new QLabel), result(new QLabel),
      stored(new QLabel), chartView(new QChartView), residualAxis(new QValueAxis), inliers(new QScatterSeries),
      outliers(new QScatterSeries), apply(new QPushButton(QStringLiteral("Apply to this receiver"))),
      forget(new QPushButton(QStringLiteral("Forget")))
{
    setObjectName(QStringLiteral("dialogLocateCalibration"));
    setWindowTitle(QStringLiteral("Calibrate a receiver"));
    log->setCalibrations(Utils::Settings::instance()->loadReceiverCalibrations());

    QFont bold = result->font();
    bold.setBold(true);
    title->setFont(bold);
    result->setObjectName(QStringLiteral("labelCalibrationResult"));
    result->setFont(bold);
    result->setWordWrap(true);
    result->setTextInteractionFlags(Qt::TextSelectableByMouse);
    stored->setObjectName(QStringLiteral("labelCalibrationStored"));
    stored->setWordWrap(true);
    receivers->setObjectName(QStringLiteral("comboBoxCalibrationReceiver"));
    fromPayload->setObjectName(QStringLiteral("radioCalibrationPayload"));
    fromReference->setObjectName(QStringLiteral("radioCalibrationReference"));
    fromPayload->setChecked(true);
    for (auto [edit, name, limit] : {std::tuple{latitude, "spinBoxCalibrationLatitude", 90.0},
                                     std::tuple{longitude, "spinBoxCalibrationLongitude", 180.0}}) {
        edit->setObjectName(QLatin1String(name));
        edit->setRange(-limit, limit);
        edit->setDecimals(5);
        edit->setSuffix(QStringLiteral("°"));
        edit->setEnabled(false);
        connect(edit, &QDoubleSpinBox::valueChanged, this, &LocateCalibrationPanel::recompute);
    }
    connect(fromReference, &QRadioButton::toggled, latitude, &QWidget::setEnabled);
    connect(fromReference, &QRadioButton::toggled, longitude, &QWidget::setEnabled);
    connect(fromReference, &QRadioButton::toggled, this, &LocateCalibrationPanel::recompute);
    connect(receivers, &QComboBox::currentIndexChanged, this, &LocateCalibrationPanel::recompute);

    auto* source = new QHBoxLayout;
    source->addWidget(fromPayload);
    source->addWidget(fromReference);
    source->addWidget(latitude);
    source->addWidget(longitude);
    source->addStretch(1);
    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("True position"), source);
    form->addRow(QStringLiteral("Receiver"), receivers);

    // Residuals against the direction the receiver drove: an antenna pattern shows as a wave.
    auto* chart = new QChart;
    chart->setMargins(QMargins(2, 2, 2, 2));
    inliers->setName(QStringLiteral("Residual"));
    inliers->setMarkerSize(7);
    inliers->setColor(QColor(40, 70, 160));
    inliers->setBorderColor(Qt::transparent);
    outliers->setName(QStringLiteral("Set aside (reflection)"));
    outliers->setMarkerSize(7);
    outliers->setMarkerShape(QScatterSeries::MarkerShapeRectangle);
    outliers->setColor(QColor(200, 40, 40));
    outliers->setBorderColor(Qt::transparent);
    chart->addSeries(inliers);
    chart->addSeries(outliers);
    auto* relativeAxis = new QValueAxis;
    relativeAxis->setTitleText(QStringLiteral("Bearing relative to the receiver's heading (°)"));
    relativeAxis->setRange(0, 360);
    relativeAxis->setTickCount(9);
    relativeAxis->setLabelFormat(QStringLiteral("%.0f"));
    residualAxis->setTitleText(QStringLiteral("Residual (°)"));
    residualAxis->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(relativeAxis, Qt::AlignBottom);
    chart->addAxis(residualAxis, Qt::AlignLeft);
    for (QScatterSeries* series : {inliers, outliers}) {
        series->attachAxis(relativeAxis);
        series->attachAxis(residualAxis);
    }
    chart->legend()->setAlignment(Qt::AlignTop);
    chartView->setChart(chart);
    chartView->setRenderHint(QPainter::Antialiasing);
    chartView->setMinimumSize(420, 240);

    apply->setObjectName(QStringLiteral("pushButtonCalibrationApply"));
    apply->setToolTip(QStringLiteral("Keep this offset and sigma for the receiver's bearings of every platform"));
    forget->setObjectName(QStringLiteral("pushButtonCalibrationForget"));
    connect(apply, &QPushButton::clicked, this, [this] { store(true); });
    connect(forget, &QPushButton::clicked, this, [this] { store(false); });
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close);
    buttons->addButton(apply, QDialogButtonBox::ActionRole);
    buttons->addButton(forget, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(form);
    layout->addWidget(result);
    layout->addWidget(chartView, 1);
    layout->addWidget(stored);
    layout->addWidget(buttons);
    resize(760, 520);
    recompute();
}

const Locate::SearchLog::Platform_t* LocateCalibrationPanel::platform() const
{
    const int index = log->indexOf(platformId);
    return index >= 0 ? &log->platform(index) : nullptr;
}

QString LocateCalibrationPanel::receiver() const
{
    return receivers->currentData().toString();
}

void LocateCalibrationPanel::setPlatform(const QString& id)
{
    if (id != platformId) {
        platformId = id;
        const Locate::SearchLog::Platform_t* chosen = platform();
        // A platform that reports its position is its own truth; for another the user gives it.
        const QSignalBlocker blocker(fromReference);
        const bool reference = chosen && chosen->payloadPositions.isEmpty();
        fromReference->setChecked(reference);
        fromPayload->setChecked(!reference);
        latitude->setEnabled(reference);
        longitude->setEnabled(reference);
        const QSignalBlocker quiet(receivers);
        receivers->clear();
    }
    // The fixes are refreshed as bearings come: out of sight, the calibration waits.
    if (isVisible()) {
        recompute();
    }
}

void LocateCalibrationPanel::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    recompute();
}

void LocateCalibrationPanel::recompute()
{
    const Locate::SearchLog::Platform_t* chosen = platform();
    current = Locate::Calibration_t();
    pairs.clear();
    if (!chosen) {
        title->setText(QStringLiteral("No platform chosen"));
        result->clear();
        const QSignalBlocker blocker(receivers);
        receivers->clear();
        showChart();
        showStored();
        return;
    }
    title->setText(chosen->label.isEmpty() ? chosen->id : QStringLiteral("%1 (%2)").arg(chosen->label, chosen->id));

    // The receivers that heard it, the one with the most bearings first chosen.
    QVector<int> counts(chosen->receivers.size(), 0);
    for (int i = 0; i < chosen->bearings.size(); ++i) {
        const int k = chosen->receiverIndex.at(i);
        if (k < counts.size()) {
            ++counts[k];
        }
    }
    if (receivers->count() != chosen->receivers.size()) {
        const QSignalBlocker blocker(receivers);
        const QString kept = receiver();
        receivers->clear();
        int most = 0;
        for (int k = 0; k < chosen->receivers.size(); ++k) {
            receivers->addItem(receiverName(chosen->receivers.at(k)), chosen->receivers.at(k));
            most = counts.at(k) > counts.value(most) ? k : most;
        }
        const int keptIndex = receivers->findData(kept);
        receivers->setCurrentIndex(keptIndex >= 0 && !kept.isEmpty() ? keptIndex : most);
    }
    for (int k = 0; k < receivers->count(); ++k) {
        receivers->setItemText(k, QStringLiteral("%1, %2 bearings").arg(receiverName(chosen->receivers.value(k)))
                                      .arg(counts.value(k)));
    }
    const QString serial = receiver();

    QString missing;
    QVector<Locate::CalibrationPair_t> all;
    if (fromReference->isChecked()) {
        all = Locate::BearingCalibration::pairsFromReference(chosen->bearings, latitude->value(), longitude->value());
        if (latitude->value() == 0.0 && longitude->value() == 0.0) {
            missing = QStringLiteral("Enter the position of the reference beacon");
        }
    } else if (chosen->payloadPositions.isEmpty()) {
        missing = QStringLiteral("This platform reports no position in its payload: enter a reference position");
    } else {
        all = Locate::BearingCalibration::pairsFromPayload(*chosen);
    }
    for (const Locate::CalibrationPair_t& pair : std::as_const(all)) {
        if (chosen->receiverOf(pair.index) == serial) {
            pairs.append(pair);
        }
    }
    if (missing.isEmpty()) {
        current = Locate::BearingCalibration::calibrate(pairs);
    }
    if (!missing.isEmpty()) {
        result->setText(missing);
    } else if (!current.ok) {
        result->setText(current.reason);
    } else {
        result->setText(QStringLiteral("Offset %1 (%2 to %3), sigma %4 (%5 to %6), %7 bearings, receiver %8")
                            .arg(signedDegrees(current.offsetDeg),
                                 QString::number(current.offsetLowDeg, 'f', 1),
                                 QString::number(current.offsetHighDeg, 'f', 1), degrees(current.sigmaDeg),
                                 QString::number(current.sigmaLowDeg, 'f', 1),
                                 QString::number(current.sigmaHighDeg, 'f', 1))
                            .arg(current.used)
                            .arg(receiverName(serial)));
    }
    showChart();
    showStored();
}

void LocateCalibrationPanel::showChart()
{
    // The scale follows the kept residuals, where an antenna pattern shows; reflections far
    // beyond them would squash it flat, so they are drawn at the edge.
    double largest = 0.0;
    for (int k = 0; k < current.residualDeg.size(); ++k) {
        if (current.inlierFlags.at(k) && std::isfinite(current.relativeDeg.at(k))) {
            largest = std::max(largest, std::fabs(current.residualDeg.at(k)));
        }
    }
    double range = 180.0;
    for (double nice : {10.0, 20.0, 30.0, 60.0, 90.0, 120.0}) {
        if (1.2 * largest <= nice) {
            range = nice;
            break;
        }
    }
    QList<QPointF> kept, setAside;
    int withoutHeading = 0, offScale = 0;
    for (int k = 0; k < current.residualDeg.size(); ++k) {
        const double residual = current.residualDeg.at(k);
        const double relative = current.relativeDeg.at(k);
        if (!std::isfinite(residual)) {
            continue;
        }
        if (!std::isfinite(relative)) {
            ++withoutHeading;
            continue;
        }
        offScale += std::fabs(residual) > range ? 1 : 0;
        (current.inlierFlags.at(k) ? kept : setAside).append(QPointF(relative, std::clamp(residual, -range, range)));
    }
    inliers->replace(kept);
    outliers->replace(setAside);
    residualAxis->setRange(-range, range);
    residualAxis->setTickCount(5);
    QStringList notes;
    if (offScale > 0) {
        notes << QStringLiteral("%1 beyond ±%2° drawn at the edge").arg(offScale).arg(range, 0, 'f', 0);
    }
    if (withoutHeading > 0) {
        notes << QStringLiteral("%1 taken standing still have no heading").arg(withoutHeading);
    }
    chartView->chart()->setTitle(notes.join(QStringLiteral("; ")));
}

void LocateCalibrationPanel::showStored()
{
    const QString serial = receiver();
    const Locate::ReceiverCalibrations& calibrations = log->calibrations();
    const bool known = !serial.isEmpty();
    const bool has = known && calibrations.contains(serial);
    apply->setEnabled(known && current.ok);
    apply->setToolTip(known ? QStringLiteral("Keep this offset and sigma for the bearings of receiver %1 on every platform")
                                  .arg(serial)
                            : QStringLiteral("The receiver's serial number is unknown: nothing to keep it under"));
    forget->setEnabled(has);
    if (!has) {
        stored->setText(known ? QStringLiteral("Receiver %1 has no calibration: its bearings take the offset of the fix "
                                               "options")
                                    .arg(serial)
                              : QString());
        return;
    }
    const Locate::ReceiverCalibrations::Entry_t entry = calibrations.entry(serial);
    const QString when = entry.timeMs ? QDateTime::fromMSecsSinceEpoch(entry.timeMs, Qt::UTC)
                                            .toString(QStringLiteral(" on yyyy-MM-dd HH:mm 'UTC'"))
                                      : QString();
    stored->setText(QStringLiteral("Receiver %1 applies offset %2 and sigma %3 to all its bearings (from %4 bearings%5)")
                        .arg(serial, signedDegrees(entry.offsetDeg), degrees(entry.sigmaDeg))
                        .arg(entry.count)
                        .arg(when));
}

void LocateCalibrationPanel::store(bool keep)
{
    const QString serial = receiver();
    if (serial.isEmpty()) {
        return;
    }
    Locate::ReceiverCalibrations calibrations = log->calibrations();
    if (keep) {
        if (!calibrations.set(serial, current, QDateTime::currentMSecsSinceEpoch())) {
            return;
        }
    } else {
        calibrations.remove(serial);
    }
    log->setCalibrations(calibrations);
    Utils::Settings::instance()->saveReceiverCalibrations(calibrations);
    showStored();
    Q_EMIT calibrationsChanged();
}

} // namespace Vantrel::Ui
