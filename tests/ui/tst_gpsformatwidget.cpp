// GPS format editor: text conversions, round trip, reset, enabling, change signal and the import menu.
#include <QtTest>
#include <QtWidgets>

#include <functional>

#include "ui/GpsFormatWidget.h"

using Vantrel::Ui::GpsFormatWidget;
using Vantrel::Utils::GpsFormat;
using Vantrel::Utils::GpsFormat_t;

namespace {

GpsFormat_t fullFormat()
{
    GpsFormat_t f;
    f.name = QStringLiteral("Orvan GPS 3"), f.description = QStringLiteral("not edited"), f.payloadLen = 248;
    f.lat = {1, 2, 3, 21, 1000, 60, -90000, 1, 7};
    f.lon = {24, 1, 25, 22, 2000, 120, -180000, 2, 8};
    f.encryptionType = GpsFormat::ENCRYPTIONTYPE_2;
    f.polynom = 0x00A1;  // shows padding and upper case
    f.crcPos = 200, f.crcLen = 16, f.dataPos = 12, f.dataLen = 180, f.indexPos = 4, f.gpsCheck = true;
    return f;
}

GpsFormat_t named(const QString& name, const QString& description, int payloadLen)
{
    GpsFormat_t f;
    f.name = name, f.description = description, f.payloadLen = payloadLen, f.dataLen = 1;
    f.lat = {0, 1, 1, 20, 6, 1, 0, 1, 0};
    return f;
}

} // namespace

class TstGpsFormatWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        GpsFormat* catalog = GpsFormat::instance();
        catalog->resetCatalog();
        catalog->addGpsFormat(GpsFormat::ORIGIN_DFR, 4, named("Bank4", "not shown", 40));
        catalog->addGpsFormat(GpsFormat::ORIGIN_DFR, 1, named("Bank1", "", 10));
        catalog->addGpsFormat(GpsFormat::ORIGIN_PLATFORM, 2, named("Fav2", "Fav - two (x)", 20));
    }

    // The menu lists every origin under the button; the entry carries the format as it was when the menu opened.
    void importMenu_data()
    {
        QTest::addColumn<int>("sub");  // -1: Escape
        QTest::addColumn<int>("entry");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");  // name/payload length
        QTest::newRow("from the bank, in index order") << 1 << 1 << "[4] Bank4" << "Bank4/40";
        QTest::newRow("from a favourite") << 2 << 0 << "[2] Fav2 : Fav - two (x)" << "Fav2/20";
        QTest::newRow("Escape changes nothing") << -1 << 0 << "" << "Before/33";
    }

    void importMenu()
    {
        QFETCH(int, sub);
        QFETCH(int, entry);
        GpsFormatWidget w;
        w.setGpsFormat(named("Before", "", 33));
        // Shown, since a native window system places a hidden widget's popup where it likes.
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        auto* button = w.findChild<QPushButton*>("pushButtonImportFormat");
        // As a user's click leaves it: the editors have had their say before the menu opens.
        button->setFocus();
        QSignalSpy changed(&w, &GpsFormatWidget::sigGpsFormatChanged);
        QList<int> sizes;
        QString chosenText;
        QPoint menuAt, buttonAt;
        // Closed whatever happens, so that a failing check cannot leave exec() waiting.
        QTimer::singleShot(0, this, [&] {
            if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget())) {
                buttonAt = button->mapToGlobal(button->rect().bottomLeft());
                // A native window system may report where the popup went a moment later.
                (void)QTest::qWaitFor([&] { return menu->pos() == buttonAt; }, 2000);
                menuAt = menu->pos();
                for (QAction* action : menu->actions())
                    sizes.append(action->menu() ? int(action->menu()->actions().size()) : -1);
                GpsFormat::instance()->clearGpsFormats(GpsFormat::ORIGIN_DFR);
                GpsFormat::instance()->clearGpsFormats(GpsFormat::ORIGIN_PLATFORM);
                // Chosen the way a user does, so that exec() returns the entry.
                menu->setActiveAction(menu->actions().value(sub));
                QTest::keyClick(menu, sub < 0 ? Qt::Key_Escape : Qt::Key_Right);
                auto* submenu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                if (submenu && submenu != menu) {
                    submenu->setActiveAction(submenu->actions().value(entry));
                    chosenText = submenu->activeAction()->text();
                    QTest::keyClick(submenu, Qt::Key_Return);
                }
            }
            while (QWidget* popup = QApplication::activePopupWidget())
                popup->close();
        });
        button->click();
        // The file's entries come from the shipped catalogue, the others from what the test put in.
        QCOMPARE(sizes, (QList<int>{6, 2, 1}));
        QCOMPARE(menuAt, buttonAt);
        QTEST(chosenText, "text");
        QCOMPARE(changed.count(), sub < 0 ? 0 : 1);
        QTEST(w.getGpsFormat().name + "/" + QString::number(w.getGpsFormat().payloadLen), "shown");
    }

    // What the editor reads from a typed text, shown back as it is kept.
    void fieldRead_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("read");
        const QString poly = QStringLiteral("lineEditGpsFormatsEncryptionPolynom");
        const QString len = QStringLiteral("lineEditGpsFormatsEncryptionDataLen");
        QTest::newRow("polynom only four characters read") << poly << "1a2b3" << "1A2B";
        QTest::newRow("polynom not hex") << poly << "XYZ" << "0000";
        QTest::newRow("data len empty means one") << len << "" << "1";
        QTest::newRow("data len zero kept") << len << "0" << "0";
        QTest::newRow("other field empty") << "lineEditGpsFormatsEncryptionCrcLen" << "" << "0";
        QTest::newRow("beyond 32 bits") << "lineEditGpsFormatsLatW" << "2147483648" << "0";
        QTest::newRow("negative") << "lineEditGpsFormatsLongV" << "-7" << "-7";
    }

    void fieldRead()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        GpsFormatWidget w;
        w.setGpsFormat(fullFormat());
        auto* edit = w.findChild<QLineEdit*>(field);
        edit->setText(text);
        w.setGpsFormat(w.getGpsFormat());
        QTEST(edit->text(), "read");
    }

    void roundTripAndReset()
    {
        GpsFormatWidget w;
        w.setGpsFormat(fullFormat());
        QCOMPARE(w.findChild<QLineEdit*>("lineEditGpsFormatsEncryptionPolynom")->text(), QStringLiteral("00A1"));
        const GpsFormat_t out = w.getGpsFormat();
        QVERIFY(GpsFormat::compare(out, fullFormat()));  // every field but the description
        QVERIFY(out.description.isEmpty());
        // A stored type the box has no item for stays until another one is chosen.
        GpsFormat_t odd = fullFormat();
        odd.encryptionType = GpsFormat::EncryptionType_t(7);
        w.setGpsFormat(odd);
        QCOMPARE(int(w.getGpsFormat().encryptionType), 7);
        w.findChild<QComboBox*>("comboBoxGpsFormatsEncryptionType")->setCurrentIndex(1);
        QCOMPARE(int(w.getGpsFormat().encryptionType), 1);

        w.reinitGUI();
        for (const QLineEdit* edit : w.findChildren<QLineEdit*>())
            QVERIFY2(edit->text().isEmpty(), qPrintable(edit->objectName()));
        QVERIFY(!w.findChild<QCheckBox*>("checkBoxGpsFormatsGpsCheck")->isChecked());
        QCOMPARE(w.findChild<QComboBox*>("comboBoxGpsFormatsEncryptionType")->currentText(), QStringLiteral("NONE"));
        for (const QGroupBox* box : w.findChildren<QGroupBox*>())
            QVERIFY2(!box->isEnabled(), qPrintable(box->objectName()));
        // Disabling reaches the group boxes and the import button, never the editor itself.
        QVERIFY(w.isEnabled());
        QVERIFY(!w.findChild<QPushButton*>("pushButtonImportFormat")->isEnabled());
        w.setEnabled(true);
        QVERIFY(w.findChild<QPushButton*>("pushButtonImportFormat")->isEnabled());
    }

    // The line edits write on Return (proven with the slot tabs); the other controls on each change.
    void changeSignal()
    {
        GpsFormatWidget w;
        QSignalSpy spy(&w, &GpsFormatWidget::sigGpsFormatChanged);
        w.findChild<QCheckBox*>("checkBoxGpsFormatsGpsCheck")->click();
        QCOMPARE(spy.count(), 1);
        w.findChild<QComboBox*>("comboBoxGpsFormatsEncryptionType")->setCurrentIndex(1);
        QCOMPARE(spy.count(), 2);
    }
};

QTEST_MAIN(TstGpsFormatWidget)
#include "tst_gpsformatwidget.moc"
