// Favourite platforms and GPS format bank tabs against the simulator: loading, edits and their rules, create, delete, CSV.
#include <QtTest>

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>

#include <memory>

#include "app/Constants.h"
#include "sim/DemoContent.h"
#include "sim/DfrSimulator.h"
#include "tests/common/DeviceTestSupport.h"
#include "tests/ui/WindowTestMain.h"
#include "ui/Dialogs.h"
#include "ui/GpsFormatWidget.h"
#include "utils/GpsFormat.h"
#include "utils/Settings.h"

using Vantrel::Sim::DeviceState;
using Vantrel::Sim::DfrSimulator;
using Vantrel::Ui::Dialogs;
using Vantrel::Utils::GpsFormat;
using Edit = std::function<void(Vantrel::Ui_UiMainWindow*)>;

Q_DECLARE_METATYPE(DeviceState::Profile_t)
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
    return QStringLiteral("%1,1,1,1A2B%1,%2,1,SM9,64,0,0,0,1,1,20,6,1,0,1,0,21,1,22,21,6,1,0,1,0,1,%3,48,16,0,48,60,0,"
                          "0,1,1,0\n")
        .arg(index)
        .arg(label, polynom);
}

// Slots as they matter: the format block of a platform without GPS mode is not read.
QVector<QStringList> meaningful(QVector<QStringList> platforms)
{
    for (QStringList& values : platforms)
        if (values.at(5) != QLatin1String("1"))
            for (int pos = 6; pos < 28; ++pos)
                values[pos].clear();
    return platforms;
}

// A window connected to a simulated receiver with demo slots, with its questions and file dialogs answered.
struct Fixture
{
    Vantrel::Ui::MainWindow* window = nullptr;
    Vantrel::Ui_UiMainWindow* ui = nullptr;
    std::unique_ptr<DfrSimulator> sim;
    QAction* action = nullptr;
    QStringList questions;  // titles, in order
    int answer = 1;         // 0 Yes, 1 No
    QString fileName;       // what file dialogs answer

    // Settings are written before the window is built: it reloads them.
    void createWindow()
    {
        auto* settings = Vantrel::Utils::Settings::instance();
        settings->dfrCommandTimeoutMs = 2000;
        settings->printAtCmdDebugInfo = false;
        settings->saveSettingsInternal();
        Dialogs::setResponder([this](const Dialogs::Request_t& request) -> QVariant {
            if (request.kind != Dialogs::Request_t::QUESTION)
                return fileName;
            questions.append(request.title);
            return answer;
        });
        window = WindowTest::openWindow();
        ui = window->form();
        QTRY_VERIFY_WITH_TIMEOUT(DeviceTest::logHas(ui, "INFO", "Ready!"), 5000);
    }

    // A demo receiver whose state the test may change before it is connected.
    DeviceState& plug(DeviceState::Profile_t profile)
    {
        sim = std::make_unique<DfrSimulator>(profile);
        sim->setBeaconPeriod(0);
        Vantrel::Sim::DemoContent::apply(sim->state());
        if (!sim->start())
            qFatal("simulator did not start");
        DeviceTest::offerPorts({sim.get()});
        return sim->state();
    }

    bool connect()
    {
        action = DeviceTest::plugAndClick(ui, *sim);
        if (!action || !action->isChecked())
            return false;
        sim->clearReceivedFrames();
        questions.clear();
        return true;
    }

    void disconnect()
    {
        if (action && action->isChecked())
            action->trigger();
    }

    void unplug()
    {
        disconnect();
        const QString port = sim ? DeviceTest::portOf(sim->deviceName()) : QString();
        sim.reset();
        qunsetenv("VANTREL_SIMULATED_PORTS");
        action = nullptr;
        QTRY_VERIFY_WITH_TIMEOUT(port.isEmpty() || !DeviceTest::portAction(ui, port), 5000);
    }

