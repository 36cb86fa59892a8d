#pragma once

#include <QObject>
#include <QString>

namespace Tarsk::Ui {

class MainWindow;

// About and About Qt entries of the main tool bar.
class Help : public QObject
{
    Q_OBJECT
public:
    Help(MainWindow* window, const QString& buildStamp, const QString& logo, const QString& appIcon);

    void setupUiToolbar();
    QString aboutText() const;

public Q_SLOTS:
    void slotAbout();
    void slotAboutQt();

private:
    MainWindow* window;
    QString buildStamp;
    QString logoPath;
    QString appIconPath;
};

} // namespace Tarsk::Ui
