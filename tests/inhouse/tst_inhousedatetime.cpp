// DateTime: conversion to and from QDateTime; the widget's change signal and the value it leaves.
#include <QtTest>
#include <QtWidgets>
#include <limits>

#include "inhouse/DateTime.h"
#include "inhouse/DateTimeWidget.h"

using Tarsk::Utils::DateTime;

class TstInhouseDateTime : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Day and seconds to the instant, as its ISO text, and back where they are as given.
    void conversion_data()
    {
        QTest::addColumn<qint64>("day");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QString>("utc"); // empty: no instant
        QTest::addColumn<bool>("roundTrip"); // fromQDateTime gives day and seconds back as they are
        const qint64 farDays = 50000000000; // about 137 million years
        QTest::newRow("unix epoch") << qint64(40587) << 0.0 << "1970-01-01T00:00:00.000Z" << true;
        QTest::newRow("before 1970") << qint64(40586) << 86399.25 << "1969-12-31T23:59:59.250Z" << true;
        QTest::newRow("before 1858, seconds stay positive") << qint64(-1) << 43200.0 << "1858-11-16T12:00:00.000Z" << true;
        QTest::newRow("half millisecond rounds up") << qint64(40587) << 10.0625 << "1970-01-01T00:00:10.063Z" << false;
        QTest::newRow("below half rounds down") << qint64(40587) << 10.0624 << "1970-01-01T00:00:10.062Z" << false;
        QTest::newRow("seconds past midnight carry") << qint64(40587) << 86400.0 << "1970-01-02T00:00:00.000Z" << false;
        QTest::newRow("NaN seconds") << qint64(40587) << std::numeric_limits<double>::quiet_NaN() << QString() << false;
        QTest::newRow("seconds past 64-bit milliseconds") << qint64(40587) << 1e300 << QString() << false;
        QTest::newRow("largest day") << std::numeric_limits<qint64>::max() << 0.0 << QString() << false;
        QTest::newRow("smallest day") << std::numeric_limits<qint64>::min() << 0.0 << QString() << false;
        QTest::newRow("far day and far seconds add past the range") << 40587 + farDays << 4.32e15 << QString() << false;
        QTest::newRow("far day brought back by seconds")
            << 40587 - farDays << 4.32e15 << "1970-01-01T00:00:00.000Z" << false;
        QTest::newRow("last millisecond of 9999") << qint64(2973483) << 86399.999 << "9999-12-31T23:59:59.999Z" << false;
    }
    void conversion()
    {
        QFETCH(qint64, day);
        QFETCH(double, seconds);
        QFETCH(QString, utc);
        QFETCH(bool, roundTrip);
        // The ISO text holds the fields and the zone: the result must read as UTC.
        const QDateTime result = DateTime(day, seconds).toQDateTime();
        QCOMPARE(result.isValid(), !utc.isEmpty());
        QCOMPARE(result.toString(Qt::ISODateWithMs), utc);
        if (roundTrip) {
            // The same instant in another zone.
            const DateTime back = DateTime::fromQDateTime(result.toOffsetFromUtc(2 * 3600));
            QCOMPARE(back.day, day);
            QCOMPARE(back.seconds, seconds);
        }
    }

    void changes_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("emitted");
        QTest::addColumn<QString>("shown");
        QTest::newRow("program sets a value") << "set" << 0 << "2024-03-05 14:07:59";
        QTest::newRow("program sets the null value") << "set null" << 0 << "1858-11-17 00:00:00";
        QTest::newRow("user steps a day, then Return") << "step" << 1 << "2024-03-06 14:07:59";
        QTest::newRow("user presses Return, no change") << "return" << 0 << "2024-03-05 14:07:59";
        // A click lands inside a section: the digits typed replace that section.
        QTest::newRow("user clicks the year, types 2031") << "click 2 2031" << 1 << "2031-03-05 14:07:59";
        QTest::newRow("user clicks the minute, types 45") << "click 15 45" << 1 << "2024-03-05 14:45:59";
    }
    void changes()
    {
        QFETCH(QString, action);
        QFETCH(int, emitted);
        QFETCH(QString, shown);
        Tarsk::Ui::DateTimeWidget widget;
        auto* editor = widget.findChild<QDateTimeEdit*>();
        QVERIFY(editor);
        widget.setDateTime(DateTime(60000, 1.0));
        QSignalSpy spy(&widget, SIGNAL(sigDateTimeChanged())); // by name, as the main window connects

        widget.setDateTime(action == "set null" ? DateTime() : DateTime(60374, 50879.0));
        if (action == "step") {
            editor->setCurrentSection(QDateTimeEdit::DaySection);
            QTest::keyClick(editor, Qt::Key_Up);
            QCOMPARE(spy.count(), 0); // not while the user is still editing
        }
        if (action.startsWith("click")) {
            widget.show();
            QVERIFY(QTest::qWaitForWindowExposed(&widget));
            auto* line = editor->findChild<QLineEdit*>();
            const int x = line->fontMetrics().horizontalAdvance(line->text().left(action.section(' ', 1, 1).toInt()));
            QTest::mouseClick(line, Qt::LeftButton, {}, QPoint(x + 4, line->height() / 2));
            QTRY_VERIFY(!line->selectedText().isEmpty());
            QTest::keyClicks(editor, action.section(' ', 2, 2));
        }
        if (action != "set" && action != "set null")
            QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(spy.count(), emitted);
        QCOMPARE(editor->text(), shown);
        QCOMPARE(widget.dateTime().toQDateTime().toString("yyyy-MM-dd hh:mm:ss"), shown);
    }

};

QTEST_MAIN(TstInhouseDateTime)
#include "tst_inhousedatetime.moc"