    // Frames of a mnemonic that carry more than a slot number: writes, not reads.
    QList<QStringList> writes(const QString& mnemonic) const
    {
        QList<QStringList> found;
        for (const DfrSimulator::ReceivedFrame_t& frame : sim->receivedFrames())
            if (frame.wellFormed && frame.mnemonic == mnemonic
                && std::any_of(frame.params.cbegin() + 1, frame.params.cend(),
                               [](const QString& value) { return !value.isEmpty(); }))
                found.append(frame.params);
        return found;
    }
};

} // namespace

class TestSlotsTabs : public QObject
{
    Q_OBJECT

    Fixture f;
    QTemporaryDir dir;

    QLineEdit* formatField(const QString& name) const
    {
        return f.ui->widgetGpsFormatPlatform->template findChild<QLineEdit*>(name);
    }
    QString csvPath() const { return dir.filePath("platforms.csv"); }
    QLineEdit* editorField(const QString& name) const
    {
        return f.ui->widgetGpsFormatTab->findChild<QLineEdit*>(name);
    }
    int rowOfSlot(int slot) const
    {
        const QTableWidget* table = f.ui->tableWidgetGpsFormats;
        for (int row = 0; row < table->rowCount(); ++row)
            if (table->item(row, 0)->text().toInt() == slot)
                return row;
        return -1;
    }

private Q_SLOTS:
    void initTestCase() { f.createWindow(); }
    void cleanup()
    {
        f.ui->checkBoxHideEmptySlots->setChecked(true);
        f.ui->checkBoxGpsFormatsHideEmptySlots->setChecked(false);
        f.unplug();
    }

    void loadSlots()
    {
        f.plug(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(f.connect());
        QTableWidget* table = f.ui->tableWidgetPlatforms;
        QCOMPARE(table->rowCount(), 4);
        const QStringList row0 = {"00", "1A2B3", "A2", "Buoy Seine", "SM20"};
        for (int column = 0; column < row0.size(); ++column)
            QCOMPARE(table->item(0, column)->text(), row0.at(column));
        QCOMPARE(table->item(1, 4)->text(), QString());
        const auto formats = GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_PLATFORM);
        QCOMPARE(formats.size(), 2);
        QCOMPARE(formats.first().second.description, QStringLiteral("from platform Buoy Seine (Id: 1A2B3)"));
        // Showing slot 0 fills the panel without writing.
        QCOMPARE(f.ui->lineEditPlatformsOrvanId->text(), QStringLiteral("1A2B3"));
        QVERIFY(f.ui->pushButtonPlatformsDelete->isEnabled());
        QVERIFY(!f.ui->pushButtonPlatformsCreate->isEnabled());

        f.ui->checkBoxHideEmptySlots->setChecked(false);
        QCOMPARE(table->rowCount(), 64);
        QVERIFY(f.writes("IP").isEmpty());
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
        const Edit label = [](auto* ui) { typeInto(ui->lineEditPlatformsLabel, "Buoy Oise"); };
        const Edit identifier = [](auto* ui) { typeInto(ui->lineEditPlatformsOrvanId, "1A2B4"); };
        const Edit gpsOff = [](auto* ui) { ui->checkBoxGpsModeEnabled->setChecked(false); };

        QTest::newRow("label, second generation") << V2 << label << 1 << 0 << QStringList{""};
        QTest::newRow("identifier recreates without asking") << V2 << identifier << 1 << 0 << QStringList{"0", "1"};
        QTest::newRow("GPS mode off recreates") << V2 << gpsOff << 1 << 0 << QStringList{"0", "1"};
        QTest::newRow("identifier, first generation, No") << V1 << identifier << 1 << 1 << QStringList{};
        QTest::newRow("identifier, first generation, Yes") << V1 << identifier << 0 << 1 << QStringList{"0", "1"};
        QTest::newRow("label with a comma is refused")
            << V2 << Edit([](auto* ui) { typeInto(ui->lineEditPlatformsLabel, "Buoy,Oise"); }) << 0 << 0
            << QStringList{};
    }

