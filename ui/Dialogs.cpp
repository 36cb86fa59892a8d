#include "ui/Dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace Vantrel::Ui {

Dialogs::Responder& Dialogs::responder()
{
    static Responder current;
    return current;
}

void Dialogs::setResponder(Responder newResponder)
{
    responder() = std::move(newResponder);
}

bool Dialogs::askYesNo(QWidget* parent, const QString& title, const QString& text)
{
    if (responder())
        return responder()({Request_t::QUESTION, title, text, {"Yes", "No"}, 1, {}}).toInt() == 0;
    return QMessageBox::question(parent, title, text, QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
           QMessageBox::Yes;
}

int Dialogs::askChoice(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
                       int defaultButton)
{
    if (responder())
        return responder()({Request_t::QUESTION, title, text, buttons, defaultButton, {}}).toInt();

    QMessageBox box(QMessageBox::Question, title, text, QMessageBox::NoButton, parent);
    QList<QPushButton*> pushButtons;
    for (const QString& label : buttons)
        pushButtons.append(box.addButton(label, QMessageBox::ActionRole));
    if (defaultButton >= 0 && defaultButton < pushButtons.size())
        box.setDefaultButton(pushButtons.at(defaultButton));
    box.exec();
    return int(pushButtons.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
}

QString Dialogs::openFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    if (responder())
        return responder()({Request_t::OPEN_FILE, caption, {}, {}, -1, filter}).toString();
    return QFileDialog::getOpenFileName(parent, caption, QString(), filter);
}

QString Dialogs::saveFileName(QWidget* parent, const QString& caption, const QString& filter)
{
    if (responder())
        return responder()({Request_t::SAVE_FILE, caption, {}, {}, -1, filter}).toString();
    return QFileDialog::getSaveFileName(parent, caption, QString(), filter);
}

} // namespace Vantrel::Ui
