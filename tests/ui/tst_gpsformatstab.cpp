// GPS format bank tab driven through the window against the simulator: enabling, edits, create, delete all, wiring.
#include <QtTest>

#include <QLineEdit>
#include <QPushButton>

#include "app/AppIdentity.h"
#include "inhouse/DateTime.h"
#include "tests/ui/SlotsWindowSupport.h"
#include "ui/GpsFormatWidget.h"
#include "utils/GpsFormat.h"

using SlotsTest::DeviceState;
using Vantrel::Utils::GpsFormat;

class TestGpsFormatsTab : public QObject
{
    Q_OBJECT

    SlotsTest::Fixture f;

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
        f.ui->checkBoxGpsFormatsHideEmptySlots->setChecked(false);
        f.unplug();
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
        QTest::newRow("emptied Data Len is 1") << "lineEditGpsFormatsEncryptionDataLen" << "" << 28 << "1";
        QTest::newRow("emptied payload length is 0") << "lineEditGpsFormatsPayloadLen" << "" << 20 << "0";
        QTest::newRow("polynom keeps four digits") << "lineEditGpsFormatsEncryptionPolynom" << "1a2b3" << 24
                                                   << "1a2b";
        QTest::newRow("polynom not hexadecimal") << "lineEditGpsFormatsEncryptionPolynom" << "XYZ" << 24 << "0";
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

int main(int argc, char** argv)
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    TestGpsFormatsTab test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_gpsformatstab.moc"
