#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <numeric>

#include "archive/ArchiveKeeper.h"
#include "archive/ArchiveWorker.h"
#include "archive/MessageArchive.h"
#include "tests/common/FirstFormatArchive.h"
#include "tests/common/TestSupport.h"

using namespace Vantrel::Archive;
using Vantrel::Com::DfrLink;

Q_DECLARE_METATYPE(ArchiveRecord_t)

namespace {

constexpr int burstSize = 2000;

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

ArchiveRecord_t record(int second, const QString& id = QStringLiteral("A1B2C3D"), quint32 frequency = 401650000,
                       const QByteArray& payload = QByteArray::fromHex("0102A0"), const QString& receiver = QStringLiteral("R-0042"))
{
    ArchiveRecord_t r;
    r.receiver = receiver;
    r.generation = DfrLink::DFR_V2;
    r.message.dateTime = Tarsk::Utils::DateTime(61000, second);
    r.message.platformId = id;
    r.message.frequencyHz = frequency;
    r.message.rawPayload = payload;
    r.message.payload = payload;
    r.message.direction = 123;
    r.message.level = -120;
    r.message.crcOk = true;
    return r;
}

// What the selection tests choose from: platforms A, B and C, two receivers, three seconds.
ArchiveRecords_t selectable()
{
    return {record(10, "A", 1, "x", "R-1"), record(20, "A", 1, "x", "R-1"), record(20, "B", 1, "x", "R-1"),
            record(30, "C", 1, "x", "R-2")};
}

// The child of killedMidBurst: stores bursts until it is killed, telling each one committed.
int storeBurstsForever(const QString& path)
{
    MessageArchive archive;
    archive.open(path);
    for (int burst = 0;; ++burst) {
        ArchiveRecords_t records;
        for (int i = 0; i < burstSize; ++i)
            records.append(record(burst * burstSize + i));
        archive.store(records);
        QTextStream(stdout) << "committed " << burst + 1 << Qt::endl;
    }
}

// The child of killedMidMerge: merges `other` into `path`, telling when it starts.
int mergeAndTell(const QString& path, const QString& other)
{
    MessageArchive archive;
    archive.open(path);
    QTextStream(stdout) << "merging" << Qt::endl;
    archive.merge(other);
    QTextStream(stdout) << "merged" << Qt::endl;
    return 0;
}

// An archive file of these messages, closed: a second past the day's 80 000 moves to the next frequency.
void writeArchive(const QString& path, const QVector<int>& seconds, const char* receiver = "R-0042")
{
    MessageArchive archive;
    archive.open(path);
    ArchiveRecords_t records;
    for (const int second : seconds)
        records.append(record(second % 80000, "A1B2C3D", 401650000 + second / 80000, QByteArray::fromHex("0102A0"), receiver));
    archive.store(records);
}

// The first n messages from `first` on.
QVector<int> span(int n, int first = 0)
{
    QVector<int> seconds(n);
    std::iota(seconds.begin(), seconds.end(), first);
    return seconds;
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

class TestMessageArchive : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir dir;
    QString path() const { return dir.filePath(QStringLiteral("Archive/vantrel.sqlite")); }

private Q_SLOTS:
    void init() { QVERIFY(dir.isValid() && QDir(dir.filePath("Archive")).removeRecursively()); }

    // The same message heard again is kept once; a message that differs in any part of that key is another one.
    void keptOnce_data()
    {
        QTest::addColumn<ArchiveRecord_t>("again");
        QTest::addColumn<int>("added");
        ArchiveRecord_t flashCopy = record(10);
        flashCopy.live = true;
        flashCopy.message.flashPosition = 77;
        flashCopy.label = QStringLiteral("Buoy Seine");
        QTest::newRow("same message, other origin and label") << flashCopy << 0;
        QTest::newRow("other receiver") << record(10, "A1B2C3D", 401650000, QByteArray::fromHex("0102A0"), "R-0043") << 1;
        QTest::newRow("one second later") << record(11) << 1;
        QTest::newRow("other identifier") << record(10, "A1B2C3E") << 1;
        QTest::newRow("other frequency") << record(10, "A1B2C3D", 401650001) << 1;
        QTest::newRow("other payload") << record(10, "A1B2C3D", 401650000, QByteArray::fromHex("0102A1")) << 1;
    }
    void keptOnce()
    {
        QFETCH(ArchiveRecord_t, again);
        QFETCH(int, added);
        MessageArchive archive;
        QCOMPARE(archive.open(path()), QString());
        const ArchiveRecords_t dump = {record(10), record(20), record(30)};
        QCOMPARE(archive.store(dump), 3);
        QCOMPARE(archive.store(dump), 0);  // the dump read a second time
        QCOMPARE(archive.store({again}), added);
        QCOMPARE(archive.count(), 3 + added);
    }

    // A message loads back as it was stored, a missing date and payload position included.
    void loadsBack()
    {
        ArchiveRecord_t stored = record(86399);
        stored.message.dateTime = Tarsk::Utils::DateTime(61000, 86399.25);
        stored.message.band = DfrLink::ORVANBAND_MSS;
        stored.message.dfrLatitude = -33.5;
        stored.message.flashPosition = 4096;
        stored.payloadPosition = true;
        stored.payloadLatitude = 48.8566;
        stored.payloadLongitude = -2.5;
        ArchiveRecord_t undated = record(0, QStringLiteral("FFFF"));
        undated.message.dateTime = Tarsk::Utils::DateTime();
        MessageArchive archive;
        archive.open(path());
        archive.store({stored, undated});

        const ArchiveRecords_t back = archive.load({{QStringLiteral("A1B2C3D")}, {}, {}, {}});
        QCOMPARE(back.size(), 1);
        const ArchiveRecord_t& r = back.first();
        QCOMPARE(r.message.dateTime, stored.message.dateTime);
        QCOMPARE(r.message.band, DfrLink::ORVANBAND_MSS);
        QCOMPARE(r.message.dfrLatitude, -33.5);
        QCOMPARE(r.message.flashPosition, 4096);
        QCOMPARE(r.message.rawPayload, stored.message.rawPayload);
        QVERIFY(r.payloadPosition);
        QCOMPARE(r.payloadLongitude, -2.5);
        QCOMPARE(r.generation, DfrLink::DFR_V2);

        const ArchiveRecords_t none = archive.load({{QStringLiteral("FFFF")}, {}, {}, {}});
        QCOMPARE(none.size(), 1);
        QVERIFY(none.first().message.dateTime.isNull());
        QVERIFY(!none.first().payloadPosition);
    }

    // Platform, receiver and time bounds, the bounds taken inclusive.
    void selects_data()
    {
        QTest::addColumn<ArchiveQuery_t>("query");
        QTest::addColumn<int>("count");
        const QDateTime day = Tarsk::Utils::DateTime(61000, 0).toQDateTime();
        QTest::newRow("everything") << ArchiveQuery_t{} << 4;
        QTest::newRow("one platform") << ArchiveQuery_t{{"B"}, {}, {}, {}} << 1;
        QTest::newRow("two platforms") << ArchiveQuery_t{{"A", "B"}, {}, {}, {}} << 3;
        QTest::newRow("one receiver") << ArchiveQuery_t{{}, {"R-2"}, {}, {}} << 1;
        QTest::newRow("from, inclusive") << ArchiveQuery_t{{}, {}, day.addSecs(20), {}} << 3;
        QTest::newRow("from, a second after") << ArchiveQuery_t{{}, {}, day.addSecs(21), {}} << 1;
        QTest::newRow("to, inclusive") << ArchiveQuery_t{{}, {}, {}, day.addSecs(20)} << 3;
        QTest::newRow("platform and window") << ArchiveQuery_t{{"A"}, {}, day.addSecs(11), day.addSecs(30)} << 1;
    }
    void selects()
    {
        QFETCH(ArchiveQuery_t, query);
        QFETCH(int, count);
        MessageArchive archive;
        archive.open(path());
        archive.store(selectable());
        QCOMPARE(archive.load(query).size(), count);
        const ArchiveSummary_t summary = archive.summary();
        QCOMPARE(summary.count, 4);
        QCOMPARE(summary.platforms.size(), 3);
        QCOMPARE(summary.platforms.first().count, 2);
        QCOMPARE(summary.receivers.size(), 2);
    }

    // Only the messages missing here are added, by the same key as a store; a second merge adds none.
    void merges_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("added");
        QTest::newRow("disjoint") << "40 50" << 2;
        QTest::newRow("overlapping") << "20 30 40" << 1;
        QTest::newRow("all here already") << "10 30" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("first format") << "first" << 1;
    }
    void merges()
    {
        QFETCH(QString, kind);
        QFETCH(int, added);
        const QString other = dir.filePath("other.sqlite");
        QFile::remove(other);
        if (kind == "first") {
            QCOMPARE(writeFirstFormatArchive(other, "R-0099"), QString());
        } else {
            QVector<int> seconds;
            for (const QString& second : kind.split(' ', Qt::SkipEmptyParts))
                seconds << second.toInt();
            writeArchive(other, seconds);
        }
        const QByteArray before = contentOf(other);
        MessageArchive archive;
        archive.open(path());
        QCOMPARE(archive.store({record(10), record(20), record(30)}), 3);
        const MessageArchive::Transfer_t first = archive.merge(other);
        QCOMPARE(first.refusal, QString());
        QCOMPARE(first.count, added);
        const MessageArchive::Transfer_t again = archive.merge(other);
        QCOMPARE(again.count, 0);
        QCOMPARE(archive.count(), 3 + added);
        QCOMPARE(contentOf(other), before);
        if (kind == "first") {  // read as its migration would have left it
            const ArchiveRecords_t back = archive.load({{}, {"R-0099"}, {}, {}});
            QCOMPARE(back.size(), 1);
            QVERIFY(back.first().partialReceiver);
            QVERIFY(!back.first().payloadPosition);
        }
    }

