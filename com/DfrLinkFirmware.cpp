// Mode switch and firmware upload: bootloader commands through the request engine.
#include "com/DfrLink.h"

#include <QDebug>
#include <QScopeGuard>

#include "inhouse/Exception.h"
#include "utils/Settings.h"

namespace Vantrel::Com {

void DfrLink::sendBootloaderRequest(DfrCmd_t cmd, const QStringList& params)
{
    const QStringList values = sendBlockingRequest(cmd, params).values;
    if (values.size() != 2) {
        return;
    }
    bool ok = false;
    if (values.at(1).toInt(&ok, 10) == 0 || !ok) {
        throw Tarsk::Utils::Exception(
            Tarsk::Utils::Exception::KIND_REFUSED, QStringLiteral("Error in reply: refused by the receiver (%1)").arg(values.join(QLatin1Char(','))),
            QtCriticalMsg);
        }
}

void DfrLink::switchMode()
{
    const DfrVersionsAndStatus_t status = getDfrVersionsAndStatus();
    if (status.mode == DFR_APP) {
        sendBlockingRequest(CMD_SUA);
    } else if (status.mode == DFR_BL) {
        sendBootloaderRequest(CMD_REBO);
    }
}

void DfrLink::updateFirmware(const QList<QByteArray>& lines)
{
    const DfrVersionsAndStatus_t status = getDfrVersionsAndStatus();
    if (status.mode != DFR_BL) {
        throw Tarsk::Utils::Exception(
            QStringLiteral("Unable to flash firmware, DFR is not in BL mode (%1)").arg(qint32(status.mode)),
            QtCriticalMsg);
        }

    qInfo().noquote() << "Unlocking bootloader...";
    sendBootloaderRequest(CMD_ATBL);
    qInfo().noquote() << "Erase previous firmware...";
    sendBootloaderRequest(CMD_ERRF);

    {
        // Thousands of lines would flood the log; the rollback also runs when a request throws.
        std::atomic<bool>& debugTraces = Utils::Settings::instance()->printAtCmdDebugInfo;
        const bool savedDebugTraces = debugTraces.exchange(false);
        const auto restore = qScopeGuard([&debugTraces, savedDebugTraces] { debugTraces = savedDebugTraces; });
        const int total = int(lines.size());
        int previousPercent = 0;
        for (int i = 1; i <= total; ++i) {
            const int percent = int(double(i) * 100.0 / double(total));
            if (percent != previousPercent) {
                qInfo().noquote() << QStringLiteral("%1% uploaded (line %2 on %3)...").arg(percent).arg(i).arg(total);
            }
            previousPercent = percent;
            sendBootloaderRequest(CMD_WRDA, {QString::fromUtf8(lines.at(i - 1))});
            emit sigFirmwareProgress(i, total);
        }
        qInfo().noquote() << "Upload complete.";
    }

    qInfo().noquote() << "Locking bootloader...";
    sendBootloaderRequest(CMD_WRSC);
    qInfo().noquote() << "Upgrade OK. Reboot.";
    sendBootloaderRequest(CMD_REBO);
}

} // namespace Vantrel::Com
