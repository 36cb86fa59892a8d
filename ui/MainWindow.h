#pragma once

#include <QElapsedTimer>
#include <QFont>
#include <QMap>
#include <QString>
#include <QTimer>

#include <functional>

#include "com/ComManager.h"
#include "com/DfrLink.h"
#include "inhouse/Exception.h"
#include "inhouse/Help.h"
#include "inhouse/MainWindow.h"
#include "ui/TrafficLog.h"

class QAction;
class QModelIndex;
class QTableView;
class QTableWidget;
class QCloseEvent;
class QLabel;
class QTableWidgetItem;
class QToolBar;
class QTimer;
class QToolButton;

namespace Vantrel {
class Ui_UiMainWindow;
}

namespace Vantrel::Ui {

class GpsFormatsTableModel;
class PlatformsTableModel;
class RxTableModel;
class SlotsFilterModel;
}

namespace Vantrel::Utils {
class FlashDumpInfo;
}

namespace Vantrel::Archive {
class ArchiveKeeper;
struct ArchiveQuery_t;
struct ArchiveRecord_t;
}

namespace Vantrel::Ui {

// The application's one window. Its functions are spread over several source
// files, one per area of the window.
class MainWindow : public Tarsk::Ui::MainWindow
{
    Q_OBJECT
public:
    MainWindow();
    ~MainWindow() override;

    QToolBar* toolBar() const override;

    // Identifier and modulation of each favourite platform row, in table order.
    QList<QPair<QString, Com::DfrLink::OrvanModulation_t>> getFavoritePlatforms() const;
    // The favourite and GPS format slots as last read from the receiver.
    PlatformsTableModel* platformsTableModel() const { return platformsModel; }
    GpsFormatsTableModel* gpsFormatsTableModel() const { return gpsFormatsModel; }

    // The generated form, for the window's own files and for tests that drive it.
    Ui_UiMainWindow* form() const { return ui; }

    // Ends a burst of flash messages: every gathered row joins the messages
    // table, which is then sorted by `sortColumn` (flash position unless told),
    // newest first, sorting on.
    void endRxBurst(int sortColumn = -1);
    // Rows of the messages table, filtered out or not.
    int rxRowCount() const;
    RxTableModel* rxTableModel() const { return rxModel; }
    // Keeps every message the table takes; null when none was made.
    Archive::ArchiveKeeper* archiveKeeper() const { return archive; }
    // Writes a read area to the dumps folder when dumps are on, with what decoding
    // it needs beside it (`info`, or the receiver as it is now); a failure only warns.
    void saveFlashDataToFile(const QByteArray& data, const QString& suffix,
                             const Utils::FlashDumpInfo* info = nullptr);
    // The path the last successful saveFlashDataToFile wrote, empty when none.
    QString lastFlashDumpPath() const { return lastFlashDump; }
    // What a failed request for `what` means to the user, by the failure's kind:
    // refused, not answered, the link lost...
    static QString failureInWords(const Tarsk::Utils::Exception& failure, const QString& what);
    static bool isRefusal(const Tarsk::Utils::Exception& failure);

public Q_SLOTS:
    void slotLastWindowClosed();
    void slotPostInit() override;
    void slotDfrDetected(const QString& portName);
    void slotDfrRemoved(const QString& portName);
    void slotDfrConnected(const QString& portName);
    // The kind says why a link failed, when it did.
    void slotDfrDisconnected(const QString& portName, const QString& message,
                             Tarsk::Utils::Exception::Kind_t kind = Tarsk::Utils::Exception::KIND_GENERAL);
    void slotRefreshGuiInfos();
    void slotRefreshStatus();
    void slotUpdateUartLinkStatus(const QString& statusString);
    void slotSetSetupSoftware();
    void slotSetTime();
    void slotSetSetupHardware();
    void slotGetPlatformsInfo();
    void slotToggleEmptySlots();
    void slotDisplayPlatformInfo();
    void slotSavePlatformsInfo();
    void slotCreatePlatformsInfo();
    void slotDeletePlatformsInfo();
    void slotNewFavorite();
    // False when the user declined; true otherwise, also when there was nothing to delete.
    bool slotDeleteAllPlatforms();
    void slotImportPlatformsInfo();
    void slotExportPlatformsInfo();

