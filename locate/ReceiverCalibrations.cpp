#include "locate/ReceiverCalibrations.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>

#include "locate/BearingCalibration.h"

namespace Vantrel::Locate {

namespace {

const QString offsetKey = QStringLiteral("offsetDeg");
const QString sigmaKey = QStringLiteral("sigmaDeg");
const QString countKey = QStringLiteral("count");
const QString timeKey = QStringLiteral("timeMs");

bool usable(const ReceiverCalibrations::Entry_t& entry)
{
    return std::isfinite(entry.offsetDeg) && std::fabs(entry.offsetDeg) <= 180.0 && std::isfinite(entry.sigmaDeg) &&
           entry.sigmaDeg > 0.0 && entry.count >= 0;
}

} // namespace

bool ReceiverCalibrations::set(const QString& serial, const Calibration_t& calibration, qint64 timeMs)
{
    if (!calibration.ok) {
        return false;
    }
    // Noiseless bearings give a sigma of zero, which no fix takes.
    return set(serial, Entry_t{calibration.offsetDeg, std::max(calibration.sigmaDeg, 0.1), calibration.used, timeMs});
}

bool ReceiverCalibrations::set(const QString& serial, const Entry_t& entry)
{
    if (serial.trimmed().isEmpty() || !usable(entry)) {
        return false;
    }
    entries.insert(serial.trimmed(), entry);
    return true;
}

bool ReceiverCalibrations::applyTo(const QString& serial, FixOptions_t* options) const
{
    const auto found = entries.constFind(serial.trimmed());
    if (found == entries.constEnd()) {
        return false;
    }
    options->offsetDeg = found->offsetDeg;
    options->sigmaDeg = found->sigmaDeg;
    options->estimateSigma = false;
    return true;
}

QVariantMap ReceiverCalibrations::toVariantMap() const
{
    QVariantMap map;
    for (auto it = entries.constBegin(); it != entries.constEnd(); ++it) {
        QVariantMap entry;
        entry.insert(offsetKey, it->offsetDeg);
        entry.insert(sigmaKey, it->sigmaDeg);
        entry.insert(countKey, it->count);
        entry.insert(timeKey, it->timeMs);
        map.insert(it.key(), entry);
    }
    return map;
}

ReceiverCalibrations ReceiverCalibrations::fromVariantMap(const QVariantMap& map)
{
    ReceiverCalibrations calibrations;
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const QVariantMap fields = it.value().toMap();
        bool offsetOk = false, sigmaOk = false;
        Entry_t entry;
        entry.offsetDeg = fields.value(offsetKey).toDouble(&offsetOk);
        entry.sigmaDeg = fields.value(sigmaKey).toDouble(&sigmaOk);
        entry.count = fields.value(countKey).toInt();
        entry.timeMs = fields.value(timeKey).toLongLong();
        if (offsetOk && sigmaOk) {
            calibrations.set(it.key(), entry);
        }
    }
    return calibrations;
}

QString ReceiverCalibrations::toString() const
{
    return QString::fromUtf8(QJsonDocument(QJsonObject::fromVariantMap(toVariantMap())).toJson(QJsonDocument::Compact));
}

ReceiverCalibrations ReceiverCalibrations::fromString(const QString& text)
{
    return fromVariantMap(QJsonDocument::fromJson(text.toUtf8()).object().toVariantMap());
}

} // namespace Vantrel::Locate
