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

// Rows name the field read back by getGpsFormat().
using Reader = qint64 (*)(const GpsFormat_t&);

template <typename T>
T* child(const GpsFormatWidget& w, const QString& name)
{
    T* c = w.findChild<T*>(name);
    if (!c)
        qFatal("missing child %s", qPrintable(name));
    return c;
}

} // namespace

Q_DECLARE_METATYPE(Reader)

class TestGpsFormatWidget : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

QTEST_MAIN(TestGpsFormatWidget)
#include "tst_gpsformatwidget.moc"
