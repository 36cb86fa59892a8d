// The window's archive: a flash read and its dump opened twice are kept once, the
// Archive page loads a platform back without a receiver, and an archive that
// cannot be made is switched off with a warning, the table untouched.
#include <QSignalSpy>

#include "archive/ArchiveKeeper.h"
#include "sim/DemoContent.h"
#include "tests/common/WindowDeviceFixture.h"
#include "ui/ArchivePlatformsModel.h"
#include "ui/ArchiveTab.h"
#include "ui/RxTableColumns.h"
#include "ui/RxTableModel.h"
#include "utils/FlashDumpInfo.h"

using Vantrel::Archive::ArchiveKeeper;

class TestArchiveWindow : public WindowDeviceFixture
{
    Q_OBJECT

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

    // Two receivers whose numbers share the first part keep their messages apart, in the
    // dump, the archive and its page; a description of the older format still opens, marked.
    void wholeSerialNumbers()
    {
        ArchiveKeeper* keeper = window->archiveKeeper();
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
        QStringList shown;
        for (const QListWidgetItem* item : window->findChild<QListWidget*>("listWidgetArchiveReceivers")->findItems("0077", Qt::MatchStartsWith))
            shown << item->text();
        QCOMPARE(shown, QStringList({"0077-? (first part of the number only), DFR V2: 30 messages",
                                     "0077-1207, DFR V2: 30 messages", "0077-3391, DFR V2: 30 messages"}));
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