    // A file that cannot be merged is refused with its reason, the archive and the file untouched.
    void mergeRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reason");
        QTest::newRow("newer format") << "newer" << "was written by a newer Vantrel (format 4)";
        QTest::newRow("damaged") << "damaged" << "is damaged";
        QTest::newRow("not an SQLite file") << "text" << "is not a Vantrel archive";
        QTest::newRow("another program's database") << "foreign" << "is not a Vantrel archive";
        QTest::newRow("missing") << "missing" << "cannot be read";
        QTest::newRow("this archive itself") << "itself" << "is this archive itself";
    }
    void mergeRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QString other = dir.filePath("bad.sqlite");
        QFile::remove(other);
        if (kind == "text") {
            QVERIFY(writeBytes(other, QByteArray(4096, 'x')));
        } else if (kind == "itself") {
            other = path();
        } else if (kind != "missing") {
            writeArchive(other, span(3000, 100));
            if (kind == "damaged") {  // past an intact first page, which holds the format and the tables
                QFile file(other);
                QVERIFY(file.open(QIODevice::ReadWrite) && file.size() > 65536);
                file.seek(4096);
                file.write(QByteArray(int(file.size()) - 4096, '\xa5'));
            } else {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
                db.setDatabaseName(other);
                QVERIFY(db.open());
                QVERIFY(QSqlQuery(db).exec(kind == "newer" ? "PRAGMA user_version=4" : "ALTER TABLE messages RENAME TO readings"));
                db.close();
            }
        }
        const QByteArray before = contentOf(other);
        MessageArchive archive;
        archive.open(path());
        archive.store({record(10)});
        const MessageArchive::Transfer_t outcome = archive.merge(other);
        QVERIFY2(outcome.refusal.contains(reason), qPrintable(outcome.refusal));
        QCOMPARE(outcome.count, 0);
        QCOMPARE(archive.count(), 1);
        if (kind != "itself")
            QCOMPARE(contentOf(other), before);
    }

    // Killed early, half-way or late in a large merge, the archive opens again as it was or
    // with the whole file merged, never with part of it.
    void killedMidMerge_data()
    {
        QTest::addColumn<qint64>("logged");  // megabytes in the write-ahead log at the kill, of about 40
        QTest::newRow("early") << qint64(1);
        QTest::newRow("half-way") << qint64(16);
        QTest::newRow("past half-way") << qint64(26);
        QTest::newRow("late") << qint64(32);
    }
    void killedMidMerge()
    {
        QFETCH(qint64, logged);
        constexpr int held = 1000, offered = 300000;
        const QString other = dir.filePath("large.sqlite");
        if (!QFile::exists(other))
            writeArchive(other, span(offered), "R-1");
        writeArchive(path(), span(held), "R-2");
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VANTREL_ARCHIVE_MERGE_CHILD"), path() + '\n' + other);
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray told;
        qint64 maxWal = 0;
        QTRY_VERIFY_WITH_TIMEOUT((told += child.readAllStandardOutput()).contains("merged")
                                     || (maxWal = std::max(maxWal, QFileInfo(path() + "-wal").size())) > logged << 20, 30000);
        child.kill();  // a merge already done has ended the child
        QVERIFY(child.state() == QProcess::NotRunning || child.waitForFinished());

        MessageArchive archive;
        QCOMPARE(archive.open(path()), QString());
        const qint64 count = archive.count();
        QVERIFY2(count == held || count == held + offered, qPrintable(QString::number(count)));
    }

    // An export holds exactly the choice, bounds as a load takes them, and merges back as that.
    void exportRoundTrip_data() { selects_data(); }
    void exportRoundTrip()
    {
        QFETCH(ArchiveQuery_t, query);
        QFETCH(int, count);
        MessageArchive archive;
        archive.open(path());
        archive.store(selectable());
        const QString target = dir.filePath("export/subset.sqlite");
        QVERIFY(QDir().mkpath(dir.filePath("export")) && writeBytes(target, "an older export, replaced"));
        const MessageArchive::Transfer_t exported = archive.exportTo(query, target);
        QCOMPARE(exported.refusal, QString());
        QCOMPARE(exported.count, count);
        QCOMPARE(QDir(dir.filePath("export")).entryList(QDir::Files), QStringList({"subset.sqlite"}));
        QVERIFY(archive.exportTo(query, path()).refusal.contains("is the open archive"));
        QCOMPARE(archive.count(), 4);

        MessageArchive empty;
        empty.open(dir.filePath("Archive/empty.sqlite"));
        QCOMPARE(empty.merge(target).count, count);
        const ArchiveRecords_t chosen = archive.load(query);
        const ArchiveRecords_t back = empty.load({});
        QCOMPARE(back.size(), chosen.size());
        for (int i = 0; i < back.size(); ++i)
            QCOMPARE(back[i].message.dateTime, chosen[i].message.dateTime);
    }

    // A damaged file is renamed aside, never deleted, and a new archive takes its place.
    void damagedSetAside()
    {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        // Twice, most likely within one second: each keeps a name of its own.
        for (const char fill : {'x', 'y'}) {
            QVERIFY(writeBytes(path(), QByteArray(8192, fill)));
            MessageArchive archive;
            const QString note = archive.open(path());
            QVERIFY2(note.contains(QStringLiteral("set aside")), qPrintable(note));
            QCOMPARE(archive.store({record(1)}), 1);
        }
        QDir folder = QFileInfo(path()).dir();
        const QStringList aside = folder.entryList({QStringLiteral("vantrel.sqlite.damaged-*")}, QDir::Files, QDir::Time);
        QCOMPARE(aside.size(), 2);
        QByteArray kept;
        for (const QString& name : aside) {
            QFile file(folder.filePath(name));
            QVERIFY(file.open(QIODevice::ReadOnly));
            kept += file.readAll();
        }
        QVERIFY(kept.count('x') == 8192 && kept.count('y') == 8192);
    }

    // Damage found by a load, past an intact first page: set aside too, and the load failed, not answered from a new file.
    void damagedInUse()
    {
        {
            MessageArchive archive;
            archive.open(path());
            ArchiveRecords_t many;
            for (int i = 0; i < 3000; ++i)
                many.append(record(i));
            archive.store(many);
        }
        QFile file(path());
        QVERIFY(file.open(QIODevice::ReadWrite) && file.size() > 65536);
        file.seek(4096);
        file.write(QByteArray(int(file.size()) - 4096, '\xa5'));
        file.close();

        ArchiveWorker worker;
        QSignalSpy opened(&worker, &ArchiveWorker::sigOpened);
        QSignalSpy loaded(&worker, &ArchiveWorker::sigLoaded);
        QSignalSpy loadFailed(&worker, &ArchiveWorker::sigLoadFailed);
        QSignalSpy failed(&worker, &ArchiveWorker::sigFailed);
        worker.open(path());
        worker.load(1, {});
        QVERIFY2(failed.isEmpty(), qPrintable(failed.value(0).value(0).toString()));
        QCOMPARE(opened.size(), 2);
        QVERIFY2(opened.at(1).at(1).toString().contains("set aside"), qPrintable(opened.at(1).at(1).toString()));
        QCOMPARE(loaded.size(), 0);
        QCOMPARE(loadFailed.size(), 1);
    }

    // A file of the first format keeps its messages and takes the new columns.
    void migratesFirstFormat()
    {
        QDir().mkpath(QFileInfo(path()).absolutePath());
        QCOMPARE(writeFirstFormatArchive(path(), "R-0042"), QString());

        MessageArchive archive;
        QCOMPARE(archive.open(path()), QString());
        const ArchiveRecords_t back = archive.load({});
        QCOMPARE(back.size(), 1);
        QCOMPARE(back.first().message.dateTime, record(10).message.dateTime);
        QCOMPARE(back.first().label, QString());
        QVERIFY(!back.first().payloadPosition);
        QVERIFY(back.first().partialReceiver);
        QCOMPARE(archive.store({record(10), record(11)}), 1);
        // The number kept before and the whole one with the same text stay two receivers.
        const ArchiveSummary_t summary = archive.summary();
        QCOMPARE(summary.receivers.size(), 2);
        QVERIFY(summary.receivers.at(0).partial != summary.receivers.at(1).partial);
        archive.close();

        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("check"));
        db.setDatabaseName(path());
        QVERIFY(db.open());
        QSqlQuery q(db);
        QVERIFY(q.exec(QStringLiteral("PRAGMA user_version")) && q.next());
        QCOMPARE(q.value(0).toInt(), MessageArchive::schemaVersion);
        QVERIFY(q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("wal"));
    }
    void cleanup() { QSqlDatabase::removeDatabase(QStringLiteral("check")); }

    // The archive is refused, with its reason, when another program holds it or a newer one wrote it.
    void refused_data()
    {
        QTest::addColumn<bool>("newer");
        QTest::addColumn<QString>("reason");
        QTest::newRow("held by another Vantrel") << false << QStringLiteral("is in use by another Vantrel");
        QTest::newRow("written by a newer Vantrel") << true << QStringLiteral("written by a newer Vantrel (format 4)");
    }
    void refused()
    {
        QFETCH(bool, newer);
        QFETCH(QString, reason);
        MessageArchive first;
        first.open(path());
        if (newer) {
            first.close();
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("newer"));
                db.setDatabaseName(path());
                QVERIFY(db.open() && QSqlQuery(db).exec(QStringLiteral("PRAGMA user_version=4")));
            }
            QSqlDatabase::removeDatabase(QStringLiteral("newer"));
        }
        MessageArchive second;
        try {
            second.open(path());
            QFAIL("opened");
        } catch (const MessageArchive::Failure_t& failure) {
            QVERIFY2(failure.text.contains(reason), qPrintable(failure.text));
        }
        QVERIFY(!second.isOpen());
    }

    static QString lockHost()
    {
#if defined(Q_OS_WIN)
        return qEnvironmentVariable("COMPUTERNAME");
#else
        return QSysInfo::machineHostName();
#endif
    }
    // A lock naming this very process, left by an earlier run given the same number
    // again, holds nobody; a lock this process holds still refuses a second opening.
    void ownNumberLeftBehind()
    {
        const QString lockPath = path() + QStringLiteral(".lock");
        QVERIFY(QDir().mkpath(dir.filePath(QStringLiteral("Archive"))));
        QVERIFY(TestSupport::writeFile(lockPath, QStringLiteral("%1\n%2\n%3\n%4\n%5\n")
                                                     .arg(QCoreApplication::applicationPid())
                                                     .arg(QCoreApplication::applicationName(), lockHost(),
                                                          QString::fromLatin1(QSysInfo::machineUniqueId()),
                                                          QString::fromLatin1(QSysInfo::bootUniqueId()))));
        MessageArchive first;
        first.open(path());
        QVERIFY(first.isOpen());
        MessageArchive second;
        QVERIFY_THROWS_EXCEPTION(MessageArchive::Failure_t, second.open(path()));
    }

    // The program closing hands over what it gathered and waits for it to be written.
    void closingKeepsGathered()
    {
        auto* keeper = new ArchiveKeeper;
        keeper->open(path());
        QTRY_VERIFY_WITH_TIMEOUT(keeper->isReady(), 5000);
        ArchiveRecord_t live = record(1);
        live.live = true;
        keeper->add(live);
        delete keeper;
        MessageArchive archive;
        archive.open(path());
        QCOMPARE(archive.count(), 1);
    }

    // Killed in the middle of a burst, the archive opens again with whole bursts only.
    void killedMidBurst()
    {
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(QStringLiteral("VANTREL_ARCHIVE_CHILD"), path());
        child.setProcessEnvironment(environment);
        child.start(QCoreApplication::applicationFilePath(), {});
        QVERIFY(child.waitForStarted());
        QByteArray told;
        QTRY_VERIFY_WITH_TIMEOUT((told += child.readAllStandardOutput()).count("committed") >= 3, 30000);
        child.kill(); // SIGKILL, or TerminateProcess on Windows: nothing is flushed
        QVERIFY(child.waitForFinished());
        const qint64 committed = (told + child.readAllStandardOutput()).count("committed");

        MessageArchive archive;
        QCOMPARE(archive.open(path()), QString());
        const qint64 count = archive.count();
        QCOMPARE(count % burstSize, 0);
        QVERIFY2(count >= committed * burstSize, qPrintable(QString::number(count)));
        QCOMPARE(archive.store({record(0)}), 0);
    }
};

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qRegisterMetaType<ArchiveRecord_t>();
    const QString child = qEnvironmentVariable("VANTREL_ARCHIVE_CHILD");
    if (!child.isEmpty())
        return storeBurstsForever(child);
    const QStringList merging = qEnvironmentVariable("VANTREL_ARCHIVE_MERGE_CHILD").split('\n');
    if (merging.size() == 2)
        return mergeAndTell(merging[0], merging[1]);
    TestMessageArchive test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_messagearchive.moc"
