// Favourite platforms and GPS format bank tabs against the simulator: loading, hiding empty slots, edits and their
// rules, focus, create, delete, CSV.
#include "utils/PlatformsFile.h"
#include "sim/DemoContent.h"
#include "tests/common/WindowDeviceFixture.h"
#include "ui/GpsFormatWidget.h"
#include "ui/PlatformsTableModel.h"
#include "utils/GpsFormat.h"

using Vantrel::Utils::GpsFormat;
using Edit = std::function<void(Vantrel::Ui_UiMainWindow*)>;

Q_DECLARE_METATYPE(Vantrel::Sim::DeviceState::Profile_t)
Q_DECLARE_METATYPE(Edit)

namespace {

void typeInto(QLineEdit* edit, const QString& text)
{
    edit->setText(text);
    Q_EMIT edit->editingFinished();
}

QString headerLine()
{
    return QLatin1Char('#') + Vantrel::Ui::platformsFileColumnsNames.value(Vantrel::Com::DfrLink::DFR_V2).join(',')
        + QLatin1Char('\n');
}

// A data line of slot `index` with GPS mode and the given polynom and label.
QString line(int index, const QString& label = QStringLiteral("Pier"), const QString& polynom = QStringLiteral("0"))
{
    return QStringLiteral("%1,1,1,1A2%4,%2,1,SM9,64,0,0,0,1,1,20,6,1,0,1,0,21,1,22,21,6,1,0,1,0,1,%3,48,16,0,48,60,0,"
                          "0,1,1,0\n")
        .arg(index)
        .arg(label, polynom)
        .arg(index, 2, 10, QLatin1Char('0'));
}

QString cell(const QTableView* table, int row, int column)
{
    return table->model()->index(row, column).data().toString();
}

// The slots a table shows, top first.
QList<int> shownSlots(const QTableView* table)
{
    QList<int> shown;
    for (int row = 0; row < table->model()->rowCount(); ++row)
        shown.append(table->model()->index(row, 0).data(Vantrel::Ui::SLOTROLE_SLOT).toInt());
    return shown;
}

// -1, or a slot out of view, leaves the table without a current row.
void select(QTableView* table, int slot)
{
    table->setCurrentIndex(table->model()->index(int(shownSlots(table).indexOf(slot)), 0));
}

} // namespace

class TestSlotsTabs : public WindowDeviceFixture
{
    Q_OBJECT

    // A receiver with the demo slots, changed by `prepare`, connected.
    void plug(DeviceState::Profile_t profile, const std::function<void(DeviceState&)>& prepare = {})
    {
        connectTo(profile, [&prepare](DeviceState& state) {
            Vantrel::Sim::DemoContent::apply(state);
            if (prepare)
                prepare(state);
        });
    }
    QLineEdit* editorField(const QString& name) const { return ui->widgetGpsFormatTab->findChild<QLineEdit*>(name); }
    QString csvPath() const { return dir.filePath("platforms.csv"); }
    // Value 1 of each write of `mnemonic`, in order.
    QStringList sent(const QString& mnemonic) const
    {
        QStringList values;
        for (const QStringList& write : writes(mnemonic))
            values.append(write.at(1));
        return values;
    }
    // The last error reported while `call` ran: a failure in a slot that a signal runs stays in the slot.
    static QString reported(const std::function<void()>& call)
    {
        static QString last;
        static QtMessageHandler previous = nullptr;
        last.clear();
        previous = qInstallMessageHandler([](QtMsgType type, const QMessageLogContext& context, const QString& text) {
            last = type == QtCriticalMsg ? text : last;
            previous(type, context, text);
        });
        call();
        qInstallMessageHandler(previous);
        return last;
    }

private Q_SLOTS:
    void initTestCase() { startWindow(); }
    void init()
    {
        ui->checkBoxHideEmptySlots->setChecked(true);
        ui->checkBoxGpsFormatsHideEmptySlots->setChecked(false);
        reply = 1;  // No
    }

