#pragma once

#include "inhouse/Settings.h"

namespace Vantrel::Utils {

// The user's settings, kept in "../Vantrel.ini" beside the executable's directory.
// Fields are public: the Settings tab writes them, the serial link reads them from
// its own thread, one plain int or bool at a time.
class Settings : public Tarsk::Utils::Settings
{
    Q_OBJECT
public:
    static Settings* instance();

    void loadSettingsInternal();
    void saveSettingsInternal();

    bool printUartDebugInfo = false;
    bool printAtCmdDebugInfo = true;
    qint32 dfrCommandTimeoutMs = 60000;
    qint32 keepAliveTimeoutMs = 500;
    qint32 keepAlivePeriodMs = 1000;
    bool keepChecksumErrorOnNprDfr500 = false;
    qint32 nprMessagesFormat = 2;

    // The main window's state between runs, in the group "Window" so that the
    // user settings above keep the file's top level to themselves.
    struct WindowState_t
    {
        QByteArray geometry;
        int tab = -1;           // -1: none remembered
        QByteArray rxHeader;    // the messages table's header state
        int rxColumns = 0;      // its column count when saved
    };
    WindowState_t loadWindowState() const;
    void saveWindowState(const WindowState_t& state);

private:
    explicit Settings(const QFileInfo& file);
};

} // namespace Vantrel::Utils
