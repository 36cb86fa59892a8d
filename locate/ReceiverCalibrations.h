#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariantMap>

#include "locate/BearingFix.h"

namespace Vantrel::Locate {

struct Calibration_t;

// The bearing offset and sigma found for each receiver, by serial number ("0077-3141"),
// in a form the settings keep.
class ReceiverCalibrations
{
public:
    struct Entry_t
    {
        double offsetDeg = 0.0;  // added to every bearing of the receiver
        double sigmaDeg = 0.0;
        int count = 0;           // bearings the calibration was made from
        qint64 timeMs = 0;       // when it was made, UTC ms; 0 when unknown

        bool operator==(const Entry_t& other) const
        {
            return offsetDeg == other.offsetDeg && sigmaDeg == other.sigmaDeg && count == other.count &&
                   timeMs == other.timeMs;
        }
    };

    // Keeps a calibration that succeeded; returns whether it was kept.
    bool set(const QString& serial, const Calibration_t& calibration, qint64 timeMs = 0);
    // Keeps an entry whose offset is a number and whose sigma is positive.
    bool set(const QString& serial, const Entry_t& entry);
    void remove(const QString& serial) { entries.remove(serial); }
    bool contains(const QString& serial) const { return entries.contains(serial); }
    Entry_t entry(const QString& serial) const { return entries.value(serial); }
    QStringList serials() const { return entries.keys(); }
    int size() const { return int(entries.size()); }
    // Puts the receiver's offset and sigma into the options; false, and the options
    // untouched, when the receiver has no calibration.
    bool applyTo(const QString& serial, FixOptions_t* options) const;

    // {serial: {offsetDeg, sigmaDeg, count, timeMs}}; entries that are no usable numbers are dropped on reading.
    QVariantMap toVariantMap() const;
    static ReceiverCalibrations fromVariantMap(const QVariantMap& map);
    // The same as compact JSON, for a settings value of one string.
    QString toString() const;
    static ReceiverCalibrations fromString(const QString& text);

    bool operator==(const ReceiverCalibrations& other) const { return entries == other.entries; }

private:
    QMap<QString, Entry_t> entries;
};

} // namespace Vantrel::Locate
