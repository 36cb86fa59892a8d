#pragma once

#include <QString>
#include <QStringList>
#include <QVariant>
#include <functional>

class QWidget;

namespace Vantrel::Ui {

// Every modal question and file dialog of the window goes through here, so that
// tests can answer them instead of a user.
class Dialogs
{
public:
    struct Request_t
    {
        enum Kind_t { QUESTION, OPEN_FILE, SAVE_FILE };
        Kind_t kind = QUESTION;
        QString title;
        QString text;         // question text, empty for file dialogs
        QStringList buttons;  // question buttons, in order
        int defaultButton = -1;
        QString filter;       // file dialogs
    };
    // A question's answer is the chosen button's index (-1: closed), a file
    // dialog's the chosen path (empty: cancelled).
    using Responder = std::function<QVariant(const Request_t&)>;

    // Yes and No, No the default; true on Yes.
    static bool askYesNo(QWidget* parent, const QString& title, const QString& text);
    // Returns the index of the chosen button, -1 when the box was closed.
    static int askChoice(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
                         int defaultButton);
    static QString openFileName(QWidget* parent, const QString& caption, const QString& filter);
    static QString saveFileName(QWidget* parent, const QString& caption, const QString& filter);

    // With a responder set, no dialog is shown; an empty one restores the real dialogs.
    static void setResponder(Responder responder);

private:
    static Responder& responder();
};

} // namespace Vantrel::Ui
