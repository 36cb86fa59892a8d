#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

namespace Vantrel::Locate {

// One receiver's clock against another's: both time a transmission they hear alike
// but for the difference between their clocks.
struct ClockOffset_t
{
    int receiver = 0;   // index of the receiver whose clock is measured
    int reference = 0;  // against this one's
    double offsetS = 0.0;  // the receiver's time minus the reference's, for one transmission
    int pairs = 0;         // messages both heard
};

// Each receiver's clock against the first one's, from one platform's message times per
// receiver (ms), where the messages both heard show an offset of two seconds or more,
// agreed on by most of them. A transmission is matched to the reference's nearest one
// within half the repetition period: a clock off by more than that cannot be told.
QVector<ClockOffset_t> clockOffsets(const QVector<QVector<qint64>>& timesByReceiver);

// "0077-3142's clock is 3.0 s ahead of 0077-3141's (12 messages both heard)".
QString clockOffsetText(const ClockOffset_t& offset, const QStringList& receivers);

} // namespace Vantrel::Locate
