#pragma once

#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include "locate/Bearing.h"
#include "locate/BearingFix.h"
#include "locate/ReceiverCalibrations.h"
#include "locate/SearchStretch.h"

namespace Vantrel::Locate {

// What a received message gives a search: locate knows nothing of the link that heard it.
struct Sighting_t
{
    QString platformId;
    qint64 timeMs = 0;  // 0 when the message carried no time
    quint32 direction = 0;
    bool crcOk = false;
    bool dfrPositionValid = false;
    double dfrLatitude = 0.0;
    double dfrLongitude = 0.0;
    qint32 level = 0;
    QString receiver;  // the serial number of the receiver that heard it, empty when unknown
};

// The bearings heard per platform, as a search collects them live, from flash
// reads and from opened dumps, and each platform's last fix.
class SearchLog
{
public:
    // A position the platform sent about itself in its payload.
    struct PayloadPosition_t
    {
        qint64 timeMs = 0;
        double latitude = 0.0;
        double longitude = 0.0;
    };

    struct Platform_t
    {
        QString id;
        QString label;
        QVector<Bearing_t> bearings;  // in the order heard
        QVector<bool> live;           // per bearing: heard live, not read from flash
        // The receivers that heard the platform, and per bearing an index into them: a platform
        // is heard by one or two receivers, and a search holds thousands of bearings.
        QStringList receivers;
        QVector<quint16> receiverIndex;
        QVector<PayloadPosition_t> payloadPositions;
        Fix_t fix;
        SearchStretch_t stretch;  // the bearings the fix took
        // Where the last bearing in time was taken, a live one before any other (several
        // receivers' bearings: this laptop's own is heard live): the fix summary measures
        // from there, and the next leg is this receiver's.
        double receiverLatitude = 0.0;
        double receiverLongitude = 0.0;
        qint64 receiverTimeMs = 0;
        bool receiverLive = false;
        int receiverNow = 0;  // index into receivers

        // Bearing indexes in time order: the receiver's track.
        QVector<int> timeOrder() const;
        // The same, of one receiver's bearings only.
        QVector<int> timeOrderOf(int receiver) const;
        // The serial number of the receiver that took a bearing, "" when unknown.
        QString receiverOf(int index) const { return receivers.value(receiverIndex.value(index, 0)); }
        bool heardBy(const QString& serial) const { return receivers.contains(serial); }
        // What the last fix made of a bearing: its residual (NaN when unused) and whether it was set aside.
        double residualDeg(int index) const { return fix.residualDeg.value(index, qQNaN()); }
        bool downWeighted(int index) const { return fix.downWeightedFlags.value(index, false); }
    };

    // Takes the message when it gives a bearing: CRC good, a valid receiver position, a
    // direction, and not heard before. Returns whether it was taken.
    bool add(const Sighting_t& message, const QString& label, bool live,
             bool payloadPosition = false, double payloadLatitude = 0.0, double payloadLongitude = 0.0);

    void setOptions(const FixOptions_t& options);
    const FixOptions_t& options() const { return fixOptions; }
    // Each fix takes the last `keep` stretches of its platform's bearings (keep <= 0: all)
    // inside the options' time window, split where none came for longer than gapMs.
    void setStretches(int keep, qint64 gapMs);
    // The offset and sigma found per receiver: its bearings get its offset in place of the
    // options' one. The platforms a changed receiver heard are fixed again.
    void setCalibrations(const ReceiverCalibrations& calibrations);
    const ReceiverCalibrations& calibrations() const { return receiverCalibrations; }
    // The offset each of the platform's receivers' bearings take, in its receivers' order.
    QVector<double> receiverOffsetsDeg(const Platform_t& platform) const;
    // The bearings and options the platform's fix takes, before its stretch narrows the
    // window: its receivers' calibrations applied to a copy of its bearings, or its own.
    FixOptions_t fixInput(const Platform_t& platform, QVector<Bearing_t>* bearings) const;
    int stretchesKept() const { return keepStretches; }
    qint64 stretchGapMs() const { return gapMs; }

    // Recomputes the fixes of the platforms that changed. Returns how many it recomputed.
    int updateFixes();

    int platformCount() const { return int(platforms.size()); }
    // Platforms in the order first heard.
    const Platform_t& platform(int index) const { return platforms.at(index).platform; }
    int indexOf(const QString& id) const { return byId.value(id, -1); }
    void clear();

private:
    struct Heard_t
    {
        qint64 timeMs;
        quint32 direction;
        double latitude;
        double longitude;
        bool operator==(const Heard_t& other) const
        {
            return timeMs == other.timeMs && direction == other.direction && latitude == other.latitude &&
                   longitude == other.longitude;
        }
    };
    friend size_t qHash(const Heard_t& heard, size_t seed)
    {
        return qHashMulti(seed, heard.timeMs, heard.direction, heard.latitude, heard.longitude);
    }

    enum Stale_t
    {
        STALE_NONE,
        STALE_BEARINGS,  // new bearings beside those of the last fix: it is a good start
        STALE_OPTIONS,   // the last fix answers another question
    };

    struct Entry_t
    {
        Platform_t platform;
        QSet<Heard_t> heard;
        Stale_t stale = STALE_NONE;
    };

    QVector<Entry_t> platforms;
    QHash<QString, int> byId;
    // The options for one platform's bearings, which calibrated receivers' bearings need copied.
    FixOptions_t optionsFor(const Platform_t& platform, const FixOptions_t& windowed,
                            QVector<Bearing_t>* corrected) const;

    FixOptions_t fixOptions;
    ReceiverCalibrations receiverCalibrations;
    int keepStretches = 1;
    qint64 gapMs = defaultSearchGapMs;
};

} // namespace Vantrel::Locate
