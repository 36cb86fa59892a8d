// Main window form: the names, texts, ranges and widget settings that the window code relies on.
#include <QtTest>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QPushButton>
#include <QSlider>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QToolBar>
#include <QTranslator>

#include "ui_UiMainWindow.h"

namespace {

// Marks every text looked up in the form's translation context.
class MarkingTranslator : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (qstrcmp(context, "Vantrel::UiMainWindow") != 0)
            return {};
        return QStringLiteral("<%1>").arg(QString::fromUtf8(sourceText));
    }
};

} // namespace

class TestUiMainWindow : public QObject
{
    Q_OBJECT

    QMainWindow window;
    Vantrel::Ui_UiMainWindow form;

    template <typename T>
    T* find(const QString& name)
    {
        T* w = window.findChild<T*>(name);
        if (!w)
            qFatal("no %s named %s", T::staticMetaObject.className(), qPrintable(name));
        return w;
    }

private Q_SLOTS:
    void initTestCase() { form.setupUi(&window); }

    void frame()
    {
        QCOMPARE(window.objectName(), QStringLiteral("Vantrel__UiMainWindow"));
        QCOMPARE(window.size(), QSize(1185, 646));
        QCOMPARE(window.windowTitle(), QStringLiteral("Vantrel"));
        QVERIFY(!window.windowIcon().pixmap(32).isNull());
        QCOMPARE(window.centralWidget(), form.centralWidget);

        QCOMPARE(form.splitter->orientation(), Qt::Horizontal);
        QCOMPARE(form.splitter->count(), 1);
        QCOMPARE(form.splitter->widget(0), form.tabWidget);
        QCOMPARE(form.tabWidget->minimumWidth(), 800);

        QToolBar* bar = form.mainToolBar_;
        QCOMPARE(window.toolBarArea(bar), Qt::TopToolBarArea);
        QCOMPARE(bar->windowTitle(), QStringLiteral("toolBar"));
        QVERIFY(!bar->isMovable());
        QVERIFY(!bar->isFloatable());
        QCOMPARE(bar->toolButtonStyle(), Qt::ToolButtonTextBesideIcon);
    }

    void tabs()
    {
        const QStringList pages = {"tabConfiguration", "tabPlatorms", "tabFormats",
                                   "tabRx", "tabTerminal", "tabSettings"};
        const QStringList titles = {"Configuration", "Favorite platforms", "DFR Formats Bank",
                                    "Messages", "Terminal", "Settings"};
        QCOMPARE(form.tabWidget->count(), pages.size());
        for (int i = 0; i < pages.size(); ++i) {
            QCOMPARE(form.tabWidget->widget(i)->objectName(), pages.at(i));
            QCOMPARE(form.tabWidget->tabText(i), titles.at(i));
        }
        QCOMPARE(form.tabWidget->currentIndex(), 2);
    }

