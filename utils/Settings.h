#pragma once

#include "inhouse/Settings.h"

#include <atomic>

namespace Vantrel::Utils {

// The user's settings, kept in "../Vantrel.ini" beside the executable's directory.
// Fields are public: the Settings tab writes them in the GUI thread while the
// serial link reads them from its worker thread, so each one is an atomic.
class Settings : public Tarsk::Utils::Settings
{
    Q_OBJECT
public:
    // Created on first use, from whichever thread comes first.
    static Settings* instance();

    void loadSettingsInternal();
    void saveSettingsInternal();

    std::atomic<bool> printUartDebugInfo{false};
    std::atomic<bool> printAtCmdDebugInfo{true};
    std::atomic<qint32> dfrCommandTimeoutMs{60000};
    std::atomic<qint32> keepAliveTimeoutMs{500};
    std::atomic<qint32> keepAlivePeriodMs{1000};
    std::atomic<bool> keepChecksumErrorOnNprDfr500{false};
    std::atomic<qint32> nprMessagesFormat{2};
    // Seconds between refreshes of the status panel while idle, 0: never. Kept
    // in the group "Display", out of the top level of the file.
    std::atomic<qint32> statusRefreshSeconds{10};

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