    void saveEdit()
    {
        QFETCH(DeviceState::Profile_t, profile);
        QFETCH(Edit, edit);
        QFETCH(int, answer);
        QFETCH(int, questions);
        QFETCH(QStringList, occupiedValues);
        f.plug(profile);
        QVERIFY(f.connect());
        f.answer = answer;
        const QStringList before = f.sim->state().platforms.at(0);

        const QString thrown = TestSupport::thrownBy([&] { edit(f.ui); });
        QCOMPARE(f.questions.size(), questions);
        QStringList sent;
        for (const QStringList& write : f.writes("IP"))
            sent.append(write.at(1));
        QCOMPARE(sent, occupiedValues);
        if (occupiedValues.isEmpty()) {
            // Refused or declined: the slot is untouched and the panel shows it again.
            QCOMPARE(f.sim->state().platforms.at(0), before);
            QCOMPARE(f.ui->lineEditPlatformsOrvanId->text(), QStringLiteral("1A2B3"));
            QCOMPARE(f.ui->lineEditPlatformsLabel->text(), QStringLiteral("Buoy Seine"));
            QCOMPARE(thrown.startsWith("Unable to set platform info"), answer == 0);
        } else {
            QCOMPARE(thrown, QString());
            QVERIFY(f.sim->state().isPlatformOccupied(0));
            QCOMPARE(f.ui->tableWidgetPlatforms->item(0, 1)->text(), f.sim->state().platforms.at(0).at(3));
            QCOMPARE(f.ui->tableWidgetPlatforms->item(0, 3)->text(), f.sim->state().platforms.at(0).at(4));
        }
    }

