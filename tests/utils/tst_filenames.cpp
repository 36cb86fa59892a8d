// Names offered by the save dialogs.
#include <QtTest>

#include "utils/FileNames.h"

class TstFileNames : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void offered_data()
    {
        QTest::addColumn<QStringList>("about");
        QTest::addColumn<QDateTime>("when");
        QTest::addColumn<QString>("name");
        const QDateTime noon(QDate(2026, 12, 7), QTime(11, 56, 59), Qt::UTC);
        QTest::newRow("receiver") << QStringList{"0042-1207"} << noon << "messages_0042-1207_2026-12-07_1156UTC.csv";
        QTest::newRow("no receiver") << QStringList{""} << noon << "messages_2026-12-07_1156UTC.csv";
        QTest::newRow("local time after midnight, UTC the day before")
            << QStringList{} << QDateTime(QDate(2026, 12, 8), QTime(0, 30), Qt::OffsetFromUTC, 3600)
            << "messages_2026-12-07_2330UTC.csv";
        QTest::newRow("identifiers that would steer the path")
            << QStringList{"../A1 B2", "x\\y:z"} << noon << "messages____A1_B2_x_y_z_2026-12-07_1156UTC.csv";
    }

    void offered()
    {
        QFETCH(QStringList, about);
        QFETCH(QDateTime, when);
        QFETCH(QString, name);
        QCOMPARE(Vantrel::Utils::FileNames::offered("messages", about, when, "csv"), name);
    }
};

QTEST_GUILESS_MAIN(TstFileNames)

#include "tst_filenames.moc"
