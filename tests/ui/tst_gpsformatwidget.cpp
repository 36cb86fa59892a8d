// GPS format editor: text conversions, round trip, reset, enabling, change signal and the import menu.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>

#include <functional>

#include "ui/GpsFormatWidget.h"

using Vantrel::Ui::GpsFormatWidget;
using Vantrel::Utils::GpsFormat;
using Vantrel::Utils::GpsFormat_t;

namespace {

GpsFormat_t fullFormat()
{
    GpsFormat_t f;
    f.name = QStringLiteral("Orvan GPS 3");
    f.payloadLen = 248;
    f.lat = {1, 2, 3, 21, 1000, 60, -90000, 1, 7};
    f.lon = {24, 1, 25, 22, 2000, 120, -180000, 2, 8};
    f.encryptionType = GpsFormat::ENCRYPTIONTYPE_2;
    f.polynom = 0x00A1; // shows padding and upper case
    f.crcPos = 200;
    f.crcLen = 16;
    f.dataPos = 12;
    f.dataLen = 180;
    f.indexPos = 4;
    f.gpsCheck = true;
    f.description = QStringLiteral("not edited");
    return f;
}

using Reader = qint64 (*)(const GpsFormat_t&);

template <typename T>
T* child(const GpsFormatWidget& w, const QString& name)
{
    T* c = w.findChild<T*>(name);
    if (!c)
        qFatal("missing child %s", qPrintable(name));
    return c;
}


GpsFormat_t named(const QString& name, const QString& description, int payloadLen)
{
    GpsFormat_t f;
    f.name = name;
    f.description = description;
    f.payloadLen = payloadLen;
    f.lat = {0, 1, 1, 20, 6, 1, 0, 1, 0};
    f.dataLen = 1;
    return f;
}

// The offscreen platform complains about every popup it cannot raise or grab for;
// that is the test bed talking, not the editor. Everything else reaches QtTest.
QtMessageHandler testHandler = nullptr;
void dropPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support ")))
        testHandler(type, context, message);
}

} // namespace

Q_DECLARE_METATYPE(Reader)

class TstGpsFormatWidget : public QObject
{
    Q_OBJECT