    // GPS format bank; every one does nothing without a bank (first generation).
    void slotGetGpsFormats();
    void slotToggleEmptyGpsFormatsSlots();
    void slotDisplayGpsFormatInfo();
    void slotSaveGpsFormats();
    void slotCreateGpsFormats();
    void slotDeleteGpsFormats();
    void slotDeleteAllGpsFormats();
    void slotSetLiveRxEnabled(bool enabled);
    void slotSetLogFileEnabled(bool enabled);
    void slotClearRxTable();
    void slotExportRxTable();
    void slotSetFlashDumpEnabled(bool enabled);
    void slotSetFlashCrcCheckEnabled(bool enabled);
    void slotReadFlashMemory();
    void slotEraseFlashMemory();
    // Shows the messages of a dump file; needs no receiver.
    void slotOpenFlashDump();
    void slotOrvanMessageReceived(const Vantrel::Com::DfrLink::OrvanRxMessage_t& orvanRxMessage,
                                  Vantrel::Com::DfrLink::RxOrigin_t rxOrigin);
    void slotFilterRxTable();
    void slotClearRxFilter();
    void slotClearSelectionRxTable();
    void slotShowRxTableContextMenu(const QPoint& position);

    void slotSettingsPrintUartDebugInfo(bool checked);
    void slotSettingsPrintAtCmdDebugInfo(bool checked);
    void slotSettingsKeepChecksumError(bool checked);
    void slotSettingsDfrCommandTimeout();
    void slotSettingsKeepAliveTimeout();
    void slotSettingsKeepAlivePeriod();
    void slotSettingsNprFormat(int formatIndex);

    void slotTerminalContentAdded(QTableWidgetItem* item);
    void slotTabChanged(int index);

    void slotSwitchMode();
    void slotUpdateFirmware();
    void slotSendManualDfrCmd();
    void slotTerminalSaveScript();
    void slotTerminalScript();

protected:
    // Up and Down in the terminal's command line walk through this run's commands.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // The "RX table contains data" question: false when the user cancels.
    bool prepareRxTableForFlash();
    // What decoding flash data needs, taken from the receiver and its favourites as they are now.
    Utils::FlashDumpInfo flashDumpInfoNow() const;
    // Rows of flash messages decoded with `info`, kept until the burst ends.
    void decodeFlashArea(const QByteArray& data, const Utils::FlashDumpInfo& info, bool cutShort, int* valid,
                         int* invalid);

    // Font of the payload columns: the first exact match of a few fixed-width families.
    static QFont monospaceFont();

