#include "ui/Dialogs.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>

namespace Vantrel::Ui {

Dialogs::Responder& Dialogs::responder()
{
    static Responder current;
    return current;
}

QString& Dialogs::lastDirectory()
{
    static QString last;
    return last;
}

QString Dialogs::startDirectory(const QString& directory)
{
    if (!directory.isEmpty() && QFileInfo(directory).isDir()) {
        return directory;
    }
    return lastDirectory();
}

QString Dialogs::remember(const QString& chosen)
{
    if (!chosen.isEmpty()) {
        lastDirectory() = QFileInfo(chosen).absolutePath();
    }
    return chosen;
}

void Dialogs::setResponder(Responder newResponder)
{
    responder() = std::move(newResponder);
}

bool Dialogs::askYesNo(QWidget* parent, const QString& title, const QString& text)
{
    if (responder()) {
        return responder()({Request_t::QUESTION, title, text, {"Yes", "No"}, 1, {}, {}, {}}).toInt() == 0;
    }
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

int Dialogs::askChoice(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
                       int defaultButton, int escapeButton)
{
    if (responder()) {
        return responder()({Request_t::QUESTION, title, text, buttons, defaultButton, {}, {}, {}}).toInt();
    }

    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QList<QPushButton*> pushButtons;
    for (const QString& label : buttons) {
        pushButtons.append(box.addButton(label, QMessageBox::ActionRole));
    }
    if (defaultButton >= 0 && defaultButton < pushButtons.size()) {
        box.setDefaultButton(pushButtons.at(defaultButton));
    }
    if (escapeButton >= 0 && escapeButton < pushButtons.size()) {
        box.setEscapeButton(pushButtons.at(escapeButton));
    }
    box.exec();
    return int(pushButtons.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
}

QString Dialogs::openFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& directory)
{
    const QString start = startDirectory(directory);
    if (responder()) {
        return remember(responder()({Request_t::OPEN_FILE, caption, {}, {}, -1, filter, start, {}}).toString());
    }
    return remember(QFileDialog::getOpenFileName(parent, caption, start, filter));
}

QString Dialogs::saveFileName(QWidget* parent, const QString& caption, const QString& filter, const QString& directory,
                              const QString& defaultSuffix, const QString& offeredName)
{
    const QString start = startDirectory(directory);
    const QString startPath = start.isEmpty() ? offeredName : QDir(start).filePath(offeredName);
    QString chosen = responder()
        ? responder()({Request_t::SAVE_FILE, caption, {}, {}, -1, filter, start, offeredName}).toString()
        : QFileDialog::getSaveFileName(parent, caption, startPath, filter);
    if (!chosen.isEmpty() && !defaultSuffix.isEmpty() && QFileInfo(chosen).suffix().isEmpty()) {
        chosen += QLatin1Char('.') + defaultSuffix;
    }
    return remember(chosen);
}

} // namespace Vantrel::Ui