    // Clicks "Import..." and hands the open menu to `act`; the menu is closed
    // afterwards whatever `act` did, so a failing check cannot leave exec() waiting.
    void withMenu(GpsFormatWidget& w, const std::function<void(QMenu*)>& act)
    {
        bool shown = false;
        QTimer::singleShot(0, this, [&] {
            auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
            shown = menu != nullptr;
            if (menu)
                act(menu);
            while (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
        });
        w.findChild<QPushButton*>("pushButtonImportFormat")->click();
        QVERIFY(shown);
    }

    // Chosen the way a user does, so that exec() returns the entry.
    static void choose(QMenu* menu, int sub, int entry)
    {
        menu->setActiveAction(menu->actions().value(sub));
        QTest::keyClick(menu, Qt::Key_Right);
        auto* submenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        QVERIFY(submenu && submenu != menu);
        submenu->setActiveAction(submenu->actions().value(entry));
        QTest::keyClick(submenu, Qt::Key_Return);
    }

private Q_SLOTS:
    void initTestCase() { testHandler = qInstallMessageHandler(dropPlatformNoise); }

    void init()
    {
        GpsFormat* catalog = GpsFormat::instance();
        catalog->resetCatalog();
        catalog->addGpsFormat(GpsFormat::ORIGIN_DFR, 4, named("Bank4", "not shown", 40));
        catalog->addGpsFormat(GpsFormat::ORIGIN_DFR, 1, named("Bank1", "", 10));
        catalog->addGpsFormat(GpsFormat::ORIGIN_PLATFORM, 2, named("Fav2", "Fav - two (x)", 20));
    }

    void menuLists_data()
    {
        QTest::addColumn<bool>("onlyFile");
        QTest::addColumn<QList<QStringList>>("entries");
        QTest::newRow("all three origins")
            << false << QList<QStringList>{{"[1] Bank1", "[4] Bank4"}, {"[2] Fav2 : Fav - two (x)"}};
        QTest::newRow("empty origins keep their submenu") << true << QList<QStringList>{{}, {}};
    }
    void menuLists()
    {
        QFETCH(bool, onlyFile);
        QFETCH(QList<QStringList>, entries);
        if (onlyFile)
            GpsFormat::instance()->resetCatalog();
        GpsFormatWidget w;
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        int submenus = 0;
        QList<QStringList> seenEntries;
        QPoint seenPos;
        withMenu(w, [&](QMenu* menu) {
            seenPos = menu->pos();
            for (QAction* action : menu->actions()) {
                submenus += action->menu() ? 1 : 0;
                QStringList texts;
                if (action->menu())
                    for (const QAction* entry : action->menu()->actions())
                        texts << entry->text();
                seenEntries << texts;
            }
        });
        // The file's entries come from the shipped catalogue; the other two from what the test put in.
        QCOMPARE(submenus, 3);
        QCOMPARE(seenEntries.size(), 3);
        QCOMPARE(seenEntries.first().size(), 6);
        QCOMPARE(seenEntries.mid(1), entries);
        const auto* button = w.findChild<QPushButton*>("pushButtonImportFormat");
        QCOMPARE(seenPos, button->mapToGlobal(button->rect().bottomLeft()));
    }

    void choosingImports_data()
    {
        QTest::addColumn<int>("sub");
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("origin");
        QTest::addColumn<int>("index");
        QTest::newRow("from the file") << 0 << 5 << int(GpsFormat::ORIGIN_FILE) << 5;
        QTest::newRow("from the bank") << 1 << 1 << int(GpsFormat::ORIGIN_DFR) << 4;
        QTest::newRow("from a favourite") << 2 << 0 << int(GpsFormat::ORIGIN_PLATFORM) << 2;
        QTest::newRow("Escape changes nothing") << -1 << 0 << int(GpsFormat::ORIGIN_PLATFORM) << 2;
    }
    void choosingImports()
    {
        QFETCH(int, sub);
        QFETCH(int, entry);
        QFETCH(int, origin);
        QFETCH(int, index);
        GpsFormat* catalog = GpsFormat::instance();
        GpsFormatWidget w;
        w.setGpsFormat(named("Before", "", 33));
        const GpsFormat_t expected =
            sub < 0 ? w.getGpsFormat() : catalog->getAvailableFormats().value({GpsFormat::Origin_t(origin), index});
        QSignalSpy changed(&w, &GpsFormatWidget::sigGpsFormatChanged);
        withMenu(w, [&](QMenu* menu) {
            // The entry carries the format as it was when the menu opened.
            catalog->addGpsFormat(GpsFormat::Origin_t(origin), index, named("Replaced", "", 99));
            if (sub < 0)
                QTest::keyClick(menu, Qt::Key_Escape);
            else
                choose(menu, sub, entry);
        });
        QCOMPARE(changed.count(), sub < 0 ? 0 : 1);
        const GpsFormat_t shown = w.getGpsFormat();
        QCOMPARE(shown.name, expected.name);
        QVERIFY(GpsFormat::compare(shown, expected));
    }

    void fieldRead_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<Reader>("reader");
        QTest::addColumn<qint64>("expected");
        const Reader polynom = [](const GpsFormat_t& f) -> qint64 { return f.polynom; };
        const Reader dataLen = [](const GpsFormat_t& f) -> qint64 { return f.dataLen; };
        const Reader crcLen = [](const GpsFormat_t& f) -> qint64 { return f.crcLen; };
        const Reader latW = [](const GpsFormat_t& f) -> qint64 { return f.lat.w; };
        const Reader lonV = [](const GpsFormat_t& f) -> qint64 { return f.lon.v; };
        const QString poly = QStringLiteral("lineEditGpsFormatsEncryptionPolynom");
        const QString len = QStringLiteral("lineEditGpsFormatsEncryptionDataLen");
        QTest::newRow("polynom only four characters read") << poly << "1a2b3" << polynom << qint64(0x1A2B);
        QTest::newRow("polynom not hex") << poly << "XYZ" << polynom << qint64(0);
        QTest::newRow("data len empty means one") << len << "" << dataLen << qint64(1);
        QTest::newRow("data len zero kept") << len << "0" << dataLen << qint64(0);
        QTest::newRow("other field empty") << "lineEditGpsFormatsEncryptionCrcLen" << "" << crcLen << qint64(0);
        QTest::newRow("beyond 32 bits") << "lineEditGpsFormatsLatW" << "2147483648" << latW << qint64(0);
        QTest::newRow("negative") << "lineEditGpsFormatsLongV" << "-7" << lonV << qint64(-7);
    }
    void fieldRead()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(Reader, reader);
        QFETCH(qint64, expected);
        GpsFormatWidget w;
        w.setGpsFormat(fullFormat());
        child<QLineEdit>(w, field)->setText(text);
        QCOMPARE(reader(w.getGpsFormat()), expected);
    }

    void roundTrip()
    {
        GpsFormatWidget w;
        w.setGpsFormat(fullFormat());
        QCOMPARE(child<QLineEdit>(w, "lineEditGpsFormatsEncryptionPolynom")->text(), QStringLiteral("00A1"));
        const GpsFormat_t out = w.getGpsFormat();
        QVERIFY(GpsFormat::compare(out, fullFormat())); // every field but the description
        QVERIFY(out.description.isEmpty());
    }

    void reinitClearsAndDisables()
    {
        GpsFormatWidget w;
        w.setGpsFormat(fullFormat());
        w.setEnabled(true);
        w.reinitGUI();
        for (const QLineEdit* edit : w.findChildren<QLineEdit*>())
            QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
        QVERIFY(!child<QCheckBox>(w, "checkBoxGpsFormatsGpsCheck")->isChecked());
        QCOMPARE(child<QComboBox>(w, "comboBoxGpsFormatsEncryptionType")->currentText(), QStringLiteral("NONE"));
        for (const QGroupBox* box : w.findChildren<QGroupBox*>())
            QVERIFY2(!box->isEnabled(), qPrintable(box->objectName()));
        // Disabling reaches the group boxes and the import button, never the editor itself.
        QVERIFY(w.isEnabled());
        QVERIFY(!child<QPushButton>(w, "pushButtonImportFormat")->isEnabled());
        w.setEnabled(true);
        QVERIFY(child<QPushButton>(w, "pushButtonImportFormat")->isEnabled());
    }

    void changeSignal_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("emitted");
        QTest::newRow("name edited, then Return") << "name" << 1;
        QTest::newRow("check box toggled") << "toggle" << 1;
        QTest::newRow("encryption type chosen") << "combo" << 1;
        QTest::newRow("same encryption type again") << "comboSame" << 0;
        QTest::newRow("format set from code") << "set" << -1;
    }
    void changeSignal()
    {
        QFETCH(QString, action);
        QFETCH(int, emitted);
        GpsFormatWidget w;
        QSignalSpy spy(&w, &GpsFormatWidget::sigGpsFormatChanged);
        auto* combo = child<QComboBox>(w, "comboBoxGpsFormatsEncryptionType");
        if (action == "name") {
            QLineEdit* edit = child<QLineEdit>(w, "lineEditGpsFormatsName");
            QTest::keyClicks(edit, QStringLiteral("42"));
            QCOMPARE(spy.count(), 0); // typing alone writes nothing
            QTest::keyClick(edit, Qt::Key_Return);
        } else if (action == "toggle") {
            child<QCheckBox>(w, "checkBoxGpsFormatsGpsCheck")->click();
        } else if (action.startsWith("combo")) {
            combo->setCurrentIndex(action == "combo" ? 1 : 0);
        } else {
            w.setGpsFormat(fullFormat());
        }
        if (emitted >= 0)
            QCOMPARE(spy.count(), emitted);
        else
            QVERIFY(spy.count() > 0); // owners must block signals around setGpsFormat
    }
};

QTEST_MAIN(TstGpsFormatWidget)
#include "tst_gpsformatwidget.moc"