    // Disconnected state of the whole form.
    void reinitGUI();
    // Every tab but Settings, and the terminal's widgets: usable only with a receiver.
    void setDeviceTabsEnabled(bool enabled);
    void toggleConnection(bool checked, const QString& portName);
    // Fills the status panel; returns the receiver's mode.
    Com::DfrLink::DfrMode_t getDfrVersionsAndStatus();
    // Wiring. Every signal the window hears goes through wire(): the slot runs
    // inside a try, so that a failure never unwinds through Qt's signal code,
    // and is reported as the application reports one escaping an event.
    // Connections made by connectDevice() exist while a receiver is connected,
    // and disconnection removes exactly these; those made by connectOnce() are
    // made at the first connection and kept. Each tab wires, resets and adapts
    // to the receiver's generation its own widgets; the connection code calls
    // them in order.
    template <typename Sender, typename Signal, typename Slot>
    QMetaObject::Connection wire(const Sender* sender, Signal signal, Slot slot)
    {
        return connect(sender, signal, this, [this, slot](const auto&... args) {
            try {
                callSlot(slot, std::forward_as_tuple(args...), std::index_sequence_for<decltype(args)...>());
            } catch (const Tarsk::Utils::Exception& failure) {
                reportEscapedFailure(failure);
            }
        });
    }
    // The slot takes the signal's first arguments, as many as it has parameters.
    template <typename Slot, typename Args, std::size_t... I>
    void callSlot(const Slot& slot, const Args& args, std::index_sequence<I...>)
    {
        constexpr bool member = std::is_member_function_pointer_v<Slot>;
        if constexpr (member ? std::is_invocable_v<const Slot&, MainWindow*, std::tuple_element_t<I, Args>...>
                             : std::is_invocable_v<const Slot&, std::tuple_element_t<I, Args>...>) {
            if constexpr (member) {
                (this->*slot)(std::get<I>(args)...);
            } else {
                slot(std::get<I>(args)...);
            }
        } else {
            callSlot(slot, args, std::make_index_sequence<sizeof...(I) - 1>());
        }
    }
    static void reportEscapedFailure(const Tarsk::Utils::Exception& failure);
    template <typename Sender, typename Signal, typename Slot>
    void connectDevice(const Sender* sender, Signal signal, Slot slot)
    {
        deviceConnections.append(wire(sender, signal, slot));
    }
    template <typename Sender, typename Signal, typename Slot>
    void connectOnce(const Sender* sender, Signal signal, Slot slot)
    {
        if (!persistentWidgetsConnected) {
            wire(sender, signal, slot);
        }
    }
    void connectDeviceWidgets();
    void disconnectDeviceWidgets();
    void adaptToGeneration(Com::DfrLink::DfrVersion_t generation);
    void connectStatusTab();
    void resetStatusTab();
    void adaptStatusTab(Com::DfrLink::DfrVersion_t generation);
    void connectSetupTab();
    void resetSetupTab();
    void adaptSetupTab(Com::DfrLink::DfrVersion_t generation);
    void connectPlatformsTab();
    void resetPlatformsTab();
    void adaptPlatformsTab(Com::DfrLink::DfrVersion_t generation);
    void connectGpsFormatsTab();
    void resetGpsFormatsTab();
    void connectRxTab();
    void resetRxTab();
    void connectTerminalTab();
    void connectFlashTools();
    void connectFirmwareTools();
    void connectSettingsTab();
    // The platform panel's editors, listed once: wiring, clearing and the
    // generation each shows for all read this list.
    struct PanelField_t
    {
        QWidget* editor;
        QWidget* label;  // shown and hidden with it; may be null
        Com::DfrLink::DfrVersion_t onlyFor;  // DFR_UNDEFINEDVERSION: every generation
    };
    QList<PanelField_t> platformPanel() const;
    QList<QWidget*> platformPanelEditors() const;
    void clearPlatformPanel();

    void getSetupSoftware();
    void getSetupHardware();

