#include "utils/Settings.h"

#include <QCoreApplication>
#include <QDir>

#include "inhouse/Exception.h"

namespace Vantrel::Utils {

namespace {

bool readBool(const QSettings& settings, const char* key)
{
    bool ok = false;
    const ushort value = Tarsk::Utils::Settings::loadVariable(settings, QLatin1String(key)).toUShort(&ok, 10);
    return ok && value != 0;
}

qint32 readInt(const QSettings& settings, const char* key)
{
    // toInt() already gives 0 for text that is not a number or does not fit
    return Tarsk::Utils::Settings::loadVariable(settings, QLatin1String(key)).toInt(nullptr, 10);
}

QVariant text(qint32 value)
{
    return QVariant(QString::number(value, 10));
}

} // namespace

Settings::Settings(const QFileInfo& file) : Tarsk::Utils::Settings(file) {}

Settings* Settings::instance()
{
    // A function-local static is initialised once even when two threads race to it.
    static Settings* const settings = [] {
        const QDir appDir(QCoreApplication::applicationDirPath());
        auto* created = new Settings(QFileInfo(appDir.absoluteFilePath(QStringLiteral("../Vantrel.ini"))));
        created->loadSettingsInternal();
        return created;
    }();
    return settings;
}

namespace {
const QString statusRefreshKey = QStringLiteral("Display/statusRefreshSeconds");
} // namespace

void Settings::loadSettingsInternal()
{
    try {
        const auto settings = getSettings(0);
        printUartDebugInfo = readBool(*settings, "printUartDebugInfo");
        printAtCmdDebugInfo = readBool(*settings, "printAtCmdDebugInfo");
        dfrCommandTimeoutMs = readInt(*settings, "dfrCommandTimeoutMs");
        keepAliveTimeoutMs = readInt(*settings, "keepAliveTimeoutMs");
        keepAlivePeriodMs = readInt(*settings, "keepAlivePeriodMs");
        keepChecksumErrorOnNprDfr500 = readBool(*settings, "keepChecksumErrorOnNprDfr500");
        nprMessagesFormat = readInt(*settings, "nprMessagesFormat");
        // Younger than the file: an older file without it keeps the default.
        if (settings->contains(statusRefreshKey))
            statusRefreshSeconds = qMax(0, settings->value(statusRefreshKey).toString().toInt());
    } catch (const Tarsk::Utils::Exception& e) {
        qWarning().noquote() << e.message();
        qWarning().noquote() << "Load default values. Creation of a new settings file.";
        saveSettingsInternal();
    }
}

void Settings::saveSettingsInternal()
{
    const auto settings = getSettings(1);
    settings->setValue(QStringLiteral("printUartDebugInfo"), text(printUartDebugInfo));
    settings->setValue(QStringLiteral("printAtCmdDebugInfo"), text(printAtCmdDebugInfo));
    settings->setValue(QStringLiteral("dfrCommandTimeoutMs"), text(dfrCommandTimeoutMs));
    settings->setValue(QStringLiteral("keepAliveTimeoutMs"), text(keepAliveTimeoutMs));
    settings->setValue(QStringLiteral("keepAlivePeriodMs"), text(keepAlivePeriodMs));
    settings->setValue(QStringLiteral("keepChecksumErrorOnNprDfr500"), text(keepChecksumErrorOnNprDfr500));
    settings->setValue(QStringLiteral("nprMessagesFormat"), text(nprMessagesFormat));
    settings->setValue(statusRefreshKey, text(statusRefreshSeconds));
    settings->sync();
    if (settings->status() != QSettings::NoError)
        qWarning().noquote() << QStringLiteral("Unable to write the settings file %1").arg(file().absoluteFilePath());
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
    if (settings->status() != QSettings::NoError)
        qWarning().noquote() << QStringLiteral("Unable to write the settings file %1").arg(file().absoluteFilePath());
}

} // namespace Vantrel::Utils
