#include "inhouse/Settings.h"

#include <QStringList>

#include "inhouse/Exception.h"

namespace Tarsk::Utils {

Settings::Settings(const QFileInfo& file)
    : settingsFile(file)
{
}

Settings::~Settings() = default;

std::unique_ptr<QSettings> Settings::getSettings(SettingsOperation_t op) const
{
    const QString path = settingsFile.absoluteFilePath();
    if (op == SETTINGS_READ) {
        // QSettings reads a missing or unreadable file as empty; the caller must learn
        // of it so that it writes its defaults instead of trusting blank values.
        const QFileInfo current(path); // fresh, settingsFile may hold a stale cache
        if (!current.exists()) {
            throw Exception(QStringLiteral("Settings file %1 does not exist").arg(path), QtCriticalMsg);
        }
        if (!current.isFile() || !current.isReadable()) {
            throw Exception(QStringLiteral("Settings file %1 cannot be read").arg(path), QtCriticalMsg);
        }
    }

    // QSettings saves through a temporary file and a rename, so a crash never leaves
    // a half-written file; a failed write shows in status() after sync().
    auto settings = std::make_unique<QSettings>(path, QSettings::IniFormat);
    if (op == SETTINGS_READ && settings->status() != QSettings::NoError) {
        throw Exception(QStringLiteral("Settings file %1 is not a valid settings file").arg(path), QtCriticalMsg);
    }
    return settings;
}

QString Settings::loadVariable(const QSettings& settings, const QString& key)
{
    if (!settings.contains(key)) {
        throw Exception(QStringLiteral("Key %1 not found in %2").arg(key, settings.fileName()), QtCriticalMsg);
    }

    const QVariant value = settings.value(key);
    // An INI value holding commas comes back as a list; give the caller the text as written.
    if (value.typeId() == QMetaType::QStringList) {
        return value.toStringList().join(QLatin1Char(','));
    }
    return value.toString();
}

} // namespace Tarsk::Utils