    // Edit panels in their empty state.
    void reinitGUIPlatformsInfo();
    void reinitGUIGpsFormatsInfo();
    // Models, titles and order of the two slot tables; set up once.
    void setupSlotTables();
    // Reads a whole bank into its (emptied) model with its progress, the table's
    // selection quiet, then empties the panel and selects the first row shown.
    void loadSlotBank(QTableView* view, const QString& what, const std::function<quint32()>& slotCount,
                      const std::function<void(quint32)>& readSlot, const std::function<void()>& reinitPanel);
    // Hides or shows the empty slots of a table at once; a panel whose row is hidden is emptied.
    void hideEmptySlots(QTableView* view, SlotsFilterModel* filter, bool hide,
                        const std::function<void()>& reinitPanel);
    // The slot of the table's current row, -1 when there is none.
    static int currentSlot(const QTableView* view);
    // The row a table shows a slot in, invalid when the slot is not in view.
    static QModelIndex rowOfSlot(const QTableView* view, int slot);
    // The favourites in the order the table shows them, hidden empty slots left out.
    QList<Com::DfrLink::PlatformInfo_t> shownPlatforms() const;
    // Holds a slot as read and publishes its GPS format for decoding payloads.
    void holdPlatform(const Com::DfrLink::PlatformInfo_t& info);
    void holdGpsFormat(const Com::DfrLink::GpsFormatInfo_t& info);
    void writeGpsFormatSlot(quint32 slot, bool occupied, const Utils::GpsFormat_t& format);
    // The slots as the receiver last reported them are what a refused write puts
    // back, and what an edit keeps of the fields the user did not change.
    Com::DfrLink::PlatformInfo_t platformFromPanel() const;
    static bool samePlatform(Com::DfrLink::PlatformInfo_t a, Com::DfrLink::PlatformInfo_t b);
    // Writes a slot; when the receiver refuses, writes back what it held, reads
    // the slot again, says so and throws the refusal on.
    void writePlatformSlot(const Com::DfrLink::PlatformInfo_t& info, bool recreate,
                           const Com::DfrLink::PlatformInfo_t& held);
    // After a refused import: empties the slots it wrote and writes back those held before.
    void putBackPlatforms(const QList<Com::DfrLink::PlatformInfo_t>& before,
                          const QList<Com::DfrLink::PlatformInfo_t>& written);
    PlatformsTableModel* platformsModel = nullptr;
    SlotsFilterModel* platformsFilter = nullptr;
    GpsFormatsTableModel* gpsFormatsModel = nullptr;
    SlotsFilterModel* gpsFormatsFilter = nullptr;
    Com::DfrLink::PlatformInfo_t shownPlatform;          // the panel's slot as held
    Com::DfrLink::PlatformInfo_t shownPlatformPanel;     // the panel as it showed it
    bool platformShown = false;
    Com::DfrLink::GpsFormatInfo_t shownGpsFormat;        // the editor's bank slot as held

    void initSettingsTab();
    // The status panel is read again once a receiver has been sent no request
    // for a few seconds (a setting).
    void restartStatusRefresh();
    void refreshStatusWhenIdle();
    void updateSettingsWidgets();

    void updateTerminalTabAppearance();
    // Completion of the known mnemonics and the command history; set up once.
    void setupTerminalHabits();
    // The receiver's configuration as the frames that would restore it (setups,
    // occupied platform and GPS format slots). The link never stays recording.
    QStringList recordConfiguration();
    // Records the configuration into a script file, one frame per line, through a
    // temporary file: on any failure the previous file stays as it was.
    void saveConfiguration(const QString& fileName);
    // Scripts and the backups made before a mode switch live here.
    static QString backupsFolder();
    // The name a save dialog offers for `what`, with the connected receiver's serial number.
    QString offeredFileName(const QString& what, const QString& suffix) const;
    // Saves the configuration under "../Backups"; returns the file written.
    QString backupConfiguration(const QString& serial);

    // Model, columns and fonts of the messages table.
    void setupRxTable();
    // The archive of the messages the table takes, and its page, which loads them back.
    void setupArchive();
    void loadFromArchive(const Archive::ArchiveQuery_t& query);
    void showArchivedRows(const QVector<Archive::ArchiveRecord_t>& records);
    // The connected receiver's generation as the traffic log names it.
    QString logGenerationText() const;

    // Status bar: the latest warning or error (click shows the log) and the connection state.
    void setupStatusBar();
    void showStatusMessage(QtMsgType type, const QDateTime& time, const QString& message);
    // Shows a message at a level ("critical", "warning", "success"); returns the text shown.
    QString showStatusText(const QString& level, const QDateTime& time, const QString& message);
    void clearStatusMessage();
    // Outcomes said on screen. A success is logged and stays in the status bar
    // for a few seconds. A failure is logged in its own words, as the
    // application reports an escaped one, then summed up below it in the
    // user's words, which the status bar shows.
    void showSuccess(const QString& text);
    void reportFailure(const Tarsk::Utils::Exception& failure, const QString& summary);
    // For a failure that goes on leaving the slot: logs the summary, and the
    // application's report of the failure that follows goes to the log only,
    // so that the status bar keeps the user's words. The caller rethrows.
    void explainFailure(const Tarsk::Utils::Exception& failure, const QString& summary);
    static void logAtSeverityOf(const Tarsk::Utils::Exception& failure, const QString& text);
    void updateConnectionStatus();
    // Log view: level filter and search above the log table.
    void setupLogView();
    // Tab pages scroll when the window is smaller than their contents.
    void setupScrollingTabs();
    // The tabs' buttons show the desktop's icons where it has them.
    void setupToolIcons();
    // Geometry, last tab and the messages table's columns, kept between runs.
    void restoreWindowState();
    void saveWindowState() const;
    void showTabIfEnabled(int index);

