// The terminal's command parser: a typed line read as a known command is the same command when typed
// again as the program itself frames it, with or without "$", and a wrong checksum never passes.
#include "FuzzSupport.h"
#include "com/UartLink.h"

using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLink;

VANTREL_FUZZ_INIT

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString typed = QString::fromUtf8(QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)));
    const DfrLink::ManualCommand_t parsed = DfrLink::parseManualCommand(typed);
    if (!parsed.known)
        return 0;

    // A checksum typed by the user must be the one the link computes.
    const QString text = typed.trimmed();
    const int star = text.indexOf(QLatin1Char('*'));
    if (star >= 0) {
        const QString payload = text.mid(text.startsWith(QLatin1Char('$')) ? 1 : 0).section(QLatin1Char('*'), 0, 0);
        FUZZ_CHECK((text.mid(star + 1).toInt(nullptr, 16) & 0xFF) == (UartLink::computeChecksum(payload + QLatin1Char('*')) & 0xFF));
    }

    const QString framed = UartLink::createCommand(parsed.command, parsed.parameters);
    for (const QString& again : {QLatin1Char('$') + framed, framed}) {
        const DfrLink::ManualCommand_t back = DfrLink::parseManualCommand(again);
        FUZZ_CHECK(back.known);
        FUZZ_CHECK(back.command == parsed.command);
        FUZZ_CHECK(back.parameters == parsed.parameters);
    }
    return 0;
}
