// Lines typed by hand: known commands become regular requests, anything else goes out raw.
#include "com/DfrLink.h"

#include <QDebug>
#include <QMetaEnum>
#include <QRegularExpression>

#include "com/UartLink.h"

namespace Vantrel::Com {

namespace {

// Exact key lookup: QMetaEnum::keyToValue would also accept scoped names.
bool knownCommand(const QString& mnemonic, DfrLink::DfrCmd_t& command)
{
    static const QMetaEnum commands = QMetaEnum::fromType<DfrLink::DfrCmd_t>();
    const QString key = QStringLiteral("CMD_") + mnemonic;
    for (int i = 0; i < commands.keyCount(); ++i) {
        if (key == QLatin1String(commands.key(i))) {
            command = DfrLink::DfrCmd_t(commands.value(i));
            return true;
        }
    }
    return false;
}

} // namespace

DfrLink::ManualCommand_t DfrLink::parseManualCommand(const QString& userCmd)
{
    ManualCommand_t result;
    const QString text = userCmd.trimmed();
    bool valid = true;
    if (text.isEmpty()) {
        qWarning().noquote() << "Empty command";
        valid = false;
    }

    static const QRegularExpression expression(
        QStringLiteral(R"(^(?<dollar>[\$])?(?<payload>[^\$\*]+)(?<checksum>\*[0-9A-F][0-9A-F]?)?$)"));
    const QRegularExpressionMatch match = expression.match(text);
    const QString payload = match.captured(QStringLiteral("payload"));
    if (payload.isEmpty()) {
        qWarning().noquote() << "Command with an empty payload.";
        valid = false;
    }

    const int expected = UartLink::computeChecksum(payload + QLatin1Char('*')) & 0xFF;
    const QString checksum = match.captured(QStringLiteral("checksum"));
    if (!checksum.isEmpty() && (checksum.mid(1).toInt(nullptr, 16) & 0xFF) != expected) {
        const QString digits = QStringLiteral("%1").arg(expected, 2, 16, QLatin1Char('0')).toUpper();
        qWarning().noquote() << QStringLiteral("Wrong checksum provided (should be %1)").arg(digits);
        valid = false;
    }

    if (valid) {
        QStringList parameters = payload.split(QLatin1Char(','));
        const QString mnemonic = parameters.takeFirst();
        if (knownCommand(mnemonic, result.command)) {
            result.known = true;
            result.parameters = parameters;
        }
    }
    return result;
}

std::optional<QStringList> DfrLink::sendManualDfrCmd(const QString& userCmd)
{
    checkConnectionReady();
    const ManualCommand_t parsed = parseManualCommand(userCmd);
    if (parsed.known) {
        return sendBlockingRequest(parsed.command, parsed.parameters).values;
    }
    emit sigSendManualDfrCmd(userCmd);
    return std::nullopt;
}

} // namespace Vantrel::Com
