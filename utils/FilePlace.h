#pragma once

#include <QString>

namespace Vantrel::Utils {

// Where the files named "../Vantrel.ini", "../Logs" and the like go. They are kept
// beside the installation, as always, while the folder above the executable's
// accepts a new file: a portable copy, a build tree. An installation the user may
// not write (Program Files, /opt/vantrel for an ordinary user) sends them to the
// user's data folder instead, which gets the installed defaults on first use.
class FilePlace
{
public:
    struct Choice_t {
        QString base;        // the folder "../" stands for
        bool userData = false;
        bool firstUse = false; // this call made the user's data folder
    };

    // Decides for an executable folder and a user data folder, copying the installed
    // "Vantrel.ini" and "Data/" into the latter when it is taken for the first time.
    static Choice_t choose(const QString& appDir, const QString& userDataDir);

    // The choice for the running program, made once.
    static const Choice_t& current();

    // A path beginning "../" resolved against current().base; any other relative
    // path against the executable's folder, an absolute one as it is.
    static QString resolve(const QString& path);

    // Said once, on the first use of the user's data folder; empty otherwise.
    static QString firstUseNote();
};

} // namespace Vantrel::Utils
