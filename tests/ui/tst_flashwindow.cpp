// The window's flash read: the table question, dump names, cancel, erase, and a dump opened back without a receiver.
#include <QProgressDialog>
#include <QPushButton>

#include "sim/DemoContent.h"
#include "tests/common/WindowDeviceFixture.h"

using Vantrel::Sim::DemoContent;

namespace {

// Every row of the messages table as its cell texts, in a fixed order.
QStringList rows(const QTableView* table)
{
    const QAbstractItemModel* model = table->model();
    QStringList all;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->index(r, c).data().toString();
        // The mean direction's average shows only beside a known favourite.
        all << cells.join('|').remove(QRegularExpression(" \\(avg \\d+\\)"));
    }
    all.sort();
    return all;
}

QDir dumpDir()
{
    return QDir(QCoreApplication::applicationDirPath() + "/../FlashDumps");
}

} // namespace

class TestFlashWindow : public WindowDeviceFixture
{
    Q_OBJECT

    // A receiver with `records` messages in flash (first generation: two favourites), connected.
    void connectReceiver(DeviceState::Profile_t profile, int records)
    {
        connectTo(profile, [records](DeviceState& state) {
            DeviceState::Platform_t platform;
            for (const char* id : {"1A2B3C4", "5D6E7F8"}) {
                platform.id = id;
                state.setPlatform(int(id[0] == '5'), platform);
            }
            DemoContent::fillFlash(state, records);
        });
    }

private Q_SLOTS:
    void initTestCase() { startWindow(); }

    void cleanup()
    {
        if (sim) {
            sim->unplug();
            QTRY_VERIFY_WITH_TIMEOUT(!ui->pushButtonRxFlashRead->isEnabled(), 5000);
        }
        sim.reset();
        asked.clear();
        window->slotClearRxTable();
    }

    // "Clear table and read", "Keep table and read", "Cancel", and the box closed.
    void tableQuestion_data()
    {
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("expectedRows");
        QTest::addColumn<int>("reads");
        QTest::newRow("clear and read") << 0 << 30 << 1;
        QTest::newRow("keep and read") << 1 << 31 << 1;
        QTest::newRow("cancel") << 2 << 1 << 0;
    }

    void tableQuestion()
    {
        QFETCH(int, choice);
        QFETCH(int, expectedRows);
        QFETCH(int, reads);
        connectReceiver(DeviceState::PROFILE_DFR_V2_APP, 30);
        window->slotOrvanMessageReceived({}, Vantrel::Com::DfrLink::RXORIGIN_LIVE);
        reply = choice;
        ui->pushButtonRxFlashRead->click();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().title, QString("RX table contains data"));
        QCOMPARE(ui->tableWidgetRx->model()->rowCount(), expectedRows);
        QCOMPARE(sim->receivedCount("IFP"), reads);
    }

    // Dumps of a first-generation read, then opened back one by one with no receiver.
    void firstGenerationDumpsRoundTrip()
    {
        dumpDir().removeRecursively();
        connectReceiver(DeviceState::PROFILE_DFR_V1, 20);
        ui->checkBoxFlashDumpToFile->setChecked(true);
        ui->pushButtonRxFlashRead->click();
        const QStringList read = rows(ui->tableWidgetRx);
        QCOMPARE(read.size(), 20);
        const QStringList files = dumpDir().entryList({"*.bin"}, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), 2);
        QVERIFY2(QRegularExpression("^flash_memory_\\d{8}_\\d{6}_platform_0_1A2B3C4\\.bin$").match(files.at(0)).hasMatch(),
                 qPrintable(files.at(0)));
        QVERIFY2(QRegularExpression("^flash_memory_\\d{8}_\\d{6}_platform_1_5D6E7F8\\.bin$").match(files.at(1)).hasMatch(),
                 qPrintable(files.at(1)));

        cleanup();
        QVERIFY(ui->pushButtonRxFlashOpenDump->isEnabled() && ui->tabWidget->isTabEnabled(3));
        reply = 1;  // keep what the first file showed
        for (const QString& file : files) {
            chosenFile = dumpDir().absoluteFilePath(file);
            ui->pushButtonRxFlashOpenDump->click();
        }
        QCOMPARE(rows(ui->tableWidgetRx), read);
    }

    void cancelKeepsWhatWasRead()
    {
        dumpDir().removeRecursively();
        connectReceiver(DeviceState::PROFILE_DFR_V2_APP, 2000);
        sim->setLinePacing(1000000);
        ui->checkBoxFlashDumpToFile->setChecked(true);
        // The user clicks Cancel once the first chunk is in.
        QTimer user;
        connect(&user, &QTimer::timeout, this, [&] {
            auto* dialog = window->findChild<QProgressDialog*>();
            if (dialog && dialog->value() > 0 && dialog->findChild<QPushButton*>())
                QTest::mouseClick(dialog->findChild<QPushButton*>(), Qt::LeftButton);
        });
        user.start(5);
        ui->pushButtonRxFlashRead->click();
        user.stop();
        // The chunk under way when Cancel came is read to its end, and kept.
        const int kept = 16384 * sim->receivedCount("RFP");
        QVERIFY2(kept < sim->state().flashImage.size(), qPrintable(QString::number(kept)));
        QVERIFY(DeviceTest::logHas(ui, "INFO", QString("Flash memory read cancelled: %1 bytes read.").arg(kept)));
        const int shown = ui->tableWidgetRx->model()->rowCount();
        QVERIFY2(shown > 100 && shown < 2000, qPrintable(QString::number(shown)));
        const QStringList files = dumpDir().entryList({"*_partial.bin"}, QDir::Files);
        QCOMPARE(files.size(), 1);
        QCOMPARE(QFileInfo(dumpDir().absoluteFilePath(files.first())).size(), kept);

        // The partial dump opens back to the same rows, the cut record without an error
        // (with the same favourites, which decide identifier widths).
        const QStringList read = rows(ui->tableWidgetRx);
        window->slotClearRxTable();
        chosenFile = dumpDir().absoluteFilePath(files.first());
        reply = 1;  // second generation; the identifier width is guessed right or the rows differ
        ui->pushButtonRxFlashOpenDump->click();
        QCOMPARE(rows(ui->tableWidgetRx), read);
    }

    void erase_data()
    {
        QTest::addColumn<int>("profile");
        QTest::addColumn<bool>("yes");
        QTest::newRow("first generation, yes") << int(DeviceState::PROFILE_DFR_V1) << true;
        QTest::newRow("second generation, yes") << int(DeviceState::PROFILE_DFR_V2_APP) << true;
        QTest::newRow("second generation, no") << int(DeviceState::PROFILE_DFR_V2_APP) << false;
    }

    void erase()
    {
        QFETCH(int, profile);
        QFETCH(bool, yes);
        connectReceiver(DeviceState::Profile_t(profile), 10);
        reply = yes ? 0 : 1;
        ui->pushButtonRxFlashErase->click();
        const DeviceState& state = sim->state();
        const qsizetype left = state.flashImage.size() + state.flashAreas.value(0).size() + state.flashAreas.value(1).size();
        QCOMPARE(left == 0, yes);
        QCOMPARE(sim->receivedCount("DFP"), yes ? (profile == DeviceState::PROFILE_DFR_V1 ? 2 : 1) : 0);
    }
};

VANTREL_WINDOW_TEST_MAIN(TestFlashWindow)

#include "tst_flashwindow.moc"
