#pragma once

#include "inhouse/Settings.h"
#include "locate/ReceiverCalibrations.h"

#include <QMap>
#include <atomic>

namespace Vantrel::Utils {

// The user's settings, kept in "../Vantrel.ini" (see FilePlace for where ".." is).
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

    // Defaults are those of the table below, set by the constructor.
    std::atomic<bool> printUartDebugInfo{};
    std::atomic<bool> printAtCmdDebugInfo{};
    std::atomic<qint32> dfrCommandTimeoutMs{};
    std::atomic<qint32> keepAliveTimeoutMs{};
    std::atomic<qint32> keepAlivePeriodMs{};
    std::atomic<bool> keepChecksumErrorOnNprDfr500{};
    std::atomic<qint32> nprMessagesFormat{};
    // Seconds between refreshes of the status panel while idle, 0: never.
    std::atomic<qint32> statusRefreshSeconds{};

    // One user setting: its key in the file, the field it fills (a flag, stored
    // as 0 or 1, or a number), its default, and the object name of the Settings
    // tab's widget that shows and edits it.
    struct Entry_t
    {
        const char* key;
        std::atomic<bool> Settings::*flag;
        std::atomic<qint32> Settings::*number;
        qint32 defaultValue;
        // Younger than the file: kept in a group, out of the file's top level, and a
        // file without it keeps the value held. A count, never below 0.
        bool younger;
        const char* widget;
    };
    static const QList<Entry_t>& entries();
    // The setting's field as a number (a flag is 0 or 1) and back.
    qint32 value(const Entry_t& entry) const;
    void setValue(const Entry_t& entry, qint32 value);

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

    // The messages archive, in the group "Archive": "file", a path taken from the
    // executable's folder when relative, and "enabled", 0 to keep no archive.
    struct ArchiveSettings_t
    {
        bool enabled = true;
        QString file;  // absolute
    };
    static constexpr const char* defaultArchiveFile = "../Archive/vantrel.sqlite";
    ArchiveSettings_t loadArchiveSettings() const;
    // Each receiver's team, by serial number, in the group "Archive" as one line of JSON
    // under "teams"; none on a first run.
    QMap<QString, QString> loadTeamNames() const;
    void saveTeamNames(const QMap<QString, QString>& teams);

    // Each receiver's bearing offset and sigma, in the group "Locate" as one line of JSON
    // under "receiverCalibrations"; none on a first run or when the line is no JSON.
    Locate::ReceiverCalibrations loadReceiverCalibrations() const;
    void saveReceiverCalibrations(const Locate::ReceiverCalibrations& calibrations);

    // The base maps under the Locate map, in the order they win: absolute paths of
    // MBTiles files, in the group "Maps" under "files".
    QStringList loadMapFiles() const;
    void saveMapFiles(const QStringList& files);

private:
    explicit Settings(const QFileInfo& file);
};

} // namespace Vantrel::Utils
