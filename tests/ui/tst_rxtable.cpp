// Received messages table: cell texts, sorting, filter, CSV export, context menu, traffic log, live rows.
#include "tests/common/WindowDeviceFixture.h"
#include "ui/locate/LocateTab.h"
#include "ui/PlatformsTableModel.h"
#include "ui/RxTableModel.h"
#include "utils/GpsFormat.h"

using Vantrel::Com::DfrLink;
using Vantrel::Utils::GpsFormat;
using Message = DfrLink::OrvanRxMessage_t;
using Tweak = std::function<void(Message&)>;

Q_DECLARE_METATYPE(Tweak)

namespace {

const QDateTime received(QDate(2024, 3, 5), QTime(10, 20, 30), Qt::UTC);

Message baseMessage()
{
    Message m;
    m.platformSlotIndex = -1;
    m.dateTime = Tarsk::Utils::DateTime::fromQDateTime(received);
    m.platformId = QStringLiteral("ABCDE12");
    m.frequencyHz = 401650000;
    m.dfrDirectionValid = m.dfrPositionValid = m.periodValid = m.crcOk = true;
    m.direction = 123;
    m.meanDirection = 120;
    m.band = DfrLink::ORVANBAND_EESS4_1;
    m.modulation = DfrLink::ORVANMODULATION_A3;
    m.level = -120;
    m.period = 60;
    m.dfrLongitude = 2.35;
    m.dfrLatitude = 48.856613;
    m.dfrDirection = 45;
    m.payload = QByteArray::fromHex("0a1bff");
    m.rawPayload = QByteArray::fromHex("c00a1bff");
    return m;
}

// Answers the next context menu: records its entries ("-" for separators) and picks one, or none.
void answerMenu(QStringList* entries, const QString& choice, int attempts = 100)
{
    QTimer::singleShot(10, [entries, choice, attempts] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) {
            if (attempts > 1)
                answerMenu(entries, choice, attempts - 1);
            return;
        }
        for (QAction* action : menu->actions()) {
            entries->append(action->isSeparator() ? QStringLiteral("-") : action->text());
            if (action->text() == choice)
                menu->setActiveAction(action);
        }
        QTest::keyClick(menu, choice.isEmpty() ? Qt::Key_Escape : Qt::Key_Return);
    });
}

} // namespace

class TestRxTable : public WindowDeviceFixture
{
    Q_OBJECT

    QList<QUrl> openedUrls;

    QTableView* table() const { return ui->tableWidgetRx; }
    QModelIndex at(int row, int column) const { return table()->model()->index(row, column); }
    QString cell(int row, int column) const { return at(row, column).data().toString(); }
    int rows() const { return table()->model()->rowCount(); }

    // A flash message joins the table when its batch is inserted, as if time had passed.
    void receive(const Message& m, DfrLink::RxOrigin_t origin = DfrLink::RXORIGIN_LIVE)
    {
        window->slotOrvanMessageReceived(m, origin);
        window->rxTableModel()->flushQueuedRows();
    }

    // One row per identifier, the base message otherwise.
    void receiveIds(const QStringList& ids, DfrLink::RxOrigin_t origin = DfrLink::RXORIGIN_FLASH, int position = 0)
    {
        for (const QString& id : ids) {
            Message m = baseMessage();
            m.platformId = id, m.flashPosition = position;
            receive(m, origin);
        }
    }

    void addFavorite(int slot, const QString& label)
    {
        DfrLink::PlatformInfo_t info;
        info.index = slot, info.occupied = true, info.platformId = QStringLiteral("ABCDE12"), info.label = label;
        window->platformsTableModel()->setSlot(info);
    }

    QStringList columnTexts(int column = 5) const
    {
        QStringList texts;
        for (int row = 0; row < rows(); ++row)
            texts.append(cell(row, column));
        return texts;
    }

