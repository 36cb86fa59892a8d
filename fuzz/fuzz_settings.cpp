// The settings file: whatever it holds, what the program reads from it is saved and read back unchanged,
// the user settings and the window state alike.
#include <QFile>

#include "FuzzSupport.h"
#include "utils/Settings.h"

using Vantrel::Utils::Settings;

VANTREL_FUZZ_INIT

namespace {

QList<qint64> values(const Settings& s)
{
    return {s.printUartDebugInfo, s.printAtCmdDebugInfo, s.dfrCommandTimeoutMs, s.keepAliveTimeoutMs,
            s.keepAlivePeriodMs, s.keepChecksumErrorOnNprDfr500, s.nprMessagesFormat};
}

bool sameState(const Settings::WindowState_t& a, const Settings::WindowState_t& b)
{
    return a.geometry == b.geometry && a.tab == b.tab && a.rxHeader == b.rxHeader && a.rxColumns == b.rxColumns;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Settings* settings = Settings::instance();
    {
        QFile file(settings->file().absoluteFilePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)
            || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
            std::abort();
    }
    settings->loadSettingsInternal();
    const QList<qint64> read = values(*settings);
    const Settings::WindowState_t state = settings->loadWindowState();

    settings->saveSettingsInternal();
    settings->saveWindowState(state);
    settings->loadSettingsInternal();
    FUZZ_CHECK(values(*settings) == read);
    FUZZ_CHECK(sameState(settings->loadWindowState(), state));
    return 0;
}
