// The window's archive: a flash read and its dump opened twice are kept once, the
// Archive page loads a platform back without a receiver, a read-only archive is
// browsed, and an archive that fails is switched off with a warning, the table untouched.
#include <QSignalSpy>

#include "archive/ArchiveKeeper.h"
#include "archive/MessageArchive.h"
#include "sim/DemoContent.h"
#include "tests/common/FirstFormatArchive.h"
#include "tests/common/WindowDeviceFixture.h"
#include "ui/archive/ArchivePlatformsModel.h"
#include "ui/archive/ArchiveTab.h"
#include "ui/RxTableColumns.h"
#include "ui/RxTableModel.h"
#include "utils/FlashDumpInfo.h"
#include "utils/Settings.h"

using Vantrel::Archive::ArchiveKeeper;
using Vantrel::Archive::MessageArchive;

class TestArchiveWindow : public WindowDeviceFixture
{
    Q_OBJECT

    // Live messages, in the table and gathered for the archive.
    void addLive(int first)
    {
        Vantrel::Com::DfrLink::OrvanRxMessage_t message;
        message.platformId = "5D6E7F8";
        message.rawPayload = QByteArray(200, '\x5a');  // more than the free room of a new file
        for (int second = first; second < first + 60; ++second) {
            message.dateTime = Tarsk::Utils::DateTime(61000, second);
            window->slotOrvanMessageReceived(message, Vantrel::Com::DfrLink::RXORIGIN_LIVE);
        }
    }
    // The receivers listed whose text starts so, up to their message counts.
    QStringList receiversShown(const QString& start) const
    {
        QStringList shown;
        for (const QListWidgetItem* item : window->findChild<QListWidget*>("listWidgetArchiveReceivers")->findItems(start, Qt::MatchStartsWith))
            shown << item->text().section(" messages", 0, 0) + " messages";
        return shown;
    }
    void clickLoad() { window->findChild<QPushButton*>("pushButtonArchiveLoad")->click(); }

private Q_SLOTS:
    void initTestCase()
    {
        moreSettings = QString("[Archive]\nfile=%1\n").arg(dir.filePath("Archive/vantrel.sqlite"));
        startWindow();
    }

