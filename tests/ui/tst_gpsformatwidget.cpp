// GPS format editor: text conversions, round trip, reset, enabling and change signal.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>

#include "ui/GpsFormatWidget.h"

using Vantrel::Ui::GpsFormatWidget;
using Vantrel::Utils::GpsFormat;
using Vantrel::Utils::GpsFormat_t;

namespace {

GpsFormat_t fullFormat()
{
    GpsFormat_t f;
    f.name = QStringLiteral("Argos GPS 3");
    f.payloadLen = 248;
    f.lat = {1, 2, 3, 21, 1000, 60, -90000, 1, 7};
    f.lon = {24, 1, 25, 22, 2000, 120, -180000, 2, 8};
    f.encryptionType = GpsFormat::ENCRYPTIONTYPE_2;
    f.polynom = 0xA001;
    f.crcPos = 200;
    f.crcLen = 16;
    f.dataPos = 12;
    f.dataLen = 180;
    f.indexPos = 4;
    f.gpsCheck = true;
    f.description = QStringLiteral("not edited");
    return f;
}

// One lambda per field read back by getGpsFormat(), so rows can name the field.
using Reader = qint64 (*)(const GpsFormat_t&);

} // namespace

Q_DECLARE_METATYPE(Reader)

class TestGpsFormatWidget : public QObject
{
    Q_OBJECT

private:
    template <typename T>
    T* child(const GpsFormatWidget& w, const char* name)
    {
        T* c = w.findChild<T*>(QString::fromLatin1(name));
        if (!c)
            qFatal("missing child %s", name);
        return c;
    }

private Q_SLOTS:
    void encryptionItems()
    {
        GpsFormatWidget w;
        auto* combo = child<QComboBox>(w, "comboBoxGpsFormatsEncryptionType");
        QStringList items;
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        QCOMPARE(items, QStringList({"NONE", "1", "2"}));
    }

    void polynomShown_data()
    {
        QTest::addColumn<int>("polynom");
        QTest::addColumn<QString>("shown");
        QTest::newRow("padded to four digits") << 0x7 << "0007";
        QTest::newRow("upper case") << 0xa001 << "A001";
        QTest::newRow("ccitt") << 0x1021 << "1021";
        QTest::newRow("zero") << 0 << "0000";
    }
    void polynomShown()
    {
        QFETCH(int, polynom);
        QFETCH(QString, shown);
        GpsFormatWidget w;
        GpsFormat_t f;
        f.polynom = quint16(polynom);
        w.setGpsFormat(f);
        QCOMPARE(child<QLineEdit>(w, "lineEditGpsFormatsEncryptionPolynom")->text(), shown);
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
        const Reader payloadLen = [](const GpsFormat_t& f) -> qint64 { return f.payloadLen; };
        const Reader latW = [](const GpsFormat_t& f) -> qint64 { return f.lat.w; };
        const Reader lonV = [](const GpsFormat_t& f) -> qint64 { return f.lon.v; };

        const QString poly = QStringLiteral("lineEditGpsFormatsEncryptionPolynom");
        QTest::newRow("polynom only four characters read") << poly << "1a2b3" << polynom << qint64(0x1A2B);
        QTest::newRow("polynom not hex") << poly << "XYZ" << polynom << qint64(0);
        QTest::newRow("polynom invalid within four characters") << poly << "12zz" << polynom << qint64(0);
        QTest::newRow("polynom short") << poly << "7" << polynom << qint64(7);
        QTest::newRow("polynom empty") << poly << "" << polynom << qint64(0);
        QTest::newRow("data len empty means one")
            << "lineEditGpsFormatsEncryptionDataLen" << "" << dataLen << qint64(1);
        QTest::newRow("data len not a number") << "lineEditGpsFormatsEncryptionDataLen" << "abc" << dataLen
                                               << qint64(0);
        QTest::newRow("data len zero kept") << "lineEditGpsFormatsEncryptionDataLen" << "0" << dataLen << qint64(0);
        QTest::newRow("other field empty") << "lineEditGpsFormatsEncryptionCrcLen" << "" << crcLen << qint64(0);
        QTest::newRow("other field not a number") << "lineEditGpsFormatsPayloadLen" << "abc" << payloadLen
                                                  << qint64(0);
        QTest::newRow("hex is not decimal") << "lineEditGpsFormatsPayloadLen" << "0x10" << payloadLen << qint64(0);
        QTest::newRow("beyond 32 bits") << "lineEditGpsFormatsLatW" << "2147483648" << latW << qint64(0);
        QTest::newRow("largest 32-bit") << "lineEditGpsFormatsLatW" << "2147483647" << latW
                                        << qint64(2147483647);
        QTest::newRow("negative") << "lineEditGpsFormatsLongV" << "-180000" << lonV << qint64(-180000);
    }
    void fieldRead()
    {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(Reader, reader);
        QFETCH(qint64, expected);
        GpsFormatWidget w;
        w.setGpsFormat(fullFormat());
        child<QLineEdit>(w, field.toLatin1().constData())->setText(text);
        QCOMPARE(reader(w.getGpsFormat()), expected);
    }

