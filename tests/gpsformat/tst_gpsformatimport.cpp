// GPS format editor import menu: the three catalogue submenus, their entries, importing and dismissing.
#include <QtTest>

#include <QMenu>
#include <QPushButton>

#include <functional>

#include "ui/GpsFormatWidget.h"

using Vantrel::Ui::GpsFormatWidget;
using Vantrel::Utils::GpsFormat;
using Vantrel::Utils::GpsFormat_t;

namespace {

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

const QStringList titles{"From file Data/format.kvl", "From DFR formats bank", "From favorite platforms"};

// The offscreen platform complains about every popup it cannot raise or grab for;
// that is the test bed talking, not the editor. Everything else reaches QtTest.
QtMessageHandler testHandler = nullptr;
void dropPlatformNoise(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.startsWith(QLatin1String("This plugin does not support ")))
        testHandler(type, context, message);
}

} // namespace

class TestGpsFormatImport : public QObject
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
        const QStringList file{
            "[0] SM20 : Generic - Sign-magnitude 20/21 bit (1e-4 degree)",
            "[1] SM20-CRC : Generic - Sign-magnitude 20/21 bit (CRC-16 checked)",
            "[2] WRAP24 : Generic - Wrapped 24/25 bit (1e-3 arc-minute)",
            "[3] WRAP24-IDX : Generic - Wrapped 24/25 bit (GPS index at bit 49)",
            "[4] SM17-MIN : Compact - Sign-magnitude 16/17 bit (1/10 arc-minute)",
            "[5] OFFSET20 : Scaled - Offset binary 20/21 bit (full range)",
        };
        QTest::newRow("all three origins")
            << false << QList<QStringList>{file, {"[1] Bank1", "[4] Bank4"}, {"[2] Fav2 : Fav - two (x)"}};
        QTest::newRow("empty origins keep their submenu") << true << QList<QStringList>{file, {}, {}};
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
        QStringList seenTitles;
        QList<QStringList> seenEntries;
        QPoint seenPos;
        withMenu(w, [&](QMenu* menu) {
            seenPos = menu->pos();
            for (QAction* action : menu->actions()) {
                seenTitles << (action->menu() ? action->menu()->title() : QStringLiteral("<not a submenu>"));
                QStringList texts;
                if (action->menu())
                    for (const QAction* entry : action->menu()->actions())
                        texts << entry->text();
                seenEntries << texts;
            }
        });
        QCOMPARE(seenTitles, titles);
        QCOMPARE(seenEntries, entries);
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
    }
    void choosingImports()
    {
        QFETCH(int, sub);
        QFETCH(int, entry);
        QFETCH(int, origin);
        QFETCH(int, index);
        GpsFormat* catalog = GpsFormat::instance();
        const GpsFormat_t expected = catalog->getAvailableFormats().value({GpsFormat::Origin_t(origin), index});
        GpsFormatWidget w;
        QSignalSpy changed(&w, &GpsFormatWidget::sigGpsFormatChanged);
        withMenu(w, [&](QMenu* menu) {
            // The entry carries the format as it was when the menu opened.
            catalog->addGpsFormat(GpsFormat::Origin_t(origin), index, named("Replaced", "", 99));
            choose(menu, sub, entry);
        });
        QCOMPARE(changed.count(), 1);
        const GpsFormat_t shown = w.getGpsFormat();
        QCOMPARE(shown.name, expected.name);
        QVERIFY(GpsFormat::compare(shown, expected));
    }

    void escapeChangesNothing()
    {
        GpsFormatWidget w;
        const GpsFormat_t before = named("Before", "", 33);
        w.setGpsFormat(before);
        QSignalSpy changed(&w, &GpsFormatWidget::sigGpsFormatChanged);
        withMenu(w, [&](QMenu* menu) {
            QTest::keyClick(menu, Qt::Key_Escape);
            QVERIFY(!menu->isVisible());
        });
        QCOMPARE(changed.count(), 0);
        QVERIFY(GpsFormat::compare(w.getGpsFormat(), before));
    }
};

QTEST_MAIN(TestGpsFormatImport)
#include "tst_gpsformatimport.moc"