    // A raw payload that slot 7's format decodes to 43.5 N 1.25 W.
    static QByteArray positionPayload()
    {
        const auto format = GpsFormat::instance()->getFormatsForOrigin(GpsFormat::ORIGIN_FILE).first().second;
        QStringList fields = {format.name};
        for (const auto& c : {format.lat, format.lon})
            for (int v : {c.signPos, c.signLen, c.pos, c.len, c.t, c.u, c.v, c.w, c.ty})
                fields.append(QString::number(v));
        fields << QString::number(format.payloadLen) << QString::number(format.indexPos) << "0";
        return Vantrel::Sim::BeaconBuilder::gpsPayload(fields, 43.5, -1.25, 8);
    }

    // Slot 7 decodes its payloads with the reference file's first format.
    static void formatForSlot7()
    {
        GpsFormat* catalog = GpsFormat::instance();
        catalog->addGpsFormat(GpsFormat::ORIGIN_PLATFORM, 7,
                              catalog->getFormatsForOrigin(GpsFormat::ORIGIN_FILE).first().second);
    }

    static QString logFilePath()
    {
        return QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("../Logs/Log 0042-1207.txt"));
    }

public Q_SLOTS:
    void openUrl(const QUrl& url) { openedUrls.append(url); }

private Q_SLOTS:
    void initTestCase()
    {
        startWindow();
        const int rxTab = ui->tabWidget->indexOf(ui->tabRx);
        ui->tabWidget->setTabEnabled(rxTab, true);
        ui->tabWidget->setCurrentIndex(rxTab);
        QDesktopServices::setUrlHandler(QStringLiteral("https"), this, "openUrl");
        formatForSlot7();
    }

    void init()
    {
        window->slotClearRxTable();
        table()->clearSelection();
        table()->setSortingEnabled(true);
        window->slotClearRxFilter();
        window->platformsTableModel()->clear();
        openedUrls.clear();
    }

    void cleanupTestCase()
    {
        if (sim && connected())
            window->slotDfrDisconnected(DeviceTest::portOf(sim->deviceName()), "end of test");
        Dialogs::setResponder({});
        QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
        delete window;
    }

    // Every cell of one message, joined by "|".
    void cellTexts_data()
    {
        QTest::addColumn<Tweak>("tweak");
        QTest::addColumn<QString>("texts");
        QTest::newRow("favourite 07 shadows 09, position from the raw payload only") << Tweak([](Message& m) {
            m.payload = positionPayload();
            m.rawPayload = QByteArray(8, '\0');
        }) << "Live|7|Buoy seven|N/A|2024-03-05T10:20:30|ABCDE12|401650000|123|EESS4_1|A3|-120|60|48.856613|2.35|45|0|0|"
              "Yes|3519C4061A800000|0000000000000000";
        QTest::newRow("unknown identifier, nothing valid") << Tweak([](Message& m) {
            m.platformId = "FFFFF", m.dateTime = Tarsk::Utils::DateTime(), m.band = DfrLink::OrvanBand_t(42);
            m.periodValid = m.dfrPositionValid = m.dfrDirectionValid = m.crcOk = false;
        }) << "Live|||N/A||FFFFF|401650000|123||A3|-120|Invalid|||Invalid|||No|0A1BFF|C00A1BFF";
    }

    void cellTexts()
    {
        QFETCH(Tweak, tweak);
        addFavorite(7, "Buoy seven");
        addFavorite(9, "Shadowed duplicate");
        Message m = baseMessage();
        tweak(m);
        receive(m);
        QCOMPARE(rows(), 1);
        QStringList cells;
        for (int column = 0; column < table()->model()->columnCount(); ++column)
            cells.append(cell(0, column));
        QTEST(cells.join('|'), "texts");
    }

    // Numeric columns sort by value, text columns by text.
    void sortByValue_data()
    {
        QTest::addColumn<int>("column");
        QTest::addColumn<QList<Tweak>>("tweaks");
        QTest::addColumn<QStringList>("ascending");
        const auto level = [](int v) { return Tweak([v](Message& m) { m.level = v; }); };
        QTest::newRow("level, range codes at their bounds")
            << 10 << QList<Tweak>({level(-95), level(1), level(5), level(-121), level(2), level(4), level(0), level(3)})
            << QStringList({"< -135", "-121", "< -115", "< -112", "-95", "0", "> 0", "5"});
        const auto index = [](int v) { return Tweak([v](Message& m) { m.platformSlotIndex = v; }); };
        QTest::newRow("index, none first") << 1 << QList<Tweak>({index(10), index(-1), index(9)})
                                           << QStringList({"", "9", "10"});
        const auto period = [](quint32 v, bool valid) {
            return Tweak([v, valid](Message& m) { m.period = v, m.periodValid = valid; });
        };
        QTest::newRow("period, invalid first") << 11 << QList<Tweak>({period(100, true), period(9, true), period(500, false)})
                                               << QStringList({"Invalid", "9", "100"});
        const auto id = [](const char* v) { return Tweak([v](Message& m) { m.platformId = v; }); };
        QTest::newRow("identifier stays text") << 5 << QList<Tweak>({id("B9"), id("B10"), id("a1")})
                                               << QStringList({"B10", "B9", "a1"});
    }

    void sortByValue()
    {
        QFETCH(int, column);
        QFETCH(QList<Tweak>, tweaks);
        QFETCH(QStringList, ascending);
        for (const Tweak& tweak : tweaks) {
            Message m = baseMessage();
            tweak(m);
            m.frequencyHz += quint32(rows());  // another message, not the same one again
            receive(m);
        }
        table()->sortByColumn(column, Qt::AscendingOrder);
        QCOMPARE(columnTexts(column), ascending);
        table()->sortByColumn(column, Qt::DescendingOrder);
        std::reverse(ascending.begin(), ascending.end());
        QCOMPARE(columnTexts(column), ascending);
    }

    // Locate shows the platforms of the rows the table holds: an emptied table empties it,
    // and what came while its page was out of sight shows when it is looked at.
    void locateFollowsTheTable()
    {
        auto* locate = window->findChild<Vantrel::Ui::LocateTab*>();
        receiveIds({"1111111", "2222222"}, DfrLink::RXORIGIN_LIVE);
        ui->pushButtonRxClearTable->click();
        receiveIds({"2222222"}, DfrLink::RXORIGIN_LIVE);
        ui->tabWidget->setCurrentWidget(locate);
        QTRY_COMPARE_WITH_TIMEOUT((std::pair(locate->searchLog().platformCount(),
                                             locate->findChild<QTableView*>("tableViewLocatePlatforms")->model()->rowCount())),
                                  std::pair(1, 1), 2000);
    }

    // A message is taken once, by who heard it, when and what: read again from the same
    // flash, queued twice in one batch or heard live as well, it adds no row.
    void keptOnce_data()
    {
        QTest::addColumn<Tweak>("tweak");
        QTest::addColumn<QString>("receiver");
        QTest::addColumn<int>("count");
        QTest::newRow("same message, other level and position")
            << Tweak([](Message& m) { m.level = -90, m.flashPosition = 7; }) << "0042-1207" << 1;
        QTest::newRow("other receiver, same first part") << Tweak([](Message&) {}) << "0042-3391" << 2;
        QTest::newRow("one second later") << Tweak([](Message& m) { m.dateTime.seconds += 1; }) << "0042-1207" << 2;
        QTest::newRow("other identifier") << Tweak([](Message& m) { m.platformId = "ABCDE13"; }) << "0042-1207" << 2;
        QTest::newRow("other frequency") << Tweak([](Message& m) { m.frequencyHz += 1; }) << "0042-1207" << 2;
        QTest::newRow("other raw payload") << Tweak([](Message& m) { m.rawPayload[3] = 0; }) << "0042-1207" << 2;
    }
    void keptOnce()
    {
        QFETCH(Tweak, tweak);
        QFETCH(QString, receiver);
        Vantrel::Ui::RxTableModel model;
        int taken = 0;
        connect(&model, &Vantrel::Ui::RxTableModel::sigRowTaken, this, [&taken] { ++taken; });
        Vantrel::Ui::RxTableModel::Row_t row{baseMessage(), {}, "0042-1207"}, other = row;
        tweak(other.message);
        other.receiver = receiver;
        for (int read = 0; read < 2; ++read) {  // read, kept and read again
            for (const auto* queued : {&row, &other, &row})
                model.queueRow(*queued);
            model.flushQueuedRows();
        }
        model.addRow(other);
        QTEST(model.totalRowCount(), "count");
        QTEST(taken, "count");
    }

    // A flash read: batches while it runs, then every row sorted by position, live rows
    // (taken in between) last, newest first; the filter holds for every batch.
    void flashBurst()
    {
        ui->lineEditRxFilter->setText("ABC");
        window->slotFilterRxTable();
        const int count = 1000;
        QStringList live;
        for (int i = 0; i < count; ++i) {
            Message m = baseMessage();
            m.flashPosition = (i * 379) % count;  // out of order, as a wrapped memory reads
            m.dateTime.seconds += m.flashPosition;
            m.platformId = m.flashPosition % 2 ? "XYZ" : "ABC";
            window->slotOrvanMessageReceived(m, DfrLink::RXORIGIN_FLASH);
            if (i % 300 == 150) {
                Message l = baseMessage();
                l.platformId = QStringLiteral("ABC-live-%1").arg(i);
                live.prepend(l.platformId);
                window->slotOrvanMessageReceived(l, DfrLink::RXORIGIN_LIVE);
            }
        }
        // Rows still gathered join within the batch interval even if the burst stops short.
        QTRY_COMPARE_WITH_TIMEOUT(window->rxRowCount(), count + live.size(), 2000);
        // Until the end of the burst the newest rows are on top.
        QStringList newest;
        for (int i = count - 1; newest.size() < 10; --i)
            if ((i * 379) % count % 2 == 0)
                newest.append(QString::number((i * 379) % count));
        QCOMPARE(columnTexts(3).mid(0, 10), newest);
        window->endRxBurst();
        QVERIFY(table()->isSortingEnabled());
        QCOMPARE(std::pair(table()->horizontalHeader()->sortIndicatorSection(),
                           table()->horizontalHeader()->sortIndicatorOrder()), std::pair(3, Qt::DescendingOrder));
        QCOMPARE(rows(), count / 2 + live.size());
        for (int row = 0; row < count / 2; ++row)
            QCOMPARE(cell(row, 3).toInt(), count - 2 - 2 * row);
        QCOMPARE(columnTexts().mid(count / 2), live);
    }

    void exportCsv_data()
    {
        QTest::addColumn<QList<int>>("selectedRows");
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("exportedIds");
        QTest::newRow("nothing selected: every row") << QList<int>() << "" << QStringList({"C3", "B2", "A1"});
        QTest::newRow("selected rows only") << QList<int>({0, 2}) << "" << QStringList({"C3", "A1"});
        QTest::newRow("hidden rows never, selected or not")
            << QList<int>({0, 2}) << "A" << QStringList({"A1"});
    }

    void exportCsv()
    {
        QFETCH(QList<int>, selectedRows);
        QFETCH(QString, filter);
        QFETCH(QStringList, exportedIds);
        table()->setSortingEnabled(false);
        receiveIds({"A1", "B2", "C3"}, DfrLink::RXORIGIN_FLASH, 4);
        for (int row : selectedRows)
            table()->selectionModel()->select(table()->model()->index(row, 0),
                                              QItemSelectionModel::Select | QItemSelectionModel::Rows);
        ui->lineEditRxFilter->setText(filter);
        window->slotFilterRxTable();

        chosenFile = dir.filePath("rx");  // typed without a suffix
        const QString path = chosenFile + ".csv";
        window->slotExportRxTable();
        QVERIFY2(offered.startsWith("messages_2") && offered.endsWith("UTC.csv"), qPrintable(offered));  // no receiver

        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.size(), exportedIds.size() + 2);
        QCOMPARE(lines.last(), QByteArray());
        // UTF-8 after its byte order mark, for spreadsheet tools.
        QVERIFY(lines[0].startsWith("\xEF\xBB\xBFOrigin,Index,Label,Position,Time,Id,Frequency (Hz),Direction (\xC2\xB0),Band,"));
        QVERIFY(lines[0].endsWith(",CRC,Payload,Raw payload"));
        for (int i = 0; i < exportedIds.size(); ++i) {
            const QByteArray expected = "Flash,,,4,2024-03-05T10:20:30," + exportedIds[i].toLatin1() +
                                        ",401650000,123,EESS4_1,A3,-120,60,48.856613,2.35,45,,,Yes,0A1BFF,C00A1BFF";
            QCOMPARE(lines[i + 1], expected);
        }
    }

    void exportFailures()
    {
        receive(baseMessage());
        const QString unreachable = chosenFile = dir.filePath("missing/rx.csv");
        QCOMPARE(TestSupport::thrownBy([this] { window->slotExportRxTable(); }),
                 QStringLiteral("Unable to open RX file %1").arg(unreachable));
        QVERIFY(!QFile::exists(unreachable));
    }

    // The entries offered for the row under the cursor, and what the chosen one does:
    // clipboard, opened address, identifiers still shown.
    void contextMenu_data()
    {
        QTest::addColumn<Tweak>("tweak");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QStringList>("after");
        const QString filterEntry = "ID filter: ABCDE12";
        const QString copy = "Copy payload to clipboard";
        const QString copyRaw = "Copy raw payload to clipboard";
        const QString dfrMap = "See DFR position on Google Maps";
        const QString payloadMap = "See payload position on Google Maps";
        const QStringList all = {filterEntry, "-", copy, copyRaw, "-", dfrMap, payloadMap};
        const QStringList untouched = {"before", "", "X9 ABCDE12"};
        const Tweak none = [](Message&) {};
        QTest::newRow("copy payload") << none << all << copy << QStringList{"0A1BFF", "", "X9 ABCDE12"};
        QTest::newRow("DFR position map") << none << all << dfrMap
                                          << QStringList{"before", "https://maps.google.com/maps?q=48.856613,2.35",
                                                         "X9 ABCDE12"};
        QTest::newRow("ID filter") << none << all << filterEntry << QStringList{"before", "", "ABCDE12"};
        QTest::newRow("no receiver position")
            << Tweak([](Message& m) { m.dfrPositionValid = false; })
            << QStringList({filterEntry, "-", copy, copyRaw, "-", payloadMap}) << "" << untouched;
        QTest::newRow("raw payload only, slot without a format")
            << Tweak([](Message& m) { m.payload.clear(), m.platformSlotIndex = 5; })
            << QStringList({filterEntry, "-", copyRaw, "-", dfrMap}) << "" << untouched;
    }

    void contextMenu()
    {
        QFETCH(Tweak, tweak);
        QFETCH(QString, choice);
        table()->setSortingEnabled(false);
        addFavorite(7, "Buoy seven");
        Message m = baseMessage();
        m.rawPayload = positionPayload();
        tweak(m);
        receive(m);
        receiveIds({"X9"}, DfrLink::RXORIGIN_LIVE);
        QGuiApplication::clipboard()->setText(QStringLiteral("before"));

        QStringList shown;
        answerMenu(&shown, choice);
        window->slotShowRxTableContextMenu(table()->visualRect(at(1, 1)).center());
        QTEST(shown, "entries");
        const QString opened = openedUrls.isEmpty() ? QString() : openedUrls.first().toString();
        QTEST((QStringList{QGuiApplication::clipboard()->text(), opened, columnTexts().join(' ')}), "after");
    }

    // The tab's controls reach their slots while connected; the filter (case-sensitive,
    // anywhere in the identifier) holds for later rows too.
    void wiredControls()
    {
        table()->setSortingEnabled(false);
        receiveIds({"ABC1", "abc2", "XABC3"}, DfrLink::RXORIGIN_LIVE);
        QTest::keyClicks(ui->lineEditRxFilter, "ABC");
        receiveIds({"QQ", "ABC4"}, DfrLink::RXORIGIN_LIVE);
        QCOMPARE(columnTexts(), QStringList({"ABC4", "XABC3", "ABC1"}));
        QCOMPARE(table()->verticalHeader()->count(), 3);  // the view follows
        ui->pushButtonRxClearFilter->click();
        QCOMPARE(ui->lineEditRxFilter->text(), QString());
        QCOMPARE(columnTexts().size(), 5);
        table()->selectRow(1);
        ui->pushButtonRxClearSelection->click();
        QVERIFY(!table()->selectionModel()->hasSelection());
        ui->pushButtonRxClearTable->click();
        QCOMPARE(window->rxRowCount(), 0);
    }

    // From here on a first-generation receiver is connected.
    void logFileRuns()
    {
        connectTo(DeviceState::PROFILE_DFR_V1);
        QFile::remove(logFilePath());
        for (int run = 0; run < 2; ++run) {
            ui->checkBoxRxLogFile->setChecked(true);
            receive(baseMessage());
            Message flash = baseMessage();
            flash.dateTime = Tarsk::Utils::DateTime();
            receive(flash, DfrLink::RXORIGIN_FLASH);
            ui->checkBoxRxLogFile->setChecked(false);
            receive(baseMessage());  // not logged any more
        }
        QFile file(logFilePath());
        QVERIFY(file.open(QIODevice::ReadOnly | QIODevice::Text));
        // A message without a date is stamped with the time it was logged.
        const QString today = QDateTime::currentDateTimeUtc().date().toString(Qt::ISODate);
        const QStringList lines = QString::fromUtf8(file.readAll())
                                      .replace(QRegularExpression("\\d\\d:\\d\\d:\\d\\d"), "hh:mm:ss")
                                      .replace(today, "today")
                                      .split('\n');
        const QStringList starts = {"today hh:mm:ss : USB connection to DFR V1 SN 0042-1207",
                                    "2024-03-05 hh:mm:ss Received : $NPR", "today hh:mm:ss Flash : $NPR",
                                    "today hh:mm:ss : Log file closed", "", "", ""};
        QCOMPARE(lines.size(), 12);
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY2(lines[i].startsWith(starts[i % 7]) && (starts[i % 7].size() > 0 || lines[i].isEmpty()),
                     qPrintable(lines[i]));
        // A log that cannot be opened is said, and the box does not claim it.
        QVERIFY(file.remove() && QDir().mkpath(logFilePath()));
        const auto cleanup = qScopeGuard([this] { QDir(logFilePath()).removeRecursively(); });
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Log file .* cannot be opened: "));
        ui->checkBoxRxLogFile->setChecked(true);
        QVERIFY(!ui->checkBoxRxLogFile->isChecked());
    }

    // A first-generation receiver's favourite shows its average direction too.
    void liveBeaconFromReceiver()
    {
        Vantrel::Sim::BeaconBuilder::BeaconMessage_t beacon;
        beacon.platformId = QStringLiteral("1234567");
        beacon.frequencyHz = 401633000;
        beacon.slotIndex = 7;
        beacon.direction = 123, beacon.meanDirection = 120;
        beacon.payload = positionPayload();
        formatForSlot7();  // connecting reloaded the favourites' formats
        QVERIFY(sim->sendBeacon(beacon));
        QTRY_COMPARE_WITH_TIMEOUT(rows(), 1, 5000);
        QCOMPARE((QStringList{cell(0, 0), cell(0, 6), cell(0, 7), cell(0, 15), cell(0, 16)}),
                 (QStringList{"Live", "401633000", "123 (avg 120)", "43.5", "-1.25"}));
    }
};

VANTREL_WINDOW_TEST_MAIN(TestRxTable)
#include "tst_rxtable.moc"
