// Main window form: the names, texts and settings the window code relies on and that are easy to "fix" by mistake.
#include <QtTest>

#include <QAbstractButton>
#include <QMainWindow>
#include <QTabWidget>

#include "ui_UiMainWindow.h"

class TestUiMainWindow : public QObject
{
    Q_OBJECT

    QMainWindow window;
    Vantrel::Ui_UiMainWindow form;

private Q_SLOTS:
    void initTestCase() { form.setupUi(&window); }

    void tabPages()
    {
        // The window code finds pages by these names, misspelling included; tst_mainwindow checks the titles.
        const QStringList pages = {"tabConfiguration", "tabPlatorms", "tabFormats",
                                   "tabRx",            "tabTerminal", "tabSettings"};
        QStringList seen;
        for (int i = 0; i < form.tabWidget->count(); ++i)
            seen << form.tabWidget->widget(i)->objectName();
        QCOMPARE(seen, pages);
    }

    void iconsResolve()
    {
        // A mistyped resource path still gives a non-null icon, but one that draws nothing.
        QVERIFY(!window.windowIcon().pixmap(32).isNull());
        int icons = 0;
        for (const QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
            if (button->icon().isNull())
                continue;
            ++icons;
            QVERIFY2(!button->icon().pixmap(16).isNull(), qPrintable(button->objectName()));
        }
        QVERIFY(icons >= 21);
    }

    void properties_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("property"); // "class" stands for the widget's class name
        QTest::addColumn<QVariant>("value");
        QTest::newRow("misspelled coordinates label")
            << "label_4" << QByteArray("text") << QVariant("Corrdinates type");
        QTest::newRow("gps mode with two blanks")
            << "checkBoxGpsModeEnabled" << QByteArray("text") << QVariant("GPS mode  enabled");
        QTest::newRow("narrow frequency initial value")
            << "doubleSpinBoxPlatformsNarrowFrequency" << QByteArray("text") << QVariant("401.650 MHz");
        QTest::newRow("contrast slider without tracking")
            << "horizontalSliderSetupSoftwareConstrast" << QByteArray("tracking") << QVariant(false);
        QTest::newRow("formats tab opens first") << "tabWidget" << QByteArray("currentIndex") << QVariant(2);
        QTest::newRow("date-time editor class")
            << "widgetSoftwareSetupDateTime" << QByteArray("class") << QVariant("Tarsk::Ui::DateTimeWidget");
        QTest::newRow("platform format editor class")
            << "widgetGpsFormatPlatform" << QByteArray("class") << QVariant("Vantrel::Ui::GpsFormatWidget");
        QTest::newRow("bank format editor class")
            << "widgetGpsFormatTab" << QByteArray("class") << QVariant("Vantrel::Ui::GpsFormatWidget");
    }
    void properties()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, property);
        QFETCH(QVariant, value);
        const QWidget* w = window.findChild<QWidget*>(name);
        QVERIFY2(w, qPrintable(name));
        const QVariant actual =
            property == "class" ? QVariant(QString::fromLatin1(w->metaObject()->className())) : w->property(property);
        QCOMPARE(actual, value);
    }
};

QTEST_MAIN(TestUiMainWindow)
#include "tst_uimainwindow.moc"