    void keptOnceAndLoadedBack()
    {
        ArchiveKeeper* keeper = window->archiveKeeper();
        QTRY_VERIFY_WITH_TIMEOUT(keeper->isReady(), 5000);
        QCOMPARE(keeper->path(), dir.filePath("Archive/vantrel.sqlite"));
        QSignalSpy stored(keeper, &ArchiveKeeper::sigStored);
        connectTo(DeviceState::PROFILE_DFR_V2_APP, [](DeviceState& state) {
            DeviceState::Platform_t platform;
            platform.id = "1A2B3C4";
            platform.label = "Buoy Loire";
            state.setPlatform(0, platform);
            Vantrel::Sim::DemoContent::fillFlash(state, 60);
        });
        ui->checkBoxFlashDumpToFile->setChecked(true);
        ui->pushButtonRxFlashRead->click();
        const int read = window->rxRowCount();
        QVERIFY(read >= 60);
        QTRY_COMPARE_WITH_TIMEOUT(stored.size(), 1, 5000);
        QCOMPARE(stored.at(0), QVariantList({read, read}));  // one burst, one transaction

        // Without the receiver, the dump opened twice adds nothing.
        sim->unplug();
        QTRY_VERIFY_WITH_TIMEOUT(!connected(), 5000);
        chosenFile = window->lastFlashDumpPath();
        reply = 0;  // clear the table
        for (int time = 0; time < 2; ++time)
            ui->pushButtonRxFlashOpenDump->click();
        QTRY_COMPARE_WITH_TIMEOUT(stored.size(), 3, 5000);
        QCOMPARE(stored.at(1), QVariantList({0, read}));
        QCOMPARE(stored.at(2), QVariantList({0, read}));

        // One platform loaded back in place of the table: its rows only, stored nowhere again.
        auto* tab = window->findChild<Vantrel::Ui::ArchiveTab*>();
        ui->tabWidget->setCurrentWidget(tab);
        auto* view = tab->findChild<QTableView*>("tableViewArchivePlatforms");
        QTRY_VERIFY_WITH_TIMEOUT(view->model()->rowCount() > 1, 5000);
        view->selectRow(0);
        const QString id = view->model()->index(0, Vantrel::Ui::ArchivePlatformsModel::COLUMN_ID).data().toString();
        const int count = view->model()->index(0, Vantrel::Ui::ArchivePlatformsModel::COLUMN_COUNT).data().toInt();
        QVERIFY(count > 0 && count < read);
        QSignalSpy loaded(keeper, &ArchiveKeeper::sigLoaded);
        asked.clear();
        tab->findChild<QPushButton*>("pushButtonArchiveLoad")->click();
        QCOMPARE(asked.size(), 1);  // the table held the dump: replaced
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 5000);
        QCOMPARE(window->rxRowCount(), count);
        const Vantrel::Ui::RxTableModel* model = window->rxTableModel();
        for (int row = 0; row < count; ++row)
            QCOMPARE(model->text(row, Vantrel::Ui::RXCOLUMN_ID), id);
        QVERIFY2(statusText().contains(QString("%1 archived messages loaded").arg(count)), qPrintable(statusText()));
        // The worker answers in order: a store of the loaded rows would come before this summary.
        QSignalSpy summarized(keeper, &ArchiveKeeper::sigSummary);
        keeper->refreshSummary();
        QTRY_VERIFY_WITH_TIMEOUT(!summarized.isEmpty(), 5000);
        QCOMPARE(stored.size(), 3);
    }

    // A store failing ahead of a "Replace" load: warned, nothing counted as stored or said as loaded, the table kept.
    void failedStoreKeepsTable_data()
    {
        QTest::addColumn<QString>("statement");
        QTest::addColumn<QString>("warning");
        QTest::newRow("full disk") << "PRAGMA max_page_count=1" << "cannot be written: database or disk is full";
        QTest::newRow("read-only in use") << "PRAGMA query_only=1" << "cannot be written: attempt to write a readonly";
    }
    void failedStoreKeepsTable()
    {
        QFETCH(QString, statement);
        QFETCH(QString, warning);
        ArchiveKeeper* keeper = window->archiveKeeper();
        ui->pushButtonRxClearTable->click();  // the earlier row's messages would be taken once only
        addLive(0);
        keeper->endBurst();
        MessageArchive::testing.statements = {statement};
        keeper->open(dir.filePath(QString("%1.sqlite").arg(QTest::currentDataTag())));
        QTRY_VERIFY_WITH_TIMEOUT(keeper->isReady(), 5000);
        MessageArchive::testing = {};
        addLive(100);
        const int before = window->rxRowCount();
        QSignalSpy stored(keeper, &ArchiveKeeper::sigStored);
        QSignalSpy failed(keeper, &ArchiveKeeper::sigLoadFailed);
        asked.clear();
        clickLoad();
        QCOMPARE(asked.size(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(failed.size(), 1, 5000);
        QVERIFY2(statusText().contains(warning) && statusText().endsWith("The archive is off until Vantrel is started again."),
                 qPrintable(statusText()));
        QCOMPARE(window->rxRowCount(), before);
        QCOMPARE(stored.size(), 0);
    }

    // A file that may not be written here is browsed and loaded from, said to be read-only, and stores nothing.
    void readOnlyBrowsed()
    {
        ArchiveKeeper* keeper = window->archiveKeeper();
        const QString path = dir.filePath("copy.sqlite");
        {
            MessageArchive archive;
            archive.open(path);
            Vantrel::Archive::ArchiveRecords_t records(3);
            for (int i = 0; i < records.size(); ++i)
                records[i].message.dateTime = Tarsk::Utils::DateTime(61001, i);
            QCOMPARE(archive.store(records), 3);
        }
        MessageArchive::testing.connectOptions = "QSQLITE_OPEN_READONLY";
        keeper->open(path);
        QTRY_VERIFY_WITH_TIMEOUT(keeper->isReady(), 5000);
        MessageArchive::testing = {};
        QVERIFY2(statusText().contains("is read-only: its messages can be browsed and loaded"), qPrintable(statusText()));
        addLive(200);  // a store now would fail and switch the archive off
        const int before = window->rxRowCount();
        QSignalSpy loaded(keeper, &ArchiveKeeper::sigLoaded);
        reply = 1;  // beside them
        clickLoad();
        reply = 0;
        QTRY_COMPARE_WITH_TIMEOUT(loaded.size(), 1, 5000);
        QCOMPARE(window->rxRowCount(), before + 3);
        QVERIFY2(statusText().contains("3 archived messages loaded"), qPrintable(statusText()));
    }

    // Two receivers whose numbers share the first part keep their messages apart, in the
    // dump, the archive and its page; a description of the older format still opens, marked.
    void wholeSerialNumbers()
    {
        ArchiveKeeper* keeper = window->archiveKeeper();
        keeper->open(dir.filePath("whole.sqlite"));  // the tests before leave it off or read-only
        QTRY_VERIFY_WITH_TIMEOUT(keeper->isReady(), 5000);
        QSignalSpy stored(keeper, &ArchiveKeeper::sigStored);
        QByteArray image;
        for (const char* second : {"1207", "3391"}) {
            connectTo(DeviceState::PROFILE_DFR_V2_APP, [&](DeviceState& state) {
                state.serialPart1 = "0077", state.serialPart2 = second;
                image.isEmpty() ? Vantrel::Sim::DemoContent::fillFlash(state, 30) : void(state.flashImage = image);
                image = state.flashImage;  // the same messages heard by both
            });
            ui->checkBoxFlashDumpToFile->setChecked(true);
            ui->pushButtonRxFlashRead->click();
            QTRY_COMPARE_WITH_TIMEOUT(stored.size(), 1, 5000);
            QCOMPARE(stored.takeFirst(), QVariantList({30, 30}));
        }
        chosenFile = window->lastFlashDumpPath();
        const QString described = Vantrel::Utils::FlashDumpInfo::pathBeside(chosenFile);
        QString text = TestSupport::readFile(described);
        QVERIFY2(text.contains("\nserialNumber=0077-3391\n"), qPrintable(text));
        text.replace("description 2", "description 1").replace("serialNumber=0077-3391", "serialNumber=0077");
        QVERIFY(TestSupport::writeFile(described, text));
        ui->pushButtonRxFlashOpenDump->click();
        QTRY_COMPARE_WITH_TIMEOUT(stored.size(), 1, 5000);

        QSignalSpy summarized(keeper, &ArchiveKeeper::sigSummary);
        keeper->refreshSummary();
        QTRY_VERIFY_WITH_TIMEOUT(!summarized.isEmpty(), 5000);
        QCOMPARE(receiversShown("0077"), QStringList({"0077-? (first part of the number only), DFR V2 (Sorel NG): 30 messages",
                                     "0077-1207, DFR V2 (Sorel NG): 30 messages", "0077-3391, DFR V2 (Sorel NG): 30 messages"}));
    }

    // Rows an older Vantrel kept with the first part of the number show as that, apart
    // from the receiver whose whole number starts the same.
    void olderArchiveMarkedPartial()
    {
        const QString path = dir.filePath("older.sqlite");
        QCOMPARE(writeFirstFormatArchive(path, "0042"), QString());
        ArchiveKeeper* keeper = window->archiveKeeper();
        keeper->open(path);
        QTRY_VERIFY_WITH_TIMEOUT(keeper->isReady(), 5000);
        connectTo(DeviceState::PROFILE_DFR_V2_APP);  // 0042-1207
        Vantrel::Com::DfrLink::OrvanRxMessage_t message;
        message.platformId = "A1B2C3D";
        window->slotOrvanMessageReceived(message, Vantrel::Com::DfrLink::RXORIGIN_LIVE);
        const QStringList expected = {"0042-? (first part of the number only), DFR V2 (Sorel NG): 1 messages",
                                      "0042-1207, DFR V2 (Sorel NG): 1 messages"};
        QStringList shown;
        for (int attempt = 0; attempt < 50 && shown != expected; ++attempt) {
            QSignalSpy summarized(keeper, &ArchiveKeeper::sigSummary);
            keeper->refreshSummary();
            QTRY_VERIFY_WITH_TIMEOUT(!summarized.isEmpty(), 5000);
            shown = receiversShown("0042");
        }
        QCOMPARE(shown, expected);
    }

    // Another team's archive merged from the tab, once; its receiver then listed with the team named for it.
    void importedWithTeams()
    {
        const QString ours = dir.filePath("ours.sqlite"), theirs = dir.filePath("theirs.sqlite");
        Vantrel::Archive::ArchiveRecords_t records(3);
        for (int i = 0; i < records.size(); ++i) {
            records[i].receiver = "0099-5150";
            records[i].message.dateTime = Tarsk::Utils::DateTime(61002, i);
        }
        for (const auto& [file, count] : {std::pair{ours, 1}, std::pair{theirs, 3}}) {
            MessageArchive archive;
            archive.open(file);
            QCOMPARE(archive.store(records.mid(0, count)), count);
        }
        ArchiveKeeper* keeper = window->archiveKeeper();
        keeper->open(ours);
        QTRY_VERIFY_WITH_TIMEOUT(keeper->isReady(), 5000);
        auto* tab = window->findChild<Vantrel::Ui::ArchiveTab*>();
        ui->tabWidget->setCurrentWidget(tab);
        auto* outcome = tab->findChild<QLabel*>("labelArchiveOutcome");
        chosenFile = theirs;
        for (const char* said : {"2 messages added from", "0 messages added from"}) {
            tab->findChild<QPushButton*>("pushButtonArchiveImport")->click();
            QTRY_VERIFY2_WITH_TIMEOUT(outcome->text().startsWith(said), qPrintable(outcome->text()), 5000);
        }
        QTRY_COMPARE_WITH_TIMEOUT(receiversShown("0099"), QStringList({"0099-5150, DFR (generation unknown): 3 messages"}), 5000);

        auto* list = tab->findChild<QListWidget*>("listWidgetArchiveReceivers");
        list->setCurrentRow(0);
        auto* team = tab->findChild<QLineEdit*>("lineEditArchiveTeam");
        QTest::keyClicks(team, "  Heron   North ");
        tab->findChild<QPushButton*>("pushButtonArchiveTeam")->click();
        QCOMPARE(receiversShown("0099"), QStringList({"0099-5150, team Heron North, DFR (generation unknown): 3 messages"}));
        QCOMPARE(Vantrel::Utils::Settings::instance()->loadTeamNames().value("0099-5150"), "Heron North");
        // A double click offers the name to edit.
        team->clear();
        const QPoint onItem = list->visualItemRect(list->item(0)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, onItem);
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, onItem);
        QCOMPARE(team->text(), "Heron North");

        chosenFile = dir.filePath("plain-text.sqlite");
        QVERIFY(TestSupport::writeFile(chosenFile, "no archive in here"));
        tab->findChild<QPushButton*>("pushButtonArchiveImport")->click();
        QTRY_VERIFY2_WITH_TIMEOUT(outcome->text().startsWith("Not imported: ") && outcome->text().endsWith("is not a Vantrel archive."),
                                  qPrintable(outcome->text()), 5000);
    }

    // A folder that cannot be made: warned, switched off, and the table goes on.
    void offWhenUnusable()
    {
        ArchiveKeeper* keeper = window->archiveKeeper();
        QVERIFY(TestSupport::writeFile(dir.filePath("plain"), "not a folder"));
        keeper->open(dir.filePath("plain/vantrel.sqlite"));
        QTRY_VERIFY_WITH_TIMEOUT(!keeper->isOn(), 5000);
        QVERIFY2(statusText().contains("cannot be made. The archive is off until Vantrel is started again."),
                 qPrintable(statusText()));
        const int before = window->rxRowCount();
        Vantrel::Com::DfrLink::OrvanRxMessage_t message;
        message.platformId = "5D6E7F8";
        window->slotOrvanMessageReceived(message, Vantrel::Com::DfrLink::RXORIGIN_LIVE);
        QCOMPARE(window->rxRowCount(), before + 1);
    }
};

VANTREL_WINDOW_TEST_MAIN(TestArchiveWindow)
#include "tst_archivewindow.moc"
