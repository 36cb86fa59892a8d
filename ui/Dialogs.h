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
        QString directory;    // file dialogs: the folder they open in
        QString offered;      // save dialogs: the file name filled in
    };
    // A question's answer is the chosen button's index (-1: closed), a file
    // dialog's the chosen path (empty: cancelled).
    using Responder = std::function<QVariant(const Request_t&)>;

    // Yes and No, No the default; true on Yes.
    static bool askYesNo(QWidget* parent, const QString& title, const QString& text);
    // Returns the index of the chosen button, -1 when the box was closed; Esc
    // answers escapeButton when there is one.
    static int askChoice(QWidget* parent, const QString& title, const QString& text, const QStringList& buttons,
                         int defaultButton, int escapeButton = -1);
    // File dialogs open in `directory` when it exists, else in the last folder
    // chosen in any of them. A saved name typed without a suffix gets
    // defaultSuffix (without its dot) when one is given. A save dialog opens with
    // offeredName filled in, when there is one.
    static QString openFileName(QWidget* parent, const QString& caption, const QString& filter,
                                const QString& directory = QString());
    static QString saveFileName(QWidget* parent, const QString& caption, const QString& filter,
                                const QString& directory = QString(), const QString& defaultSuffix = QString(),
                                const QString& offeredName = QString());

    // With a responder set, no dialog is shown; an empty one restores the real dialogs.
    static void setResponder(Responder responder);

private:
    static Responder& responder();
    static QString startDirectory(const QString& directory);
    static QString remember(const QString& chosen);
    static QString& lastDirectory();
};

} // namespace Vantrel::Ui
