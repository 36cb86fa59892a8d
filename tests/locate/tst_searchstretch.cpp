// Which bearings make the current search, and where the receiver's track breaks.
#include <GeographicLib/Geodesic.hpp>
#include <QtTest>

#include "locate/ReceiverTrack.h"
#include "locate/SearchStretch.h"

using namespace Vantrel::Locate;

namespace {

constexpr qint64 minute = 60000, start = 1765180800000;  // 2025-12-08 08:00 UTC

// A bearing `metres` east of the start's place, `seconds` after the start.
Bearing_t at(double metres, double seconds)
{
    Bearing_t bearing;
    double back = 0.0;
    GeographicLib::Geodesic::WGS84().Direct(48.85, 2.30, 90.0, metres, bearing.latitude, bearing.longitude, back);
    bearing.timeMs = start + qint64(seconds * 1000.0);
    return bearing;
}

} // namespace

class TestSearchStretch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Times in minutes from the start (-1: untimed), metres east of the first place (none: all
    // there); expected first and last minute, bearings, stretches.
    void stretch_data()
    {
        QTest::addColumn<QList<int>>("minutes");
        QTest::addColumn<QList<int>>("east");
        QTest::addColumn<int>("keep");
        QTest::addColumn<QList<int>>("window");
        QTest::addColumn<QList<int>>("expected");
        const QList<int> open{0, 0}, here{}, days{-20000, -19990, 0, 10, 29, 30, 31, 62, 93};
        QTest::newRow("a gap of exactly 30 min goes on") << QList<int>{0, 30, 60} << here << 1 << open << QList<int>{0, 60, 3, 1};
        QTest::newRow("a minute longer splits") << QList<int>{0, 31, 61} << here << 1 << open << QList<int>{31, 61, 2, 2};
        QTest::newRow("flash read then today") << days << here << 1 << open << QList<int>{93, 93, 1, 4};
        QTest::newRow("last 2") << days << here << 2 << open << QList<int>{62, 93, 2, 4};
        QTest::newRow("more than there are") << days << here << 9 << open << QList<int>{-20000, 93, 9, 4};
        QTest::newRow("all") << days << here << 0 << open << QList<int>{-20000, 93, 9, 4};
        QTest::newRow("untimed ones in none") << QList<int>{-1, 5, -1, 6} << here << 1 << open << QList<int>{5, 6, 2, 1};
        QTest::newRow("the latest inside the window") << days << here << 1 << QList<int>{-19995, 40} << QList<int>{0, 31, 5, 2};
        QTest::newRow("nothing timed") << QList<int>{-1} << here << 1 << open << QList<int>{0, 0, 0, 0};
        const QList<int> parked{0, 10, 20, 31, 32, 33};
        QTest::newRow("parked 31 min, then a drive") << parked << QList<int>{0, 0, 90, 0, 200, 1000} << 1 << open << QList<int>{32, 33, 2, 2};
        QTest::newRow("parked 30 min goes on") << QList<int>{0, 10, 20, 30, 32, 33} << QList<int>{0, 0, 0, 80, 200, 1000} << 1 << open << QList<int>{0, 33, 6, 1};
        QTest::newRow("driving with stops") << parked << QList<int>{0, 150, 300, 450, 600, 600} << 1 << open << QList<int>{0, 33, 6, 1};
    }
    void stretch()
    {
        QFETCH(QList<int>, minutes);
        QFETCH(QList<int>, east);
        QFETCH(int, keep);
        QFETCH(QList<int>, window);
        QFETCH(QList<int>, expected);
        const auto time = [](int m) { return m == -1 ? qint64(0) : start + m * minute; };
        QVector<Bearing_t> bearings;
        for (int i = 0; i < minutes.size(); ++i)  // a flash read comes in any order
            bearings.prepend(at(east.value(i), (time(minutes[i]) - start) / 1000.0));
        const SearchStretch_t found = searchStretch(bearings, 30 * minute, keep, window[0] ? time(window[0]) : 0,
                                                    window[1] ? time(window[1]) : 0);
        const qint64 none = expected[3] ? 1 : 0, kept = keep <= 0 ? expected[3] : std::min(keep, expected[3]);
        QCOMPARE((QList<qint64>{found.fromMs, found.toMs, found.bearings, found.stretches, found.kept}),
                 (QList<qint64>{none * time(expected[0]), none * time(expected[1]), expected[2], expected[3], kept}));
    }

    void described_data()
    {
        QTest::addColumn<int>("keep");
        QTest::addColumn<QString>("expected");
        QTest::newRow("this one") << 1 << "This search: 8 Dec 09:02–09:32 UTC, 2 bearings (2 earlier searches left out)";
        QTest::newRow("across midnight")
            << 2 << "Last 2 searches: 7 Dec 23:59 – 8 Dec 09:32 UTC, 3 bearings (1 earlier search left out)";
        QTest::newRow("all") << 0 << "All 3 searches: 7 Dec 22:00 – 8 Dec 09:32 UTC, 4 bearings";
    }
    void described()
    {
        QFETCH(int, keep);
        QFETCH(QString, expected);
        const QVector<Bearing_t> bearings{at(0, -600 * 60), at(0, -481 * 60), at(0, 62 * 60), at(0, 92 * 60)};
        QCOMPARE(describeStretch(searchStretch(bearings, 30 * minute, keep)), expected);
    }

    // Between two bearings: metres and seconds apart; whether the track breaks.
    void track_data()
    {
        QTest::addColumn<double>("metres");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<bool>("breaks");
        QTest::newRow("5 min of silence go on") << 0.0 << 300.0 << false;
        QTest::newRow("a second more breaks") << 0.0 << 301.0 << true;
        QTest::newRow("150 m/s is a vehicle") << 2000.0 + 490.0 << 2000.0 / 150.0 << false;
        QTest::newRow("faster is a jump") << 2000.0 + 510.0 << 2000.0 / 150.0 << true;
        QTest::newRow("stamped to the second") << 490.0 << 0.0 << false;
        QTest::newRow("parked to the drive") << 5000.0 << 20.0 << true;
    }
    void track()
    {
        QFETCH(double, metres);
        QFETCH(double, seconds);
        QFETCH(bool, breaks);
        QCOMPARE(std::pair(trackBreaks(at(0, 0), at(metres, seconds)), trackBreaks(at(metres, seconds), at(0, 0))),
                 std::pair(breaks, breaks));
    }

    void heading_data()
    {
        QTest::addColumn<QVector<double>>("metres");  // one bearing every 10 s
        QTest::addColumn<double>("expected");          // NaN: none
        QTest::addColumn<double>("speed");             // over the last move, m/s
        QTest::newRow("driving east") << QVector<double>{0, 100, 200} << 90.0 << 10.0;
        QTest::newRow("stopped after driving") << QVector<double>{0, 100, 200, 200} << 90.0 << 5.0;
        QTest::newRow("parked") << QVector<double>{0, 3, 1} << qQNaN() << 0.0;
        QTest::newRow("just after a jump") << QVector<double>{0, 100, 9000, 9003} << qQNaN() << 0.0;
    }
    void heading()
    {
        QFETCH(QVector<double>, metres);
        QFETCH(double, expected);
        QFETCH(double, speed);
        QVector<Bearing_t> bearings;
        QVector<int> order;
        for (int i = 0; i < metres.size(); ++i)
            bearings.append(at(metres[i], 10.0 * i)), order.append(i);
        const double found = receiverHeading(bearings, order);
        QVERIFY2(std::isnan(expected) ? std::isnan(found) : std::abs(found - expected) < 0.1, qPrintable(QString::number(found)));
        QCOMPARE(std::round(receiverSpeedMps(bearings, order) * 10.0) / 10.0, speed);
    }

    // 999.6 m reads "1.0 km", not "1000 m".
    void way()
    {
        for (const auto& [metres, expected] : {std::pair(999.4, "999 m at 090°"), std::pair(999.6, "1.0 km at 090°")}) {
            const Bearing_t to = at(metres, 0);
            QCOMPARE(rangeAndAzimuth(48.85, 2.30, to.latitude, to.longitude), QString::fromUtf8(expected));
        }
    }
};

QTEST_APPLESS_MAIN(TestSearchStretch)
#include "tst_searchstretch.moc"
