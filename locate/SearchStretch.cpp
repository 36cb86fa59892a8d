#include "locate/SearchStretch.h"

#include <QDateTime>
#include <algorithm>

namespace Vantrel::Locate {

SearchStretch_t searchStretch(const QVector<qint64>& timesMs, qint64 gapMs, int keep, qint64 windowFromMs,
                              qint64 windowToMs)
{
    QVector<qint64> times;
    times.reserve(timesMs.size());
    for (qint64 time : timesMs) {
        if (time != 0 && (!windowFromMs || time >= windowFromMs) && (!windowToMs || time <= windowToMs)) {
            times.append(time);
        }
    }
    SearchStretch_t stretch;
    if (times.isEmpty()) {
        return stretch;
    }
    std::sort(times.begin(), times.end());
    // Starts of the stretches, counted from the latest back.
    QVector<int> starts{0};
    for (int i = 1; i < times.size(); ++i) {
        if (times.at(i) - times.at(i - 1) > gapMs) {
            starts.append(i);
        }
    }
    stretch.stretches = int(starts.size());
    stretch.kept = keep <= 0 ? stretch.stretches : std::min(keep, stretch.stretches);
    const int first = starts.at(stretch.stretches - stretch.kept);
    stretch.fromMs = times.at(first);
    stretch.toMs = times.last();
    stretch.bearings = int(times.size()) - first;
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
