// The window's flash read: the table question, dump names, cancel, erase, and a dump opened back without a receiver.
#include "sim/DemoContent.h"
#include "tests/common/WindowDeviceFixture.h"
#include "ui/RxTableColumns.h"

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
        all << cells.join('|');
    }
    all.sort();
    return all;
}

} // namespace

class TestFlashWindow : public WindowDeviceFixture
{
    Q_OBJECT

    // A receiver with `records` messages in flash and two favourites, connected.
    void connectReceiver(DeviceState::Profile_t profile, int records,
                         const QStringList& ids = {"1A2B3C4", "5D6E7F8"})
    {
        connectTo(profile, [records, ids](DeviceState& state) {
            DeviceState::Platform_t platform;
            for (int slot = 0; slot < ids.size(); ++slot) {
                platform.id = ids.at(slot);
                platform.label = QString("Buoy %1").arg(slot);
                state.setPlatform(slot, platform);
            }
            DemoContent::fillFlash(state, records);
        });
    }

private Q_SLOTS:
    void initTestCase() { startWindow(); }
    void init() { dumpDir().removeRecursively(); }

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
        connectReceiver(DeviceState::PROFILE_DFR_V2_APP, 30);
        window->slotOrvanMessageReceived({}, Vantrel::Com::DfrLink::RXORIGIN_LIVE);
        reply = choice;
        ui->pushButtonRxFlashRead->click();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().title, QString("RX table contains data"));
        QTEST(ui->tableWidgetRx->model()->rowCount(), "expectedRows");
        QTEST(sim->receivedCount("IFP"), "reads");
    }

    // A read dumped, then its dumps opened back one by one with no receiver: the same rows,
    // identifiers, slots and labels included, whatever the favourites' widths.
    void dumpsRoundTrip_data()
    {
        QTest::addColumn<int>("profile");
        QTest::addColumn<QStringList>("ids");
        QTest::addColumn<QStringList>("names");  // after the time stamp
        QTest::newRow("first generation, a name made safe")
            << int(DeviceState::PROFILE_DFR_V1) << QStringList{"1A2B3C4", "5D/E7F8"}
            << QStringList{"_platform_0_1A2B3C4.bin", "_platform_1_5D_E7F8.bin"};
        QTest::newRow("second generation, 20- and 32-bit identifiers")
            << int(DeviceState::PROFILE_DFR_V2_APP) << QStringList{"1A2B3", "89ABCDEF"} << QStringList{".bin"};
    }

    void dumpsRoundTrip()
    {
        QFETCH(int, profile);
        QFETCH(QStringList, ids);
        QFETCH(QStringList, names);
        connectReceiver(DeviceState::Profile_t(profile), 20, ids);
        ui->checkBoxFlashDumpToFile->setChecked(true);
        ui->pushButtonRxFlashRead->click();
        const QStringList read = rows(ui->tableWidgetRx);
        QCOMPARE(read.size(), 20);
        for (int slot = 0; slot < ids.size(); ++slot)
            QVERIFY2(read.filter(QString("|%1|Buoy %1|").arg(slot)).filter("|" + ids.at(slot) + "|").size() > 0,
                     qPrintable(ids.at(slot)));
        const QStringList files = dumpDir().entryList({"*.bin"}, QDir::Files, QDir::Name);
        QCOMPARE(files.size(), names.size());
        for (int k = 0; k < names.size(); ++k)
            QVERIFY2(QRegularExpression("^flash_memory_\\d{8}_\\d{6}" + QRegularExpression::escape(names.at(k)) + "$")
                         .match(files.at(k)).hasMatch(), qPrintable(files.at(k)));
        QVERIFY2(statusText().contains(QString("Flash memory read: 20 messages in the table; %1")
                                           .arg(names.size() == 1 ? "dump saved to" : "2 dumps saved in")),
                 qPrintable(statusText()));

        cleanup();
        QVERIFY(ui->pushButtonRxFlashOpenDump->isEnabled() && ui->tabWidget->isTabEnabled(3));
        reply = 1;  // keep what the first file showed
        for (const QString& file : files) {
            chosenFile = dumpDir().absoluteFilePath(file);
            ui->pushButtonRxFlashOpenDump->click();
        }
        QCOMPARE(asked.size(), files.size() - 1);  // the descriptions beside them answer the rest
        QCOMPARE(rows(ui->tableWidgetRx), read);

        // A file that is no dump is refused with the reason, the table left as it was
        // (here the first generation and "Clear table and read" would be answered).
        reply = 0;
        chosenFile = dir.filePath("notes.bin");
        QVERIFY(TestSupport::writeFile(chosenFile, QString("Shopping list: bread, milk\n").repeated(40)));
        ui->pushButtonRxFlashOpenDump->click();
        QCOMPARE(rows(ui->tableWidgetRx), read);
        QVERIFY2(statusText().contains("notes.bin is not a flash dump of a DFR V1 receiver"), qPrintable(statusText()));
    }

    // A read of which nothing could be read says so on screen.
    void nothingRead()
    {
        connectReceiver(DeviceState::PROFILE_DFR_V2_APP, 30);
        ui->checkBoxFlashDumpToFile->setChecked(true);
        sim->setPersistentFault(DfrSimulator::FAULTMODE_BAD_BINARY_CHECKSUM, "RFP");
        QVERIFY(thrown(&MainWindow::slotReadFlashMemory).startsWith("Link Error: "));
        QVERIFY2(statusText().endsWith("Flash memory read failed; nothing could be read."),
                 qPrintable(statusText()));
        QCOMPARE(dumpDir().entryList(QDir::Files).size(), 0);
    }

    void cancelKeepsWhatWasRead()
    {
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

    // The header's arrow names the order the rows are in: after a read, a second read kept
    // beside the first, live rows heard after it, and a sort the user chose before the read.
    void sortArrow_data()
    {
        QTest::addColumn<int>("chosen");  // a column the user sorts by first, -1 none
        QTest::addColumn<int>("keptReads");
        QTest::addColumn<int>("liveRows");
        QTest::newRow("a read") << -1 << 0 << 0;
        QTest::newRow("keep table and read") << -1 << 1 << 0;
        QTest::newRow("live rows after the read") << -1 << 0 << 3;
        QTest::newRow("the user's sort, then a read") << int(Vantrel::Ui::RXCOLUMN_FREQUENCY) << 0 << 0;
        QTest::newRow("the user's sort, then a read kept") << int(Vantrel::Ui::RXCOLUMN_LEVEL) << 1 << 0;
    }

    void sortArrow()
    {
        QFETCH(int, chosen);
        QFETCH(int, keptReads);
        QFETCH(int, liveRows);
        connectReceiver(DeviceState::PROFILE_DFR_V2_APP, 30);
        QHeaderView* header = ui->tableWidgetRx->horizontalHeader();
        if (chosen >= 0) {
            window->slotOrvanMessageReceived({}, Vantrel::Com::DfrLink::RXORIGIN_LIVE);
            header->setSortIndicator(chosen, Qt::AscendingOrder);
        }
        reply = 1;
        for (int read = 0; read <= keptReads; ++read)
            ui->pushButtonRxFlashRead->click();
        for (int k = 0; k < liveRows; ++k) {
            Vantrel::Com::DfrLink::OrvanRxMessage_t live;
            live.frequencyHz = 401650000 + k;
            window->slotOrvanMessageReceived(live, Vantrel::Com::DfrLink::RXORIGIN_LIVE);
        }
        QVERIFY(header->isSortIndicatorShown());
        const int column = header->sortIndicatorSection();
        const QAbstractItemModel* model = ui->tableWidgetRx->model();
        QVERIFY(model->rowCount() >= 30);
        const auto key = [&](int row) {
            const QString text = model->index(row, column).data().toString();
            return text == "N/A" ? -1.0 : text.section(' ', -1).toDouble();
        };
        for (int row = 1; row < model->rowCount(); ++row) {
            const bool inOrder = header->sortIndicatorOrder() == Qt::AscendingOrder ? key(row - 1) <= key(row)
                                                                                   : key(row - 1) >= key(row);
            QVERIFY2(inOrder, qPrintable(QString("column %1, rows %2 and %3").arg(column).arg(row - 1).arg(row)));
        }
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
