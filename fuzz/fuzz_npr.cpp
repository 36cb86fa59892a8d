// NPR/NPRF values: parsing never fails other than by its own error, a rendered line passes the link's
// own frame checks, parses back, and renders again with the same kind, slot and date.
#include <QRegularExpression>

#include "FuzzSupport.h"
#include "UartLinkFuzzProbe.h"
#include "inhouse/Exception.h"

using Vantrel::Com::DfrLink;
using Vantrel::Com::UartLinkFuzzProbe;
using Message = DfrLink::OrvanRxMessage_t;

VANTREL_FUZZ_INIT

namespace {

struct Outcome
{
    bool parsed = false;
    Message message;
};

Outcome parse(DfrLink& link, DfrLink::DfrMessageType_t type, const QStringList& values)
{
    Outcome outcome;
    const auto connection = QObject::connect(&link, &DfrLink::sigOrvanMessageReceived,
                                             [&outcome](const Message& m, DfrLink::RxOrigin_t) {
                                                 outcome.parsed = true;
                                                 outcome.message = m;
                                             });
    try {
        link.slotRxReceived(type, values);
    } catch (const Tarsk::Utils::Exception&) {
    }
    QObject::disconnect(connection);
    return outcome;
}

bool render(const DfrLink& link, const Message& message, QString* line)
{
    try {
        *line = link.orvanRxMessageToNprFormat(message);
        return true;
    } catch (const Tarsk::Utils::Exception&) {
        return false;
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    UartLinkFuzzProbe::quietSettings();
    static DfrLink link;
    FuzzedDataProvider input(data, size);
    const bool v1 = input.ConsumeBool();
    link.setReceiverForTesting(v1 ? DfrLink::DFR_V1 : DfrLink::DFR_V2, input.ConsumeIntegralInRange<quint32>(0, 2));
    // Rendering follows the receiver's generation, or the one the user asked for.
    Vantrel::Utils::Settings::instance()->nprMessagesFormat = input.ConsumeBool() ? 0 : (v1 ? 1 : 2);
    Vantrel::Utils::Settings::instance()->keepChecksumErrorOnNprDfr500 = input.ConsumeBool();
    const auto type = input.ConsumeBool() ? DfrLink::DFRMSG_NPRF : DfrLink::DFRMSG_NPR;
    // Values as they leave the link: never a "*" or a line end.
    QString text = QString::fromUtf8(QByteArray::fromStdString(input.ConsumeRemainingBytesAsString()));
    static const QRegularExpression lineBreakers(QStringLiteral("[*\\r\\n\\x{0}]"));
    text.remove(lineBreakers);
    const QStringList values = text.split(QLatin1Char(','));

    const Outcome first = parse(link, type, values);
    QString line;
    if (!first.parsed || !render(link, first.message, &line))
        return 0;
    // The date of a record always converts to something defined.
    (void)first.message.dateTime.toQDateTime();

    // The link itself must take the rendered line as a beacon.
    UartLinkFuzzProbe probe(UartLinkFuzzProbe::START_IDLE, DfrLink::CMD_TEST);
    probe.feed(line.toUtf8() + "\r\n");
    FUZZ_CHECK(probe.events.size() == 1);
    const QString event = probe.events.first();
    FUZZ_CHECK(event.startsWith(QLatin1String("npr:")) || event.startsWith(QLatin1String("nprf:")));
    const auto renderedType = event.startsWith(QLatin1String("nprf:")) ? DfrLink::DFRMSG_NPRF : DfrLink::DFRMSG_NPR;
    const int comma = line.indexOf(QLatin1Char(','));
    const QStringList renderedValues = line.mid(comma + 1, line.lastIndexOf(QLatin1Char('*')) - comma - 1).split(QLatin1Char(','));

    // A first-generation NPR whose index is not the slot count renders as NPRF; a receiver never sends one.
    if (renderedType != type)
        return 0;
    const Outcome second = parse(link, renderedType, renderedValues);
    // The identifier drift below can leave a width no parser takes; nothing else may stop the parse.
    const int idField = (renderedType == DfrLink::DFRMSG_NPRF || v1) ? 8 : 7;
    const int idWidth = line.section(QLatin1Char(','), idField, idField).size();
    if (!second.parsed) {
        FUZZ_CHECK(idWidth != 5 && idWidth != 7 && idWidth != 8);
        return 0;
    }
    QString again;
    FUZZ_CHECK(render(link, second.message, &again));
    // Open faults found here: identifiers of some widths and modulations, and the payloads of 8-digit
    // A2/A4 identifiers, drift by a digit or a nibble per render-parse round (reproducers in the report).
    // Until the two sides agree, the round trip is held for the kind, slot and date fields.
    if (again.section(QLatin1Char(','), 0, 6) != line.section(QLatin1Char(','), 0, 6))
        std::fprintf(stderr, "%s\n%s\n", qPrintable(line), qPrintable(again));
    FUZZ_CHECK(again.section(QLatin1Char(','), 0, 6) == line.section(QLatin1Char(','), 0, 6));
    return 0;
}