    void decodingFollowsEdits()
    {
        f.plug(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(f.connect());
        const QByteArray payload = QByteArray::fromHex("0001000000000000");
        double before = 0;
        double after = 0;
        double longitude = 0;
        QVERIFY(GpsFormat::instance()->decodePayload(GpsFormat::ORIGIN_PLATFORM, 0, payload, before, longitude));
        typeInto(formatField("lineEditGpsFormatsLatT"), "12");
        QCOMPARE(f.sim->state().platforms.at(0).at(6 + 1 + 4), QStringLiteral("12"));
        QVERIFY(GpsFormat::instance()->decodePayload(GpsFormat::ORIGIN_PLATFORM, 0, payload, after, longitude));
        QVERIFY(before != 0.0);
        QCOMPARE(after, 2 * before);
    }

    void createAndDelete()
    {
        f.plug(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(f.connect());
        f.ui->checkBoxHideEmptySlots->setChecked(false);
        f.ui->tableWidgetPlatforms->setCurrentCell(7, 0);
        QVERIFY(f.ui->pushButtonPlatformsCreate->isEnabled());
        QVERIFY(!f.ui->lineEditPlatformsLabel->isEnabled());
        QTest::mouseClick(f.ui->pushButtonPlatformsCreate, Qt::LeftButton);
        QVERIFY(f.sim->state().isPlatformOccupied(7));
        QVERIFY(f.ui->lineEditPlatformsLabel->isEnabled());

        f.answer = 0;
        QTest::mouseClick(f.ui->pushButtonPlatformsDelete, Qt::LeftButton);
        QCOMPARE(f.questions, QStringList{"Delete platform?"});
        QVERIFY(!f.sim->state().isPlatformOccupied(7));

        // Without a current row nothing is sent and the other table keeps its selection.
        f.ui->tableWidgetGpsFormats->setCurrentCell(1, 0);
        f.ui->tableWidgetPlatforms->setCurrentCell(-1, -1);
        f.sim->clearReceivedFrames();
        QTest::mouseClick(f.ui->pushButtonNewFavorite, Qt::LeftButton);  // reloads, then creates in slot 4
        QVERIFY(f.sim->state().isPlatformOccupied(4));
        f.ui->tableWidgetPlatforms->setCurrentCell(-1, -1);
        f.sim->clearReceivedFrames();
        Q_EMIT f.ui->pushButtonPlatformsCreate->clicked();
        Q_EMIT f.ui->pushButtonPlatformsDelete->clicked();
        QCOMPARE(f.sim->receivedCount("IP"), 0);
        QCOMPARE(f.ui->tableWidgetGpsFormats->currentRow(), 1);
    }

    void csvRoundTrip()
    {
        DeviceState& state = f.plug(DeviceState::PROFILE_DFR_V2_APP);
        state.platforms[0][state.ipEncryption() + 1] = "1021";
        state.platforms[3][state.ipEncryption() + 1] = "ff";
        QVERIFY(f.connect());
        const auto before = state.platforms;
        f.fileName = csvPath();
        QTest::mouseClick(f.ui->pushButtonPlatformsExport, Qt::LeftButton);
        const QString text = TestSupport::readFile(csvPath());
        QVERIFY(text.startsWith(headerLine()));
        QCOMPARE(text.count('\n'), 5);
        QVERIFY(text.contains(",0x1021,"));
        QVERIFY(text.contains(",0xff,"));

        f.answer = 0;
        QTest::mouseClick(f.ui->pushButtonPlatformsImport, Qt::LeftButton);
        QCOMPARE(f.questions, QStringList{"Delete all platforms?"});
        QCOMPARE(meaningful(state.platforms), meaningful(before));
        QCOMPARE(f.ui->tableWidgetPlatforms->rowCount(), 4);
    }

    void csvImport_data()
    {
        QTest::addColumn<QString>("content");
        QTest::addColumn<QString>("message");  // empty: accepted
        QTest::addColumn<QStringList>("polynoms");  // per imported slot, on the wire
        const QString header = headerLine();
        QString tooMany = header;
        for (int i = 0; i < 64; ++i)
            tooMany += line(i);
        tooMany += line(0);
        const QString fileError = QStringLiteral("Unable to read platforms file %1, ");

        QTest::newRow("polynom with and without prefix")
            << header + line(0, "Pier", "0x1021") + line(1, "Pier", "0XFF") + line(2, "Pier", "ff") << QString()
            << QStringList{"1021", "ff", "ff"};
        QTest::newRow("header only empties the favourites") << header << QString() << QStringList{};
        QTest::newRow("wrong number of columns")
            << header + line(0) + "1,1,1,1A2B3\n"
            << fileError + "wrong number of columns. Columns shoud be " + header.mid(1).trimmed() + "."
            << QStringList{};
        QTest::newRow("too many platforms")
            << tooMany << QStringLiteral("Unable to read import whole platform file %1, too many platforms.")
            << QStringList{};
        QTest::newRow("label with a star")
            << header + line(2, "Pier*") << fileError + "line 2: Unable to set platform info, the label" << QStringList{};
        QTest::newRow("missing file") << QString() << QStringLiteral("Unable to open platforms file %1")
                                      << QStringList{};
        QTest::newRow("cancelled") << "<cancel>" << QString() << QStringList{};
    }

    void csvImport()
    {
        QFETCH(QString, content);
        QFETCH(QString, message);
        QFETCH(QStringList, polynoms);
        DeviceState& state = f.plug(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(f.connect());
        const auto before = state.platforms;
        QFile::remove(csvPath());
        if (!content.isEmpty())
            QVERIFY(TestSupport::writeFile(csvPath(), content));
        f.fileName = content == "<cancel>" ? QString() : csvPath();
        f.answer = 0;

        const QString thrown = TestSupport::thrownBy([&] { f.window->slotImportPlatformsInfo(); });
        if (!message.isEmpty()) {
            QVERIFY2(thrown.startsWith(message.arg(csvPath()).section(" Columns", 0, 0)), qPrintable(thrown));
            // Rejected whole: nothing asked, nothing written.
            QVERIFY(f.questions.isEmpty());
            QVERIFY(f.writes("IP").isEmpty());
            QCOMPARE(state.platforms, before);
            return;
        }
        QCOMPARE(thrown, QString());
        if (f.fileName.isEmpty()) {
            QVERIFY(f.questions.isEmpty());
            QCOMPARE(state.platforms, before);
            return;
        }
        for (int slot = 0; slot < state.platformSlotCount(); ++slot) {
            QCOMPARE(state.isPlatformOccupied(slot), slot < polynoms.size());
            if (slot < polynoms.size())
                QCOMPARE(state.platforms.at(slot).at(state.ipEncryption() + 1), polynoms.at(slot));
        }
    }

    void loadAndHideEmptySlots()
    {
        f.plug(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(f.connect());
        QTableWidget* table = f.ui->tableWidgetGpsFormats;
        QCOMPARE(table->rowCount(), 16);
        QCOMPARE(table->item(2, 1)->text(), QStringLiteral("SM17-MIN"));
        QCOMPARE(table->item(15, 0)->text(), QStringLiteral("15"));
        QCOMPARE(GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_DFR).size(), 4);

        f.ui->checkBoxGpsFormatsHideEmptySlots->setChecked(true);
        QCOMPARE(table->rowCount(), 4);
        QCOMPARE(f.sim->receivedCount("GFG"), 16 + 1);  // the bank, then the first row shown
        QVERIFY(f.writes("SFG").isEmpty());
    }

    void enableRules_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<bool>("occupied");
        QTest::newRow("occupied slot") << 1 << true;
        QTest::newRow("empty slot") << 9 << false;
    }

    void enableRules()
    {
        QFETCH(int, slot);
        QFETCH(bool, occupied);
        f.plug(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(f.connect());
        f.ui->tableWidgetGpsFormats->setCurrentCell(rowOfSlot(slot), 0);

        QCOMPARE(f.ui->lineEditGpsFormatsIndex->text(), QString::number(slot));
        QCOMPARE(f.ui->pushButtonGpsFormatsCreate->isEnabled(), !occupied);
        QCOMPARE(f.ui->pushButtonGpsFormatsDelete->isEnabled(), occupied);
        QCOMPARE(editorField("lineEditGpsFormatsName")->isEnabled(), occupied);
        QCOMPARE(editorField("lineEditGpsFormatsName")->text(), occupied ? QStringLiteral("WRAP24") : QString());
        // Filling the editor from the receiver writes nothing back.
        QVERIFY(f.writes("SFG").isEmpty());
    }

    void editWritesWholeSlot_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("position");
        QTest::addColumn<QString>("sent");
        QTest::newRow("emptied payload length is 0") << "lineEditGpsFormatsPayloadLen" << "" << 20 << "0";
        QTest::newRow("polynom keeps four digits") << "lineEditGpsFormatsEncryptionPolynom" << "1a2b3" << 24
                                                   << "1a2b";
    }

    void editWritesWholeSlot()
    {
        QFETCH(QString, field);
        QFETCH(QString, typed);
        QFETCH(int, position);
        QFETCH(QString, sent);
        f.plug(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(f.connect());
        f.ui->tableWidgetGpsFormats->setCurrentCell(rowOfSlot(3), 0);
        f.sim->clearReceivedFrames();

        editorField(field)->setText(typed);
        Q_EMIT editorField(field)->editingFinished();

        const QList<QStringList> writes = f.writes("SFG");
        QCOMPARE(writes.size(), 1);
        QCOMPARE(writes.first().size(), 29);
        QCOMPARE(writes.first().at(0), QStringLiteral("3"));
        QCOMPARE(writes.first().at(1), QStringLiteral("SM20-CRC"));
        QCOMPARE(writes.first().at(position), sent);
        // Read back and shown as stored.
        QCOMPARE(f.sim->receivedMnemonics().last(), QStringLiteral("GFG"));
        QCOMPARE(f.sim->state().gpsFormats.at(3).at(position), sent);
    }

    void createFormat()
    {
        DeviceState& state = f.plug(DeviceState::PROFILE_DFR_V2_APP);
        state.gpsFormats[3] = state.emptyGpsFormat(3);
        QVERIFY(f.connect());
        f.ui->tableWidgetGpsFormats->setCurrentCell(rowOfSlot(3), 0);
        QTest::mouseClick(f.ui->pushButtonGpsFormatsCreate, Qt::LeftButton);

        QCOMPARE(f.writes("SFG").size(), 1);
        const QStringList stored = f.sim->state().gpsFormats.at(3);
        QCOMPARE(stored.at(1), QStringLiteral("Format 3"));
        QCOMPARE(stored.at(28), QStringLiteral("1"));
        QCOMPARE(f.ui->tableWidgetGpsFormats->item(rowOfSlot(3), 1)->text(), QStringLiteral("Format 3"));
        QVERIFY(f.ui->pushButtonGpsFormatsDelete->isEnabled());
        QVERIFY(GpsFormat::instance()->getAvailableFormats().contains({GpsFormat::ORIGIN_DFR, 3}));
    }

    void refusedNameIsPutBack()
    {
        f.plug(DeviceState::PROFILE_DFR_V2_APP);
        QVERIFY(f.connect());
        f.ui->tableWidgetGpsFormats->setCurrentCell(rowOfSlot(0), 0);
        f.sim->clearReceivedFrames();
        editorField("lineEditGpsFormatsName")->setText("A,B");
        QVERIFY(TestSupport::thrownBy([&] { Q_EMIT editorField("lineEditGpsFormatsName")->editingFinished(); })
                    .contains("\"A,B\" cannot be stored"));
        QVERIFY(f.writes("SFG").isEmpty());
        QCOMPARE(editorField("lineEditGpsFormatsName")->text(), QStringLiteral("SM20"));
    }

    void deleteAll_data()
    {
        QTest::addColumn<bool>("emptyBank");
        QTest::addColumn<int>("answer");
        QTest::addColumn<int>("questions");
        QTest::addColumn<int>("writes");
        QTest::newRow("empty bank asks nothing") << true << 0 << 0 << 0;
        QTest::newRow("No keeps the bank") << false << 1 << 1 << 0;
        QTest::newRow("Yes empties every occupied slot") << false << 0 << 1 << 4;
    }

    void deleteAll()
    {
        QFETCH(bool, emptyBank);
        QFETCH(int, answer);
        QFETCH(int, questions);
        QFETCH(int, writes);
        DeviceState& state = f.plug(DeviceState::PROFILE_DFR_V2_APP);
        if (emptyBank)
            for (int slot = 0; slot < state.gpsFormatSlotCount(); ++slot)
                state.gpsFormats[slot] = state.emptyGpsFormat(slot);
        // A second connection in the same run must not wire the button twice.
        QVERIFY(f.connect());
        f.disconnect();
        QVERIFY(f.connect());
        f.answer = answer;

        QTest::mouseClick(f.ui->pushButtonGpsFormatsDeleteAll, Qt::LeftButton);
        QCOMPARE(f.questions.size(), questions);
        QCOMPARE(f.writes("SFG").size(), writes);
        for (const QStringList& frame : f.writes("SFG"))
            QCOMPARE(frame.at(1), QStringLiteral("NONE"));
        const bool emptied = emptyBank || answer == 0;
        for (int slot = 0; slot < 4; ++slot)
            QCOMPARE(state.isGpsFormatOccupied(slot), !emptied);
        QCOMPARE(GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_DFR).isEmpty(), emptied);
    }

    void firstGenerationHasNoBank()
    {
        f.plug(DeviceState::PROFILE_DFR_V1);
        QVERIFY(f.connect());
        f.answer = 0;
        QTest::mouseClick(f.ui->pushButtonGpsFormatsDeleteAll, Qt::LeftButton);
        f.ui->checkBoxGpsFormatsHideEmptySlots->setChecked(true);
        Q_EMIT f.ui->widgetGpsFormatTab->sigGpsFormatChanged();
        QCOMPARE(f.ui->tableWidgetGpsFormats->rowCount(), 0);
        QCOMPARE(f.sim->receivedCount("GFG") + f.sim->receivedCount("SFG"), 0);
        QVERIFY(f.questions.isEmpty());
    }
};

VANTREL_WINDOW_TEST_MAIN(TestSlotsTabs)
#include "tst_slotstabs.moc"
