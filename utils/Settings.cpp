#include "utils/Settings.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <QDir>

#include "inhouse/Exception.h"
#include "utils/FilePlace.h"

namespace Vantrel::Utils {

Settings::Settings(const QFileInfo& file) : Tarsk::Utils::Settings(file)
{
    for (const Entry_t& entry : entries()) {
        setValue(entry, entry.defaultValue);
    }
}

Settings* Settings::instance()
{
    // A function-local static is initialised once even when two threads race to it.
    static Settings* const settings = [] {
        auto* created = new Settings(QFileInfo(FilePlace::resolve(QStringLiteral("../Vantrel.ini"))));
        created->loadSettingsInternal();
        return created;
    }();
    return settings;
}

const QList<Settings::Entry_t>& Settings::entries()
{
    static const QList<Entry_t> all = {
        {"printUartDebugInfo", &Settings::printUartDebugInfo, nullptr, 0, false, "checkBoxPrintUartDebugInfo"},
        {"printAtCmdDebugInfo", &Settings::printAtCmdDebugInfo, nullptr, 1, false, "checkBoxPrintAtCmdDebugInfo"},
        {"dfrCommandTimeoutMs", nullptr, &Settings::dfrCommandTimeoutMs, 60000, false, "spinBoxDfrCommandTimeout"},
        {"keepAliveTimeoutMs", nullptr, &Settings::keepAliveTimeoutMs, 500, false, "spinBoxKeepAliveTimeout"},
        {"keepAlivePeriodMs", nullptr, &Settings::keepAlivePeriodMs, 1000, false, "spinBoxKeepAlivePeriod"},
        {"keepChecksumErrorOnNprDfr500", &Settings::keepChecksumErrorOnNprDfr500, nullptr, 0, false,
         "checkBoxKeepChecksumError"},
        {"nprMessagesFormat", nullptr, &Settings::nprMessagesFormat, 2, false, "comboBoxNprFormat"},
        {"Display/statusRefreshSeconds", nullptr, &Settings::statusRefreshSeconds, 10, true,
         "spinBoxStatusRefreshPeriod"},
    };
    return all;
}

qint32 Settings::value(const Entry_t& entry) const
{
    return entry.flag ? ((this->*entry.flag) ? 1 : 0) : qint32(this->*entry.number);
}

void Settings::setValue(const Entry_t& entry, qint32 value)
{
    if (entry.flag) {
        this->*entry.flag = value != 0;
    } else {
        this->*entry.number = value;
    }
}

void Settings::loadSettingsInternal()
{
    try {
        const auto settings = getSettings(0);
        // In file order: a missing key stops the reading there.
        for (const Entry_t& entry : entries()) {
            const QString key = QLatin1String(entry.key);
            if (entry.younger) {
                if (settings->contains(key)) {
                    setValue(entry, qMax(0, settings->value(key).toString().toInt()));
                }
            } else if (entry.flag) {
                // Any non-zero number is true; anything else is false.
                bool ok = false;
                const ushort flag = loadVariable(*settings, key).toUShort(&ok, 10);
                setValue(entry, ok && flag != 0);
            } else {
                // toInt() already gives 0 for text that is not a number or does not fit
                setValue(entry, loadVariable(*settings, key).toInt(nullptr, 10));
            }
        }
    } catch (const Tarsk::Utils::Exception& e) {
        qWarning().noquote() << e.message();
        qWarning().noquote() << "Load default values. Creation of a new settings file.";
        saveSettingsInternal();
    }
}

void Settings::saveSettingsInternal()
{
    const auto settings = getSettings(1);
    for (const Entry_t& entry : entries()) {
        settings->setValue(QLatin1String(entry.key), QString::number(value(entry), 10));
    }
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        qWarning().noquote() << QStringLiteral("Unable to write the settings file %1").arg(file().absoluteFilePath());
    }
}

// --- window state

namespace {
const QString windowGeometryKey = QStringLiteral("Window/geometry");
const QString windowTabKey = QStringLiteral("Window/lastTab");
const QString rxHeaderKey = QStringLiteral("Window/messagesTableHeader");
const QString rxColumnsKey = QStringLiteral("Window/messagesTableColumns");
} // namespace

