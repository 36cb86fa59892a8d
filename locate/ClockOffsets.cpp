#include "locate/ClockOffsets.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "locate/Guidance.h"
#include "locate/Median.h"

namespace Vantrel::Locate {

namespace {

// Receivers time messages to the second: a steady second between them may be rounding,
// or two schedules of their own a second apart, not clocks.
constexpr double smallestOffsetS = 1.5;
constexpr double agreementS = 1.5;
constexpr double agreeingShare = 0.8;
constexpr int leastPairs = 5;

} // namespace

QVector<ClockOffset_t> clockOffsets(const QVector<QVector<qint64>>& timesByReceiver)
{
    QVector<ClockOffset_t> offsets;
    if (timesByReceiver.size() < 2) {
        return offsets;
    }
    QVector<qint64> reference = timesByReceiver.first();
    reference.removeAll(0);
    std::sort(reference.begin(), reference.end());
    const double periodMs = 1000.0 * repetitionPeriodS(reference);
    if (!(periodMs > 0.0)) {
        return offsets;
    }
    for (int r = 1; r < timesByReceiver.size(); ++r) {
        std::vector<double> differences;
        for (const qint64 timeMs : timesByReceiver.at(r)) {
            if (timeMs == 0) {
                continue;
            }
            const auto after = std::lower_bound(reference.cbegin(), reference.cend(), timeMs);
            double nearest = qInf();
            if (after != reference.cend()) {
                nearest = double(*after - timeMs);
            }
            if (after != reference.cbegin() && double(timeMs - *(after - 1)) < std::fabs(nearest)) {
                nearest = -double(timeMs - *(after - 1));
            }
            // nearest is the reference's time minus this receiver's.
            if (std::fabs(nearest) < 0.5 * periodMs) {
                differences.push_back(-nearest / 1000.0);
            }
        }
        if (int(differences.size()) < leastPairs) {
            continue;
        }
        const double median = medianOf(differences);
        const auto agreeing = std::count_if(differences.cbegin(), differences.cend(),
                                            [median](double d) { return std::fabs(d - median) <= agreementS; });
        if (double(agreeing) < agreeingShare * double(differences.size()) || std::fabs(median) < smallestOffsetS) {
            continue;
        }
        offsets.append({r, 0, median, int(differences.size())});
    }
    return offsets;
}

QString clockOffsetText(const ClockOffset_t& offset, const QStringList& receivers)
{
    const auto name = [&receivers](int index) {
        const QString serial = receivers.value(index);
        return serial.isEmpty() ? QStringLiteral("an unknown receiver") : serial;
    };
    return QStringLiteral("%1's clock is %2 s %3 %4's (%5 messages both heard)")
        .arg(name(offset.receiver), QString::number(std::fabs(offset.offsetS), 'f', 1),
             offset.offsetS > 0.0 ? QStringLiteral("ahead of") : QStringLiteral("behind"), name(offset.reference))
        .arg(offset.pairs);
}

} // namespace Vantrel::Locate
