#include "locate/SearchStretch.h"

#include "locate/ReceiverTrack.h"

#include <QDateTime>
#include <algorithm>

namespace Vantrel::Locate {

SearchStretch_t searchStretch(const QVector<Bearing_t>& bearings, qint64 gapMs, int keep, qint64 windowFromMs,
                              qint64 windowToMs)
{
    QVector<const Bearing_t*> timed;
    timed.reserve(bearings.size());
    for (const Bearing_t& bearing : bearings) {
        const qint64 time = bearing.timeMs;
        if (time != 0 && (!windowFromMs || time >= windowFromMs) && (!windowToMs || time <= windowToMs)) {
            timed.append(&bearing);
        }
    }
    SearchStretch_t stretch;
    if (timed.isEmpty()) {
        return stretch;
    }
    std::stable_sort(timed.begin(), timed.end(),
                     [](const Bearing_t* left, const Bearing_t* right) { return left->timeMs < right->timeMs; });
    QVector<int> starts{0};
    int standing = 0;  // first bearing taken where the receiver stands now
    for (int i = 1; i < timed.size(); ++i) {
        const bool silence = timed.at(i)->timeMs - timed.at(i - 1)->timeMs > gapMs;
        const bool moved = roughDistanceM(*timed.at(standing), *timed.at(i)) > parkedWithinM;
        if (silence || (moved && timed.at(i - 1)->timeMs - timed.at(standing)->timeMs > gapMs)) {
            starts.append(i);
        }
        if (silence || moved) {
            standing = i;
        }
    }
    stretch.stretches = int(starts.size());
    stretch.kept = keep <= 0 ? stretch.stretches : std::min(keep, stretch.stretches);
    const int first = starts.at(stretch.stretches - stretch.kept);
    stretch.fromMs = timed.at(first)->timeMs;
    stretch.toMs = timed.last()->timeMs;
    stretch.bearings = int(timed.size()) - first;
    return stretch;
}

QString describeStretch(const SearchStretch_t& stretch)
{
    if (stretch.stretches == 0) {
        return QStringLiteral("No timed bearings");
    }
    const QDateTime from = QDateTime::fromMSecsSinceEpoch(stretch.fromMs, Qt::UTC);
    const QDateTime to = QDateTime::fromMSecsSinceEpoch(stretch.toMs, Qt::UTC);
    const QString when = from.date() == to.date()
                             ? QStringLiteral("%1–%2 UTC").arg(from.toString(QStringLiteral("d MMM HH:mm")),
                                                              to.toString(QStringLiteral("HH:mm")))
                             : QStringLiteral("%1 – %2 UTC").arg(from.toString(QStringLiteral("d MMM HH:mm")),
                                                                to.toString(QStringLiteral("d MMM HH:mm")));
    const QString which = stretch.kept == 1 ? QStringLiteral("This search")
                          : stretch.leftOut() == 0 ? QStringLiteral("All %1 searches").arg(stretch.kept)
                                                   : QStringLiteral("Last %1 searches").arg(stretch.kept);
    QString text = QStringLiteral("%1: %2, %3 bearing%4").arg(which, when).arg(stretch.bearings)
                       .arg(stretch.bearings == 1 ? QString() : QStringLiteral("s"));
    if (stretch.leftOut() > 0) {
        text += QStringLiteral(" (%1 earlier search%2 left out)")
                    .arg(stretch.leftOut())
                    .arg(stretch.leftOut() == 1 ? QString() : QStringLiteral("es"));
    }
    return text;
}

} // namespace Vantrel::Locate
