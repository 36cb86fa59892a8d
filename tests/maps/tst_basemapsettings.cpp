// The base maps chosen in the Settings tab: a file that fails is said in the status bar and
// marked in the list, and what the user removes is stored at once and leaves the map.
#include <QtWidgets>

#include "maps/BaseMap.h"
#include "tests/common/TestSupport.h"
#include "tests/ui/WindowTestMain.h"

class TstBaseMapSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void failedFilesSaidAndRemoved()
    {
        const QDir root(QCoreApplication::applicationDirPath() + QStringLiteral("/.."));
        const QString missing = root.absoluteFilePath(QStringLiteral("none.mbtiles"));
        const QString garbage = root.absoluteFilePath(QStringLiteral("garbage.mbtiles"));
        QVERIFY(TestSupport::writeFile(garbage, QString(3000, QLatin1Char('#'))));
        QVERIFY(TestSupport::writeSettings(60000, 500, 1000,
                                           QStringLiteral("[Maps]\nfiles=%1, %2\n").arg(missing, garbage)));
        QScopedPointer<Vantrel::Ui::MainWindow> window(WindowTest::openWindow());
        auto* list = window->findChild<QListWidget*>(QStringLiteral("listWidgetBaseMaps"));
        QVERIFY(list);
        QCOMPARE(list->count(), 2);
        const auto* status = window->findChild<QToolButton*>(QStringLiteral("statusBarMessage"));
        QTRY_VERIFY(status->text().contains(garbage) && status->text().contains(QStringLiteral("is no tile file")));
        for (int row = 0; row < 2; ++row) {
            QVERIFY(!list->item(row)->icon().isNull());
            QVERIFY(list->item(row)->toolTip().contains(row == 0 ? QStringLiteral("no such file")
                                                                 : QStringLiteral("is no tile file")));
        }
        list->item(0)->setSelected(true);
        window->findChild<QPushButton*>(QStringLiteral("pushButtonRemoveBaseMap"))->click();
        QCOMPARE(QSettings(TestSupport::settingsPath(), QSettings::IniFormat).value("Maps/files").toStringList(),
                 QStringList{garbage});
        QCOMPARE(window->findChild<Vantrel::Maps::BaseMap*>()->files(), QStringList{garbage});
        QVERIFY(QFile::exists(garbage));
    }
};

VANTREL_WINDOW_TEST_MAIN(TstBaseMapSettings)
#include "tst_basemapsettings.moc"