    void loadSlots()
    {
        plug(DeviceState::PROFILE_DFR_V2_APP);
        QTableView* table = ui->tableWidgetPlatforms;
        QCOMPARE(shownSlots(table), (QList<int>{0, 1, 2, 3}));
        QStringList row0;
        for (int column = 0; column <= Vantrel::Ui::PLATFORMSCOLUMN_GPSFORMAT; ++column)
            row0 << cell(table, 0, column);
        QCOMPARE(row0, (QStringList{"00", "1A2B3", "A2", "Buoy Seine", "SM20"}));
        QCOMPARE(cell(table, 1, 4), QString());
        const auto formats = GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_PLATFORM);
        QCOMPARE(formats.size(), 2);
        QCOMPARE(formats.first().second.description, QStringLiteral("from platform Buoy Seine (Id: 1A2B3)"));
        // Showing slot 0 fills the panel without writing.
        QCOMPARE(ui->lineEditPlatformsOrvanId->text(), QStringLiteral("1A2B3"));
        QVERIFY(ui->pushButtonPlatformsDelete->isEnabled() && !ui->pushButtonPlatformsCreate->isEnabled());
        QVERIFY(writes("IP").isEmpty());

        // An edit of the slot's format is written and decodes the next payloads.
        const QByteArray payload = QByteArray::fromHex("0001000000000000");
        double before = 0, after = 0, longitude = 0;
        QVERIFY(GpsFormat::instance()->decodePayload(GpsFormat::ORIGIN_PLATFORM, 0, payload, before, longitude));
        typeInto(ui->widgetGpsFormatPlatform->findChild<QLineEdit*>("lineEditGpsFormatsLatT"), "12");
        QCOMPARE(sim->state().platforms.at(0).at(6 + 1 + 4), QStringLiteral("12"));
        QVERIFY(GpsFormat::instance()->decodePayload(GpsFormat::ORIGIN_PLATFORM, 0, payload, after, longitude));
        QVERIFY(before != 0.0);
        QCOMPARE(after, 2 * before);