    // Numeric setup fields: validators and the value last shown, so that a finished
    // edit that changed nothing (Return, then leaving the field) writes nothing.
    void setupNumericFields();
    void rememberShownValues(std::initializer_list<QWidget*> fields);
    bool editChangedNothing() const;

    Ui_UiMainWindow* ui;
    Tarsk::Ui::Help help;
    Com::ComManager comManager;
    QMap<QString, QAction*> portActions;
    QList<QMetaObject::Connection> deviceConnections;
    bool persistentWidgetsConnected = false;
    Com::DfrLink dfrLink;
    RxTableModel* rxModel = nullptr;
    Archive::ArchiveKeeper* archive = nullptr;
    class ArchiveTab* archiveTab = nullptr;
    bool replaceByArchived = false;  // the load under way replaces the table's rows
    TrafficLog trafficLog;
    bool flashDumpEnabled = false;
    bool flashCrcCheckEnabled = true;
    QString lastFlashDump;
    // Set while flash data is decoded: its rows take slot, label and position from it.
    const Utils::FlashDumpInfo* flashDecodeInfo = nullptr;
    bool terminalHasNewContent = false;
    QStringList terminalHistory;
    qsizetype terminalHistoryPosition = 0;  // == size(): not browsing
    QString terminalDraft;                  // what was typed before browsing started

    QTimer statusRefreshTimer;
    QToolButton* statusMessage = nullptr;
    QToolButton* statusDismiss = nullptr;
    QToolButton* statusHistory = nullptr;  // opens sessionMessages
    class SessionMessages* sessionMessages = nullptr;
    QLabel* statusLinkIcon = nullptr;
    QLabel* statusConnection = nullptr;
    bool failureExplained = false;  // the failure reported next is kept out of the status bar
    QString linkState;       // as the link reports it
    QString shownLinkState;  // as the status bar shows it
    int linkStateChanges = 0;
    int pendingTab = -1; // a remembered receiver tab, shown once a receiver is connected

    // Bootloader mode and restarts. In the bootloader only the firmware update,
    // the terminal and the switch back work: the rest is disabled, and a line
    // says why. A mode switch or a firmware update restarts the receiver: the
    // window waits for it on the same port, connects again by itself and says
    // whether it came back as it should.
public:
    static constexpr int restartWaitMs = 20000;
    // A receiver that leaves the bus while it restarts is given this long to go first.
    static constexpr int restartSettleMs = 1500;

private:
    struct RestartWait_t
    {
        QString port;  // empty: not waiting
        Com::DfrLink::DfrMode_t mode = Com::DfrLink::DFR_UNDEFINEDMODE;  // the mode it must come back in
        QString firmwareVersion;  // of the image flashed; empty after a plain switch
        QString serial;           // of the receiver that left, as the status panel showed it
        QElapsedTimer since;
    };
    void applyModeLimits(bool bootloader);
    void awaitRestart(const QString& port, Com::DfrLink::DfrMode_t mode, const QString& firmwareVersion);
    void cancelRestartWait();
    void pollRestart();
    void reportRestart(const RestartWait_t& awaited);
    static QString modeText(Com::DfrLink::DfrMode_t mode);
    static QString serialText(const Com::DfrLink::DfrVersionsAndStatus_t& status);
    QString restartWaitText() const;

    QLabel* bootloaderNotice = nullptr;
    QTimer* restartTimer = nullptr;
    RestartWait_t restartWait;
    bool restartAttempt = false;  // connecting by itself: a failure is retried, not reported
    Com::DfrLink::DfrVersionsAndStatus_t shownStatus;  // as the status panel shows it
};

// Battery charge in percent for a voltage, interpolated in the cell's discharge table.
double estimateSOC(double voltage);

} // namespace Vantrel::Ui