Settings::WindowState_t Settings::loadWindowState() const
{
    WindowState_t state;
    std::unique_ptr<QSettings> settings;
    try {
        settings = getSettings(0);
    } catch (const Tarsk::Utils::Exception&) {
        return state; // a first run: nothing remembered yet
    }
    // Stored as Base64 text: the file stays plain text and hand-editable around it.
    state.geometry = QByteArray::fromBase64(settings->value(windowGeometryKey).toString().toLatin1());
    bool ok = false;
    const int tab = settings->value(windowTabKey).toString().toInt(&ok, 10);
    state.tab = ok ? tab : -1;
    state.rxHeader = QByteArray::fromBase64(settings->value(rxHeaderKey).toString().toLatin1());
    state.rxColumns = settings->value(rxColumnsKey).toString().toInt(nullptr, 10);
    return state;
}

void Settings::saveWindowState(const WindowState_t& state)
{
    const auto settings = getSettings(1);
    settings->setValue(windowGeometryKey, QString::fromLatin1(state.geometry.toBase64()));
    settings->setValue(windowTabKey, QString::number(state.tab, 10));
    settings->setValue(rxHeaderKey, QString::fromLatin1(state.rxHeader.toBase64()));
    settings->setValue(rxColumnsKey, QString::number(state.rxColumns, 10));
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        qWarning().noquote() << QStringLiteral("Unable to write the settings file %1").arg(file().absoluteFilePath());
    }
}

// --- archive

Settings::ArchiveSettings_t Settings::loadArchiveSettings() const
{
    ArchiveSettings_t archive;
    QString file = QLatin1String(defaultArchiveFile);
    try {
        const auto settings = getSettings(0);
        bool ok = false;
        const int enabled = settings->value(QStringLiteral("Archive/enabled")).toString().toInt(&ok, 10);
        archive.enabled = !ok || enabled != 0;
        const QString chosen = settings->value(QStringLiteral("Archive/file")).toString().trimmed();
        if (!chosen.isEmpty()) {
            file = chosen;
        }
    } catch (const Tarsk::Utils::Exception&) {
        // a first run: the defaults
    }
    archive.file = FilePlace::resolve(file);
    return archive;
}

namespace {
const QString teamNamesKey = QStringLiteral("Archive/teams");
} // namespace

QMap<QString, QString> Settings::loadTeamNames() const
{
    QMap<QString, QString> teams;
    try {
        const QJsonObject object =
            QJsonDocument::fromJson(getSettings(0)->value(teamNamesKey).toString().toUtf8()).object();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (!it.value().toString().trimmed().isEmpty()) {
                teams.insert(it.key(), it.value().toString().trimmed());
            }
        }
    } catch (const Tarsk::Utils::Exception&) {
        // a first run: none yet
    }
    return teams;
}

void Settings::saveTeamNames(const QMap<QString, QString>& teams)
{
    QJsonObject object;
    for (auto it = teams.begin(); it != teams.end(); ++it) {
        object.insert(it.key(), it.value());
    }
    const auto settings = getSettings(1);
    settings->setValue(teamNamesKey, QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        qWarning().noquote() << QStringLiteral("Unable to write the settings file %1").arg(file().absoluteFilePath());
    }
}

// --- receiver calibrations

namespace {
const QString receiverCalibrationsKey = QStringLiteral("Locate/receiverCalibrations");
} // namespace

Locate::ReceiverCalibrations Settings::loadReceiverCalibrations() const
{
    try {
        return Locate::ReceiverCalibrations::fromString(getSettings(0)->value(receiverCalibrationsKey).toString());
    } catch (const Tarsk::Utils::Exception&) {
        return {};  // a first run: none yet
    }
}

void Settings::saveReceiverCalibrations(const Locate::ReceiverCalibrations& calibrations)
{
    const auto settings = getSettings(1);
    settings->setValue(receiverCalibrationsKey, calibrations.toString());
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        qWarning().noquote() << QStringLiteral("Unable to write the settings file %1").arg(file().absoluteFilePath());
    }
}

// --- base maps

namespace {
const QString mapFilesKey = QStringLiteral("Maps/files");
} // namespace

QStringList Settings::loadMapFiles() const
{
    try {
        return getSettings(0)->value(mapFilesKey).toStringList();
    } catch (const Tarsk::Utils::Exception&) {
        return {};  // a first run: none chosen
    }
}

void Settings::saveMapFiles(const QStringList& files)
{
    const auto settings = getSettings(1);
    settings->setValue(mapFilesKey, files);
    settings->sync();
    if (settings->status() != QSettings::NoError) {
        qWarning().noquote() << QStringLiteral("Unable to write the settings file %1").arg(file().absoluteFilePath());
    }
}

} // namespace Vantrel::Utils
