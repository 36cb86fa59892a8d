// DateTime: conversion to and from QDateTime, and ordering by instant.
#include <QTest>
#include <limits>

#include "inhouse/DateTime.h"

using Tarsk::Utils::DateTime;

class TstInhouseDateTime : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void conversion_data()
    {
        QTest::addColumn<qint64>("day");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QDateTime>("utc");
        QTest::addColumn<bool>("roundTrip"); // fromQDateTime gives day and seconds back as they are
        const auto at = [](int y, int mo, int d, int h, int mi, int s, int ms) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms), Qt::UTC);
        };
        QTest::newRow("unix epoch") << qint64(40587) << 0.0 << at(1970, 1, 1, 0, 0, 0, 0) << true;
        QTest::newRow("before 1970") << qint64(40586) << 86399.25 << at(1969, 12, 31, 23, 59, 59, 250) << true;
        QTest::newRow("before 1858, seconds stay positive") << qint64(-1) << 43200.0 << at(1858, 11, 16, 12, 0, 0, 0) << true;
        QTest::newRow("half millisecond rounds up") << qint64(40587) << 10.0625 << at(1970, 1, 1, 0, 0, 10, 63) << false;
        QTest::newRow("below half rounds down") << qint64(40587) << 10.0624 << at(1970, 1, 1, 0, 0, 10, 62) << false;
        QTest::newRow("seconds past midnight carry") << qint64(40587) << 86400.0 << at(1970, 1, 2, 0, 0, 0, 0) << false;
    }
    void conversion()
    {
        QFETCH(qint64, day);
        QFETCH(double, seconds);
        QFETCH(QDateTime, utc);
        QFETCH(bool, roundTrip);
        // The ISO text holds the fields and the zone: the result must read as UTC.
        QCOMPARE(DateTime(day, seconds).toQDateTime().toString(Qt::ISODateWithMs), utc.toString(Qt::ISODateWithMs));
        if (roundTrip) {
            const DateTime back = DateTime::fromQDateTime(utc.toOffsetFromUtc(2 * 3600)); // same instant, other zone
            QCOMPARE(back.day, day);
            QCOMPARE(back.seconds, seconds);
        }
    }

    void ordering_data()
    {
        QTest::addColumn<DateTime>("earlier");
        QTest::addColumn<DateTime>("later");
        QTest::addColumn<bool>("sameInstant");
        QTest::newRow("seconds within a day") << DateTime(60374, 10.0) << DateTime(60374, 10.5) << false;
        QTest::newRow("later day, fewer seconds") << DateTime(60373, 86399.0) << DateTime(60374, 0.0) << false;
        QTest::newRow("unnormalised, same instant") << DateTime(0, 86400.0) << DateTime(1, 0.0) << true;
    }
    void ordering()
    {
        QFETCH(DateTime, earlier);
        QFETCH(DateTime, later);
        QFETCH(bool, sameInstant);
        QCOMPARE(earlier < later, !sameInstant);
        QVERIFY(!(later < earlier));
        QCOMPARE(earlier == later, sameInstant);
    }

    void extremes_data()
    {
        QTest::addColumn<qint64>("day");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("utc"); // empty: no instant
        const double inf = std::numeric_limits<double>::infinity();
        const qint64 farDays = 50000000000; // about 137 million years
        QTest::newRow("NaN seconds") << qint64(40587) << std::numeric_limits<double>::quiet_NaN() << QString();
        QTest::newRow("infinite seconds") << qint64(40587) << inf << QString();
        QTest::newRow("minus infinite seconds") << qint64(40587) << -inf << QString();
        QTest::newRow("seconds past 64-bit milliseconds") << qint64(40587) << 1e300 << QString();
        QTest::newRow("largest day") << std::numeric_limits<qint64>::max() << 0.0 << QString();
        QTest::newRow("smallest day") << std::numeric_limits<qint64>::min() << 0.0 << QString();
        QTest::newRow("day whose milliseconds overflow") << (qint64(1) << 50) << 0.0 << QString();
        QTest::newRow("far day and far seconds add past the range") << 40587 + farDays << 4.32e15 << QString();
        QTest::newRow("far day brought back by seconds") << 40587 - farDays << 4.32e15 << "1970-01-01T00:00:00.000Z";
        QTest::newRow("last millisecond of 9999") << qint64(2973483) << 86399.999 << "9999-12-31T23:59:59.999Z";
    }
    void extremes()
    {
        QFETCH(qint64, day);
        QFETCH(double, seconds);
        QFETCH(QString, utc);
        const QDateTime result = DateTime(day, seconds).toQDateTime();
        QCOMPARE(result.isValid(), !utc.isEmpty());
        QCOMPARE(result.toString(Qt::ISODateWithMs), utc);
    }
};

QTEST_GUILESS_MAIN(TstInhouseDateTime)
#include "tst_inhousedatetime.moc"
