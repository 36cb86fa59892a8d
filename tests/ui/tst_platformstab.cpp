// Favourite platforms tab through the window against the simulator: loading, edits with the recreate rules, CSV.
#include <QtTest>

#include <QCheckBox>
#include <QLineEdit>
#include <QTemporaryDir>

#include "app/AppIdentity.h"
#include "app/Constants.h"
#include "inhouse/DateTime.h"
#include "tests/ui/SlotsWindowSupport.h"
#include "ui/GpsFormatWidget.h"
#include "utils/GpsFormat.h"

using SlotsTest::DeviceState;
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

} // namespace

class TestPlatformsTab : public QObject
{
    Q_OBJECT

    SlotsTest::Fixture f;
    QTemporaryDir dir;

    QLineEdit* formatField(const QString& name) const
    {
        return f.ui->widgetGpsFormatPlatform->template findChild<QLineEdit*>(name);
    }
    QString csvPath() const { return dir.filePath("platforms.csv"); }

private Q_SLOTS:
    void initTestCase() { f.createWindow(); }
    void cleanup()
    {
        f.ui->checkBoxHideEmptySlots->setChecked(true);
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
        QTest::newRow("label with a comma") << header + line(0, "Pier,East") << fileError + "wrong number of columns."
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
};

int main(int argc, char** argv)
{
    qRegisterMetaType<Tarsk::Utils::DateTime>("Tarsk::Utils::DateTime");
    Tarsk::Utils::ToplevelApplication app(argc, argv);
    QApplication::setApplicationName(Vantrel::App::applicationName);
    QApplication::setApplicationVersion(Vantrel::App::applicationVersion);
    TestPlatformsTab test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_platformstab.moc"
