// DateTimeWidget: which changes announce themselves, and the value they leave.
#include <QAbstractButton>
#include <QDateTimeEdit>
#include <QSignalSpy>
#include <QTest>

#include "inhouse/DateTimeWidget.h"

using Tarsk::Utils::DateTime;

class TstInhouseDateTimeWidget : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void changes_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("emitted");
        QTest::addColumn<QString>("shown"); // empty: the current system time
        QTest::newRow("program sets a value") << "set" << 0 << "2024-03-05 14:07:59";
        QTest::newRow("program sets the null value") << "set null" << 0 << "1858-11-17 00:00:00";
        QTest::newRow("user steps a day, then Return") << "step" << 1 << "2024-03-06 14:07:59";
        QTest::newRow("user presses Return, no change") << "return" << 0 << "2024-03-05 14:07:59";
        QTest::newRow("user chooses the system time") << "now" << 1 << "";
    }
    void changes()
    {
        QFETCH(QString, action);
        QFETCH(int, emitted);
        QFETCH(QString, shown);
        Tarsk::Ui::DateTimeWidget widget;
        widget.setNowLabel("System time");
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
        if (action == "step" || action == "return")
            QTest::keyClick(editor, Qt::Key_Return);
        if (action == "now") {
            auto* now = widget.findChild<QAbstractButton*>();
            QVERIFY(now && now->text() == "System time");
            const auto clock = [] { return QDateTime::currentDateTimeUtc().toString("yyyy-MM-dd hh:mm:ss"); };
            const QString before = clock();
            now->click();
            shown = editor->text() == before ? before : clock(); // the second may turn meanwhile
        }
        QCOMPARE(spy.count(), emitted);
        QCOMPARE(editor->text(), shown);
        QCOMPARE(widget.dateTime().toQDateTime().toString("yyyy-MM-dd hh:mm:ss"), shown);
    }
};

QTEST_MAIN(TstInhouseDateTimeWidget)
#include "tst_inhousedatetimewidget.moc"