        // The format editor too follows the chosen slot without writing; a format created in an empty slot is
        // written, read back and offered.
        table = ui->tableWidgetGpsFormats;
        QCOMPARE(cell(table, 2, 1), QStringLiteral("SM17-MIN"));
        QCOMPARE(GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_DFR).size(), 4);
        QLineEdit* name = editorField("lineEditGpsFormatsName");
        for (const int slot : {1, 9}) {
            select(table, slot);
            QCOMPARE(ui->lineEditGpsFormatsIndex->text(), QString::number(slot));
            QCOMPARE((QList<bool>{ui->pushButtonGpsFormatsCreate->isEnabled(), ui->pushButtonGpsFormatsDelete->isEnabled(),
                                  name->isEnabled()}), (QList<bool>{slot == 9, slot == 1, slot == 1}));
            QCOMPARE(name->text(), slot == 1 ? QStringLiteral("WRAP24") : QString());
        }
        QVERIFY(writes("SFG").isEmpty());
        QTest::mouseClick(ui->pushButtonGpsFormatsCreate, Qt::LeftButton);
        QCOMPARE(writes("SFG").size(), 1);
        QCOMPARE((QStringList{sim->state().gpsFormats.at(9).at(1), sim->state().gpsFormats.at(9).at(28)}),
                 (QStringList{"Format 9", "1"}));
        QCOMPARE(cell(table, 9, 1), QStringLiteral("Format 9"));
        QVERIFY(ui->pushButtonGpsFormatsDelete->isEnabled());
        QVERIFY(GpsFormat::instance()->getAvailableFormats().contains({GpsFormat::ORIGIN_DFR, 9}));
    }

    // Hiding empty slots sends nothing; a panel whose slot stays in view keeps it, any other is emptied.
    void hideEmptySlotsSendsNothing()
    {
        plug(DeviceState::PROFILE_DFR_V2_APP, [](DeviceState& state) {
            DeviceState::Platform_t last;
            last.id = QStringLiteral("ABCDE");
            state.setPlatform(63, last);
            state.setGpsFormat(15, QStringList{"LAST"} + state.gpsFormats.at(0).mid(2));
        });
        for (const bool favourites : {true, false}) {
            QTableView* table = favourites ? ui->tableWidgetPlatforms : ui->tableWidgetGpsFormats;
            QCheckBox* hide = favourites ? ui->checkBoxHideEmptySlots : ui->checkBoxGpsFormatsHideEmptySlots;
            const QLineEdit* index = favourites ? ui->lineEditPlatformsIndex : ui->lineEditGpsFormatsIndex;
            const int last = favourites ? 63 : 15;  // first and last slot in view
            hide->setChecked(false);
            for (const int shown : {last, 4}) {
                select(table, shown);
                sim->clearReceivedFrames();
                hide->setChecked(true);
                QCOMPARE(shownSlots(table), (QList<int>{0, 1, 2, 3, last}));
                QCOMPARE(index->text(), shown == last ? QString::number(last) : QString());
                hide->setChecked(false);
                QCOMPARE(shownSlots(table).size(), last + 1);
                QCOMPARE(sim->receivedMnemonics(), QStringList());
            }
        }
    }

    void saveEdit_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("questions");
        QTest::addColumn<QStringList>("occupiedValues");  // value 1 of each write, in order
        const auto V1 = DeviceState::PROFILE_DFR_V1;
        const auto V2 = DeviceState::PROFILE_DFR_V2_APP;
        const auto id = [](const QString& text) { return Edit([text](auto* ui) { typeInto(ui->lineEditPlatformsOrvanId, text); }); };
        const Edit gpsOff = [](auto* ui) { ui->checkBoxGpsModeEnabled->setChecked(false); };

        QTest::newRow("label, second generation")
            << V2 << Edit([](auto* ui) { typeInto(ui->lineEditPlatformsLabel, "Buoy Oise"); }) << 1 << 0 << QStringList{""};
        QTest::newRow("identifier recreates without asking") << V2 << id("1A2B4") << 1 << 0 << QStringList{"0", "1"};
        QTest::newRow("identifier, first generation, No") << V1 << id("1A2B4") << 1 << 1 << QStringList{};
        QTest::newRow("identifier of 6 digits is refused") << V1 << id("1A2B3C") << 0 << 0 << QStringList{};
        // The delete goes through, the write is refused: what the slot held is written back.
        QTest::newRow("refused by the receiver, put back") << V2 << Edit([this](auto* ui) {
            sim->injectFault(DfrSimulator::FAULTMODE_NONE, "IP");
            sim->injectFault(DfrSimulator::FAULTMODE_ACK_ERROR, "IP");
            typeInto(ui->lineEditPlatformsOrvanId, "1A2B4");
        }) << 1 << 0 << QStringList{"0", "1", "0", "1"};
        // GPS mode off recreates the slot, which the first generation asks about first.
        QTest::newRow("unchanged field of a platform without GPS mode, first generation, Yes") << V1 << Edit([gpsOff](auto* ui) {
            gpsOff(ui);
            Q_EMIT ui->lineEditPlatformsLabel->editingFinished();
        }) << 0 << 1 << QStringList{"0", "1"};
    }

    void saveEdit()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(Edit, edit);
        QFETCH(int, answer);
        QFETCH(QStringList, occupiedValues);
        // A period beyond the panel's spin box, which an edit of another field must keep.
        plug(profile, [](DeviceState& state) { state.platforms[0][DeviceState::ipPeriod] = "40000"; });
        reply = answer;
        const QStringList before = sim->state().platforms.at(0);
        // The refused write and the one putting the slot back; the refusal goes on leaving the slot.
        const bool refused = occupiedValues.size() == 4;
        if (refused)
            QTest::ignoreMessage(QtCriticalMsg, "The receiver refused favourite 00 (identifier 1A2B4); the favourite "
                                                "it held before was written back");

        const QString message = reported([&] { edit(ui); });
        QTEST(int(asked.size()), "questions");
        QCOMPARE(sent("IP"), occupiedValues);
        if (occupiedValues.isEmpty()) {
            // Refused or declined: the slot is untouched and the panel shows it again.
            QCOMPARE(sim->state().platforms.at(0), before);
            QCOMPARE(ui->lineEditPlatformsOrvanId->text() + ui->lineEditPlatformsLabel->text(), "1A2B3Buoy Seine");
            QCOMPARE(message.startsWith("Unable to set platform info"), answer == 0);
            return;
        }
        QCOMPARE(message, refused ? QString("Error in reply: Invalid command: \"$ACK,IP,0*4A\"") : QString());
        QCOMPARE(sim->state().platforms.at(0).at(DeviceState::ipPeriod), QStringLiteral("40000"));
        QVERIFY(sim->state().isPlatformOccupied(0));
        QCOMPARE(cell(ui->tableWidgetPlatforms, 0, 1), sim->state().platforms.at(0).at(3));
        QCOMPARE(cell(ui->tableWidgetPlatforms, 0, 3), sim->state().platforms.at(0).at(4));
    }

    // Return in an edited field writes it and leaves the keyboard there: typing goes on in the field.
    void editKeepsFocus()
    {
        plug(DeviceState::PROFILE_DFR_V2_APP);
        select(ui->tableWidgetGpsFormats, 3);
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        for (const auto& [page, field, mnemonic] : {std::tuple{ui->tabPlatorms, ui->lineEditPlatformsLabel, "IP"},
                                                    std::tuple{ui->tabFormats, editorField("lineEditGpsFormatsName"), "SFG"}}) {
            ui->tabWidget->setCurrentWidget(page);
            field->setFocus();
            QTRY_VERIFY_WITH_TIMEOUT(field->hasFocus(), 2000);
            field->selectAll();
            QTest::keyClicks(field, "Tide");
            QTest::keyClick(field, Qt::Key_Return);
            QCOMPARE(sent(mnemonic).size(), 1);
            QCOMPARE(QApplication::focusWidget(), field);
            QTest::keyClicks(QApplication::focusWidget(), "2");
            QCOMPARE(field->text(), QStringLiteral("Tide2"));
            field->clearFocus();
        }
    }

    void createAndDelete()
    {
        plug(DeviceState::PROFILE_DFR_V2_APP);
        ui->checkBoxHideEmptySlots->setChecked(false);
        select(ui->tableWidgetPlatforms, 7);
        QVERIFY(!ui->lineEditPlatformsLabel->isEnabled());
        QTest::mouseClick(ui->pushButtonPlatformsCreate, Qt::LeftButton);
        QVERIFY(sim->state().isPlatformOccupied(7) && ui->lineEditPlatformsLabel->isEnabled());
        reply = 0;
        QTest::mouseClick(ui->pushButtonPlatformsDelete, Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().title, QStringLiteral("Delete platform?"));
        QVERIFY(!sim->state().isPlatformOccupied(7));

        // Without a current row nothing is sent and the other table keeps its selection.
        select(ui->tableWidgetGpsFormats, 1);
        select(ui->tableWidgetPlatforms, -1);
        QTest::mouseClick(ui->pushButtonNewFavorite, Qt::LeftButton);  // reloads, then creates in slot 4
        QVERIFY(sim->state().isPlatformOccupied(4));
        select(ui->tableWidgetPlatforms, -1);
        sim->clearReceivedFrames();
        Q_EMIT ui->pushButtonPlatformsCreate->clicked();
        Q_EMIT ui->pushButtonPlatformsDelete->clicked();
        QCOMPARE(sim->receivedCount("IP"), 0);
        QCOMPARE(ui->tableWidgetGpsFormats->currentIndex().row(), 1);

        // A port removed as a reply comes in empties the table under the running operation:
        // showing a slot and deleting them all carry on without the rows.
        bool emptied = false;
        const auto hook = connect(sim.get(), &DfrSimulator::frameReceived, this, [&](const auto& frame) {
            if (!emptied && frame.mnemonic == "IP")
                window->platformsTableModel()->clear();
            emptied = emptied || frame.mnemonic == "IP";
        });
        select(ui->tableWidgetPlatforms, 1);
        QVERIFY(emptied && !ui->pushButtonPlatformsDelete->isEnabled());
        QTest::mouseClick(ui->pushButtonPlatformsUpdate, Qt::LeftButton);
        emptied = false;
        QTest::mouseClick(ui->pushButtonPlatformsDeleteAll, Qt::LeftButton);
        for (int slot = 0; slot < 8; ++slot)
            QVERIFY(!sim->state().isPlatformOccupied(slot));
        QCOMPARE(shownSlots(ui->tableWidgetPlatforms).size(), 64);
        disconnect(hook);
    }

    void csvRoundTrip()
    {
        plug(DeviceState::PROFILE_DFR_V2_APP, [](DeviceState& state) {
            state.platforms[0][state.ipEncryption() + 1] = "1021";
            state.platforms[3][state.ipEncryption() + 1] = "ff";
        });
        DeviceState& state = sim->state();
        const auto before = state.platforms;
        const auto statusBar = [this] { return window->findChild<QToolButton*>("statusBarMessage")->text(); };
        chosenFile = csvPath().chopped(4);  // typed without a suffix
        QTest::mouseClick(ui->pushButtonPlatformsExport, Qt::LeftButton);
        QVERIFY(statusBar().endsWith("exported to " + csvPath()));
        QVERIFY2(offered.startsWith("favourites_0042-1207_"), qPrintable(offered));
        const QString text = TestSupport::readFile(csvPath());
        QVERIFY(text.startsWith(headerLine()) && text.count('\n') == 5);
        QVERIFY(text.contains(",0x1021,") && text.contains(",0xff,"));
        // Read back the same with an upper-case prefix and without one.
        QVERIFY(TestSupport::writeFile(csvPath(), QString(text).replace(",0x1021,", ",0X1021,").replace(",0xff,", ",ff,")));
        reply = 0;

        // Cancelled, missing or faulty, a file is refused whole: nothing asked, nothing written.
        const QString faulty = dir.filePath("faulty.csv");
        QVERIFY(TestSupport::writeFile(faulty, headerLine() + line(0) + line(1, "Pier*")));
        for (const QString& file : {QString(), dir.filePath("missing.csv"), faulty}) {
            chosenFile = file;
            const QString error = thrown(&MainWindow::slotImportPlatformsInfo);
            QVERIFY2(file.isEmpty() ? error.isEmpty() : error.contains(QFileInfo(file).fileName()), qPrintable(error));
            QVERIFY(asked.isEmpty() && writes("IP").isEmpty());
        }
        chosenFile = csvPath();
        QTest::mouseClick(ui->pushButtonPlatformsImport, Qt::LeftButton);
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked.first().title, QStringLiteral("Delete all platforms?"));
        QCOMPARE(meaningful(state.platforms), meaningful(before));
        QCOMPARE(shownSlots(ui->tableWidgetPlatforms).size(), 4);
        QVERIFY(statusBar().endsWith("4 favorite platforms imported from " + csvPath()));
        // Exported again, every column of every line is as it was.
        chosenFile = dir.filePath("again.csv");
        QTest::mouseClick(ui->pushButtonPlatformsExport, Qt::LeftButton);
        QCOMPARE(TestSupport::readFile(chosenFile), text);
        chosenFile = csvPath();

        // The receiver refuses the second platform's write: the favourites held before are written back.
        bool refused = false;
        const auto hook = connect(sim.get(), &DfrSimulator::frameReceived, this, [&](const auto& frame) {
            if (!refused && frame.params.value(3) == "4C5D6E7")
                sim->injectFault(DfrSimulator::FAULTMODE_ACK_ERROR, "IP");
            refused = refused || frame.params.value(3) == "4C5D6E7";
        });
        QTest::ignoreMessage(QtCriticalMsg, "The receiver refused favourite 01 (identifier 4C5D6E7) from platforms.csv; "
                                            "the favourites held before the import were put back");
        // The refusal goes on leaving the slot, in the receiver's words.
        QCOMPARE(thrown(&MainWindow::slotImportPlatformsInfo), QString("Error in reply: Invalid command: \"$ACK,IP,0*4A\""));
        disconnect(hook);
        QVERIFY(refused);
        QCOMPARE(meaningful(state.platforms), meaningful(before));
        QCOMPARE(shownSlots(ui->tableWidgetPlatforms).size(), 4);

        QVERIFY(TestSupport::writeFile(csvPath(), headerLine()));  // no platform empties the favourites
        QCOMPARE(thrown(&MainWindow::slotImportPlatformsInfo), QString());
        QCOMPARE(shownSlots(ui->tableWidgetPlatforms), QList<int>());
    }

    void csvParse_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("message");
        const QString header = headerLine();
        QString tooMany = header;
        for (int i = 0; i < 65; ++i)
            tooMany += line(i % 64);
        const QString at = QStringLiteral("Unable to read platforms file p.csv, line ");
        const QString beyond = QStringLiteral("Unable to read import whole platform file p.csv, too many platforms.");
        QTest::newRow("wrong number of columns") << header + line(0) + "1,1,1,1A2B3\n"
            << "Unable to read platforms file p.csv, wrong number of columns. Columns shoud be " + header.mid(1).trimmed() + ".";
        QTest::newRow("65 platforms") << tooMany << beyond;
        QTest::newRow("slot 64") << header + line(64) << beyond;
        QTest::newRow("identifier not hexadecimal") << header + line(0) + line(1).replace("1A201", "XYZ!!")
            << at + "3, column \"Orvan ID\": Unable to set platform info, the identifier \"XYZ!!\"";
        QTest::newRow("index not a number") << header + line(0) + line(1).replace(0, 1, "abc")
                                            << at + "3, column \"Index\": \"abc\" is not a number";
        QTest::newRow("label with a star") << header + line(2, "Pier*") << at + "2: Unable to set platform info, the label";
    }

    void csvParse()
    {
        QFETCH(QString, content);
        QFETCH(QString, message);
        const QString error = TestSupport::thrownBy([&content] {
            Vantrel::Utils::PlatformsFile::parse(content.toUtf8(), "p.csv",
                                                 Vantrel::Ui::platformsFileColumnsNames.value(Vantrel::Com::DfrLink::DFR_V2), 64);
        });
        QVERIFY2(error.startsWith(message), qPrintable(error));
    }

    // A format edit writes the whole slot and reads it back; a name the receiver cannot store is put back
    // unsent, and one it refuses is written back.
    void editWritesWholeSlot_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QStringList>("names");  // sent, in order
        QTest::newRow("stored") << "SM21" << "" << QStringList{"SM21"};
        QTest::newRow("name with a comma is put back") << "A,B" << "\"A,B\" cannot be stored" << QStringList{};
        QTest::newRow("refused by the receiver, written back") << "SM21" << "Error in reply: "
                                                               << QStringList{"SM21", "SM20-CRC"};
    }

    void editWritesWholeSlot()
    {
        QFETCH(QString, typed);
        QFETCH(QString, error);
        QFETCH(QStringList, names);
        plug(DeviceState::PROFILE_DFR_V2_APP);
        select(ui->tableWidgetGpsFormats, 3);
        sim->clearReceivedFrames();
        if (names.size() == 2) {
            sim->injectFault(DfrSimulator::FAULTMODE_ACK_ERROR, "SFG");
            QTest::ignoreMessage(QtCriticalMsg,
                                 "The receiver refused GPS format 03 (SM21); the format it held before was written back");
        }
        QLineEdit* name = editorField("lineEditGpsFormatsName");
        name->setText(typed);
        const QString thrown = reported([&] { Q_EMIT name->editingFinished(); });
        QVERIFY2(error.isEmpty() ? thrown.isEmpty() : thrown.contains(error), qPrintable(thrown));
        for (const QStringList& frame : writes("SFG"))
            QVERIFY(frame.size() == 29 && frame.first() == "3");
        QCOMPARE(sent("SFG"), names);
        // Read back and shown as stored.
        QCOMPARE(name->text(), sim->state().gpsFormats.at(3).at(1));
        QCOMPARE(cell(ui->tableWidgetGpsFormats, 3, 1), name->text());
    }

    void deleteAll_data()
    {
        QTest::addColumn<DeviceState::Profile_t>("profile");
        QTest::addColumn<bool>("emptyBank");
        QTest::addColumn<int>("answer");  // asked only when a slot is occupied
        QTest::newRow("empty bank asks nothing") << DeviceState::PROFILE_DFR_V2_APP << true << 0;
        QTest::newRow("No keeps the bank") << DeviceState::PROFILE_DFR_V2_APP << false << 1;
        QTest::newRow("Yes empties every occupied slot") << DeviceState::PROFILE_DFR_V2_APP << false << 0;
        QTest::newRow("first generation has no bank") << DeviceState::PROFILE_DFR_V1 << true << 0;
    }

    void deleteAll()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(bool, emptyBank);
        QFETCH(int, answer);
        plug(profile, [emptyBank](DeviceState& state) {
            for (int slot = 0; emptyBank && slot < state.gpsFormatSlotCount(); ++slot)
                state.gpsFormats[slot] = state.emptyGpsFormat(slot);
        });
        // A second connection in the same run must not wire the button twice.
        QAction* action = DeviceTest::portAction(ui, DeviceTest::portOf(sim->deviceName()));
        action->trigger();
        action->trigger();
        QVERIFY(action->isChecked());
        sim->clearReceivedFrames();
        reply = answer;

        QTest::mouseClick(ui->pushButtonGpsFormatsDeleteAll, Qt::LeftButton);
        QCOMPARE(asked.size(), emptyBank ? 0 : 1);
        QCOMPARE(sent("SFG"), QStringList(emptyBank || answer == 1 ? 0 : 4, "NONE"));
        const bool emptied = emptyBank || answer == 0;
        for (int slot = 0; slot < 4; ++slot)
            QCOMPARE(sim->state().isGpsFormatOccupied(slot), !emptied);
        QCOMPARE(GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_DFR).isEmpty(), emptied);
        if (profile == DeviceState::PROFILE_DFR_V1) {
            ui->checkBoxGpsFormatsHideEmptySlots->setChecked(true);
            Q_EMIT ui->widgetGpsFormatTab->sigGpsFormatChanged();
            QVERIFY(shownSlots(ui->tableWidgetGpsFormats).isEmpty());
            QCOMPARE(sim->receivedCount("GFG") + sim->receivedCount("SFG"), 0);
        }
    }
};

VANTREL_WINDOW_TEST_MAIN(TestSlotsTabs)
#include "tst_slotstabs.moc"