    void texts_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::newRow("misspelled coordinates label") << "label_4" << "Corrdinates type";
        QTest::newRow("gps mode with two blanks") << "checkBoxGpsModeEnabled" << "GPS mode  enabled";
        QTest::newRow("clear filter cross") << "pushButtonRxClearFilter" << QString(QChar(0x2715));
        QTest::newRow("status refresh has no text") << "pushButtonStatusRefresh" << "";
        QTest::newRow("platforms reload has no text") << "pushButtonPlatformsUpdate" << "";
        QTest::newRow("npr format label") << "labelNprFormat" << "NPR Messages Format:";
        QTest::newRow("firmware update") << "pushButtonFirmwareUpdate" << "Update firmware...";
    }
    void texts()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        QWidget* w = find<QWidget>(name);
        QCOMPARE(w->property("text").toString(), text);
    }

    void checkedAtStart_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("checked");
        QTest::newRow("platforms hide empty slots") << "checkBoxHideEmptySlots" << true;
        QTest::newRow("formats hide empty slots") << "checkBoxGpsFormatsHideEmptySlots" << false;
    }
    void checkedAtStart()
    {
        QFETCH(QString, name);
        QFETCH(bool, checked);
        QCOMPARE(find<QCheckBox>(name)->isChecked(), checked);
    }

    void spinBoxes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("minimum");
        QTest::addColumn<int>("maximum");
        QTest::addColumn<QString>("suffix");
        QTest::newRow("angle offset") << "spinBoxSetupSoftwareDirectionOffset" << 0 << 360 << " degrees";
        QTest::newRow("cable length") << "spinBoxHardwareCableLength" << 0 << 99 << "";
        QTest::newRow("repetition period") << "spinBoxPlatformsRepetitionPeriod" << 0 << 32766 << " s";
        QTest::newRow("mean direction values") << "spinBoxPlatformsMeanDirectionValue" << 2 << 32 << "";
        QTest::newRow("command timeout") << "spinBoxDfrCommandTimeout" << 1000 << 300000 << " ms";
        QTest::newRow("keep-alive timeout") << "spinBoxKeepAliveTimeout" << 100 << 10000 << " ms";
        QTest::newRow("keep-alive period") << "spinBoxKeepAlivePeriod" << 500 << 30000 << " ms";
    }
    void spinBoxes()
    {
        QFETCH(QString, name);
        QFETCH(int, minimum);
        QFETCH(int, maximum);
        QFETCH(QString, suffix);
        const QSpinBox* box = find<QSpinBox>(name);
        QCOMPARE(box->minimum(), minimum);
        QCOMPARE(box->maximum(), maximum);
        QCOMPARE(box->suffix(), suffix);
    }

    void narrowFrequency()
    {
        const QDoubleSpinBox* box = form.doubleSpinBoxPlatformsNarrowFrequency;
        QCOMPARE(box->text(), QStringLiteral("401.650 MHz"));
        QCOMPARE(box->minimum(), 0.0);
        QCOMPARE(box->maximum(), 1000.0);
        QCOMPARE(box->singleStep(), 0.01);
    }

    void contrastSlider()
    {
        QSlider* slider = form.horizontalSliderSetupSoftwareConstrast;
        QCOMPARE(slider->orientation(), Qt::Horizontal);
        QCOMPARE(slider->minimum(), 0);
        QCOMPARE(slider->maximum(), 40);
        QVERIFY(!slider->hasTracking());
        // Without tracking, dragging moves the handle but reports the value once, on release.
        QSignalSpy changed(slider, &QSlider::valueChanged);
        slider->setSliderDown(true);
        slider->setSliderPosition(10);
        slider->setSliderPosition(20);
        QCOMPARE(changed.count(), 0);
        slider->setSliderDown(false);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(slider->value(), 20);
    }

    void chargeStartsAt24() { QCOMPARE(form.progressBarCharge->value(), 24); }

    void versionFields_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("readOnly");
        QTest::newRow("connection") << "lineEditVersionsStatus" << true;
        QTest::newRow("serial number stays writable") << "lineEditStatusSerial" << false;
        QTest::newRow("application version") << "lineEditVersionsApplicationVersion" << true;
        QTest::newRow("fpga version") << "lineEditVersionsFpgaVersion" << true;
        QTest::newRow("platform index") << "lineEditPlatformsIndex" << true;
        QTest::newRow("gps format index") << "lineEditGpsFormatsIndex" << true;
    }
    void versionFields()
    {
        QFETCH(QString, name);
        QFETCH(bool, readOnly);
        const QLineEdit* edit = find<QLineEdit>(name);
        QVERIFY(!edit->isEnabled());
        QCOMPARE(edit->isReadOnly(), readOnly);
    }

    void tables_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("selectionMode");
        QTest::addColumn<bool>("verticalHeader");
        QTest::addColumn<int>("minimumWidth");
        QTest::newRow("messages") << "tableWidgetRx" << int(QAbstractItemView::ExtendedSelection) << true << 0;
        QTest::newRow("platforms") << "tableWidgetPlatforms" << int(QAbstractItemView::SingleSelection) << false
                                   << 400;
        QTest::newRow("gps formats") << "tableWidgetGpsFormats" << int(QAbstractItemView::SingleSelection)
                                     << false << 300;
    }
    void tables()
    {
        QFETCH(QString, name);
        QFETCH(int, selectionMode);
        QFETCH(bool, verticalHeader);
        QFETCH(int, minimumWidth);
        const QTableWidget* table = find<QTableWidget>(name);
        QCOMPARE(table->editTriggers(), QAbstractItemView::NoEditTriggers);
        QCOMPARE(int(table->selectionMode()), selectionMode);
        QCOMPARE(table->selectionBehavior(), QAbstractItemView::SelectRows);
        QVERIFY(table->isSortingEnabled());
        QVERIFY(table->horizontalHeader()->isSortIndicatorShown());
        QCOMPARE(table->verticalHeader()->isVisibleTo(table), verticalHeader);
        QCOMPARE(table->minimumWidth(), minimumWidth);
        // The window code creates the columns; any from the form would come on top.
        QCOMPARE(table->columnCount(), 0);
    }

    void loggerTableInTerminalTab()
    {
        QVERIFY(form.tabTerminal->isAncestorOf(form.tableWidgetLogger));
    }

    void comboBoxesStartEmpty()
    {
        for (const QComboBox* box : window.findChildren<QComboBox*>()) {
            // The GPS format editors fill their own encryption type box.
            if (box->objectName() == QLatin1String("comboBoxGpsFormatsEncryptionType"))
                continue;
            QVERIFY2(box->count() == 0, qPrintable(box->objectName()));
        }
    }

    void customWidgets_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("page");
        QTest::newRow("date-time editor") << "widgetSoftwareSetupDateTime" << "Tarsk::Ui::DateTimeWidget"
                                          << "tabConfiguration";
        QTest::newRow("platform format") << "widgetGpsFormatPlatform" << "Vantrel::Ui::GpsFormatWidget"
                                         << "tabPlatorms";
        QTest::newRow("bank format") << "widgetGpsFormatTab" << "Vantrel::Ui::GpsFormatWidget" << "tabFormats";
    }
    void customWidgets()
    {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, page);
        const QWidget* w = find<QWidget>(name);
        QCOMPARE(QString::fromLatin1(w->metaObject()->className()), className);
        QVERIFY(find<QWidget>(page)->isAncestorOf(w));
    }

    void icons_data()
    {
        QTest::addColumn<QString>("name");
        const QStringList buttons = {
            "pushButtonStatusRefresh", "pushButtonPlatformsUpdate", "pushButtonPlatformsDeleteAll",
            "pushButtonNewFavorite", "pushButtonPlatformsImport", "pushButtonPlatformsExport",
            "pushButtonPlatformsCreate", "pushButtonPlatformsDelete", "pushButtonGpsFormatsReload",
            "pushButtonGpsFormatsDeleteAll", "pushButtonGpsFormatsCreate", "pushButtonGpsFormatsDelete",
            "pushButtonRxClearSelection", "pushButtonRxClearTable", "pushButtonRxExportCSV",
            "pushButtonRxFlashRead", "pushButtonRxFlashErase", "pushButtonTerminalSend",
            "pushButtonTerminalSaveScript", "pushButtonTerminalScript", "pushButtonTerminalReloadGui"};
        for (const QString& b : buttons)
            QTest::newRow(qPrintable(b)) << b;
    }
    void icons()
    {
        QFETCH(QString, name);
        // A mistyped resource path gives an icon that silently draws nothing.
        QVERIFY(!find<QPushButton>(name)->icon().pixmap(16).isNull());
    }

    void translationContext()
    {
        QMainWindow other;
        Vantrel::Ui_UiMainWindow otherForm;
        otherForm.setupUi(&other);
        MarkingTranslator translator;
        QVERIFY(QCoreApplication::installTranslator(&translator));
        otherForm.retranslateUi(&other);
        QCoreApplication::removeTranslator(&translator);

        QCOMPARE(other.windowTitle(), QStringLiteral("<Vantrel>"));
        QCOMPARE(otherForm.label_4->text(), QStringLiteral("<Corrdinates type>"));
        QCOMPARE(otherForm.tabWidget->tabText(1), QStringLiteral("<Favorite platforms>"));
        QCOMPARE(otherForm.lineEditRxFilter->placeholderText(), QStringLiteral("<ID Filter>"));
        QCOMPARE(otherForm.spinBoxKeepAlivePeriod->suffix(), QStringLiteral("< ms>"));
        QCOMPARE(otherForm.pushButtonRxFlashErase->toolTip(), QStringLiteral("<Erase flash memory>"));
    }
};

QTEST_MAIN(TestUiMainWindow)
#include "tst_uimainwindow.moc"