    void roundTrip()
    {
        GpsFormatWidget w;
        const GpsFormat_t in = fullFormat();
        w.setGpsFormat(in);
        const GpsFormat_t out = w.getGpsFormat();

        QCOMPARE(out.name, in.name);
        QCOMPARE(out.payloadLen, in.payloadLen);
        for (const auto& [a, b] : {std::pair{in.lat, out.lat}, std::pair{in.lon, out.lon}}) {
            QCOMPARE(b.signPos, a.signPos);
            QCOMPARE(b.signLen, a.signLen);
            QCOMPARE(b.pos, a.pos);
            QCOMPARE(b.len, a.len);
            QCOMPARE(b.t, a.t);
            QCOMPARE(b.u, a.u);
            QCOMPARE(b.v, a.v);
            QCOMPARE(b.w, a.w);
            QCOMPARE(b.ty, a.ty);
        }
        QCOMPARE(out.encryptionType, in.encryptionType);
        QCOMPARE(out.polynom, in.polynom);
        QCOMPARE(out.crcPos, in.crcPos);
        QCOMPARE(out.crcLen, in.crcLen);
        QCOMPARE(out.dataPos, in.dataPos);
        QCOMPARE(out.dataLen, in.dataLen);
        QCOMPARE(out.indexPos, in.indexPos);
        QCOMPARE(out.gpsCheck, in.gpsCheck);
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
        QCOMPARE(child<QComboBox>(w, "comboBoxGpsFormatsEncryptionType")->currentIndex(), 0);
        const auto boxes = w.findChildren<QGroupBox*>();
        QCOMPARE(boxes.size(), 3);
        for (const QGroupBox* box : boxes)
            QVERIFY2(!box->isEnabled(), qPrintable(box->objectName()));
        // Reading back a cleared editor gives the defaults of a cleared slot.
        const GpsFormat_t f = w.getGpsFormat();
        QCOMPARE(f.dataLen, 1);
        QCOMPARE(f.polynom, quint16(0));
        QCOMPARE(f.encryptionType, GpsFormat::ENCRYPTIONTYPE_NONE);
    }

    void setEnabledOnlyGroupBoxes_data()
    {
        QTest::addColumn<bool>("enabled");
        QTest::newRow("disable") << false;
        QTest::newRow("enable") << true;
    }
    void setEnabledOnlyGroupBoxes()
    {
        QFETCH(bool, enabled);
        GpsFormatWidget w;
        w.setEnabled(!enabled);
        w.setEnabled(enabled);
        QVERIFY(w.isEnabled());
        for (const QGroupBox* box : w.findChildren<QGroupBox*>())
            QCOMPARE(box->isEnabled(), enabled);
        QCOMPARE(child<QPushButton>(w, "pushButtonImportFormat")->isEnabled(), enabled);
    }

    void changeSignal_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<int>("emitted");
        QTest::newRow("name edited") << "name" << 1;
        QTest::newRow("longitude TY edited") << "lonTY" << 1;
        QTest::newRow("data len edited") << "dataLen" << 1;
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
        const auto typeInto = [&](const char* name) {
            QLineEdit* edit = child<QLineEdit>(w, name);
            QTest::keyClicks(edit, QStringLiteral("42"));
            QCOMPARE(spy.count(), 0); // typing alone writes nothing
            QTest::keyClick(edit, Qt::Key_Return);
        };
        if (action == "name")
            typeInto("lineEditGpsFormatsName");
        else if (action == "lonTY")
            typeInto("lineEditGpsFormatsLongTY");
        else if (action == "dataLen")
            typeInto("lineEditGpsFormatsEncryptionDataLen");
        else if (action == "toggle")
            child<QCheckBox>(w, "checkBoxGpsFormatsGpsCheck")->click();
        else if (action == "combo")
            child<QComboBox>(w, "comboBoxGpsFormatsEncryptionType")->setCurrentIndex(1);
        else if (action == "comboSame")
            child<QComboBox>(w, "comboBoxGpsFormatsEncryptionType")->setCurrentIndex(0);
        else if (action == "set")
            w.setGpsFormat(fullFormat());

        if (emitted >= 0)
            QCOMPARE(spy.count(), emitted);
        else
            QVERIFY(spy.count() > 0); // owners must block signals around setGpsFormat
    }
};

QTEST_MAIN(TestGpsFormatWidget)
#include "tst_gpsformatwidget.moc"
