#pragma once

#include <QFileInfo>
#include <QObject>
#include <QSettings>
#include <memory>

namespace Tarsk::Utils {

// Base of an application's settings: an INI file at a fixed place.
class Settings : public QObject
{
    Q_OBJECT
public:
    enum SettingsOperation_t { SETTINGS_READ = 0, SETTINGS_WRITE = 1 };
    Q_ENUM(SettingsOperation_t)

    explicit Settings(const QFileInfo& file);
    ~Settings() override;

    QFileInfo file() const { return settingsFile; }

    // A QSettings on the file, owned by the caller; destroying it writes pending values.
    // Reading fails with an Exception when the file does not exist or cannot be read.
    std::unique_ptr<QSettings> getSettings(SettingsOperation_t op) const;
    std::unique_ptr<QSettings> getSettings(int op) const { return getSettings(static_cast<SettingsOperation_t>(op)); }

    // The stored value as text; throws Exception when the key is absent.
    static QString loadVariable(const QSettings& settings, const QString& key);

private:
    QFileInfo settingsFile;
};

} // namespace Tarsk::Utils
