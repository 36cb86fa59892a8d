#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

#include "locate/Bearing.h"

namespace Vantrel::Locate {

// A flash read brings weeks of bearings beside today's drive. A search is a
// stretch of bearings with no silence longer than a gap between them; a receiver
// that recorded on while parked at its base starts one where it drives off.
// Locate takes the last one, or the last few, unless told to take them all.
struct SearchStretch_t
{
    qint64 fromMs = 0;   // first bearing kept, UTC ms; 0 when there is none
    qint64 toMs = 0;     // last bearing kept
    int bearings = 0;    // timed bearings in the stretches kept
    int stretches = 0;   // stretches found in all
    int kept = 0;        // of which the last `kept` are taken
    int leftOut() const { return stretches - kept; }
};

constexpr qint64 defaultSearchGapMs = 30 * 60 * 1000;
constexpr double parkedWithinM = 100.0;  // a receiver that stays this near one place stands still

// The stretches of the bearings timed in [windowFromMs, windowToMs] (0: that side
// open; untimed bearings, 0, have no place in any), split at silences longer than
// gapMs and where the receiver leaves a place it stood at for longer than gapMs,
// and the last `keep` of them (keep <= 0: all).
SearchStretch_t searchStretch(const QVector<Bearing_t>& bearings, qint64 gapMs, int keep, qint64 windowFromMs = 0,
                              qint64 windowToMs = 0);

// "This search: 8 Dec 14:02–14:41 UTC, 38 bearings (2 earlier searches left out)",
// "Last 2 searches: …", "All 3 searches: …".
QString describeStretch(const SearchStretch_t& stretch);

} // namespace Vantrel::Locate
