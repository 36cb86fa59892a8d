#include "com/ComManager.h"

#include <QFileInfo>
#include <QSerialPortInfo>
#include <QStringList>
#include <algorithm>

#include "inhouse/LogNote.h"

#if defined(Q_OS_WIN)
#include <windows.h>
#endif

namespace Vantrel::Com {

namespace {

// A simulated receiver is there while its terminal is: a path on Unix, a COM
// name mapped onto a terminal under Wine.
bool simulatedPortPresent(const QString& path)
{
#if defined(Q_OS_WIN)
    wchar_t target[512];
    return ::QueryDosDeviceW(reinterpret_cast<const wchar_t*>(path.utf16()), target, 512) != 0;
#else
    return QFileInfo::exists(path);
#endif
}

// A name the simulator made for itself comes back with the simulator; a COM
// mapping is such a name.
bool simulatedPortIsOwnName(const QString& path)
{
#if defined(Q_OS_WIN)
    Q_UNUSED(path)
    return true;
#else
    return QFileInfo(path).isSymLink();
#endif
}

} // namespace

ComManager::ComManager() : portSource([this] { return livePorts(); })
{
    connect(&scanTimer, &QTimer::timeout, this, &ComManager::slotScanComPorts);
}

void ComManager::start()
{
    slotScanComPorts();
    scanTimer.start(scanPeriodMs);
}

bool ComManager::isDfr(const QSerialPortInfo& portInfo)
{
    return isDfr(portInfo.vendorIdentifier(), portInfo.productIdentifier());
}

bool ComManager::isDfr(quint16 vendorId, quint16 productId)
{
    return vendorId == dfrVendorId && productId == dfrProductId;
}

void ComManager::setPortSource(PortSource source)
{
    portSource = source ? std::move(source) : PortSource([this] { return livePorts(); });
}

QStringList ComManager::simulatedPortNames()
{
    QStringList names;
    const QStringList paths = qEnvironmentVariable("VANTREL_SIMULATED_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (QString name : paths) {
        if (name.startsWith(QLatin1String("/dev/"))) {
            name.remove(0, 5);
        }
        names.append(name);
    }
    return names;
}

QList<ComManager::PortInfo_t> ComManager::livePorts()
{
    // A pseudo-terminal's number is handed to the next one opened, by any program on
    // the machine. Once a simulated receiver's terminal has gone, a new one under the
    // same name is not that receiver: it is never offered again while the listing
    // stays as it is. A symbolic link is a name a simulator made for itself
    // (--link): when it is there again, a simulator made it again, and it is offered.
    const QString listing = qEnvironmentVariable("VANTREL_SIMULATED_PORTS");
    if (listing != simulatedListing) {
        simulatedListing = listing;
        simulatedOffered.clear();
        simulatedGone.clear();
    }
    const QStringList names = simulatedPortNames();
    QList<PortInfo_t> ports = systemPorts();
    QSet<QString> present;
    for (const PortInfo_t& port : std::as_const(ports)) {
        present.insert(port.portName);
    }
    const QStringList paths = listing.split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (int i = 0; i < names.size(); ++i) {
        const QString& name = names.at(i);
        if (simulatedOffered.contains(name) && !present.contains(name)) {
            simulatedGone.insert(name);
        } else if (present.contains(name) && simulatedPortIsOwnName(paths.at(i))) {
            simulatedGone.remove(name);
        }
    }
    ports.erase(std::remove_if(ports.begin(), ports.end(),
                               [this](const PortInfo_t& port) { return simulatedGone.contains(port.portName); }),
                ports.end());
    for (const QString& name : names) {
        if (present.contains(name) && !simulatedGone.contains(name)) {
            simulatedOffered.insert(name);
        }
    }
    return ports;
}

QList<ComManager::PortInfo_t> ComManager::systemPorts()
{
    QList<PortInfo_t> ports;
    const auto available = QSerialPortInfo::availablePorts();
    for (const QSerialPortInfo& info : available) {
        ports.append({info.portName(), info.vendorIdentifier(), info.productIdentifier()});
    }

    // A simulated receiver lives on a pseudo-terminal; it is offered under its path
    // without "/dev/" while the path exists.
    const QStringList paths = qEnvironmentVariable("VANTREL_SIMULATED_PORTS").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    const QStringList names = simulatedPortNames();
    for (int i = 0; i < paths.size(); ++i) {
        if (!simulatedPortPresent(paths.at(i))) {
            continue;
        }
        const QString& name = names.at(i);
        // Wine lists a COM port mapped onto the terminal, without USB identifiers.
        const auto listed = std::find_if(ports.begin(), ports.end(),
                                         [&](const PortInfo_t& p) { return p.portName == name; });
        if (listed == ports.end()) {
            ports.append({name, dfrVendorId, dfrProductId});
        } else {
            listed->vendorId = dfrVendorId;
            listed->productId = dfrProductId;
        }
    }
    return ports;
}

void ComManager::slotScanComPorts()
{
    const QList<PortInfo_t> ports = portSource();
    QSet<QString> currentNames;

    for (const PortInfo_t& port : ports) {
        currentNames.insert(port.portName);
        if (seenPorts.contains(port.portName)) {
            continue;
        }
        seenPorts.insert(port.portName);

        if (!isDfr(port.vendorId, port.productId)) {
            // A built-in port or another adapter is no news to the user.
            const Tarsk::Utils::LogNote detail(Tarsk::Utils::LogNote::NOTE_DETAIL);
            qWarning().noquote() << QStringLiteral("Device vendor 0x%1 product 0x%2 is rejected on port %3.")
                                        .arg(QString::number(port.vendorId, 16).toUpper(),
                                             QString::number(port.productId, 16).toUpper(), port.portName);
            continue;
        }
        dfrPorts.insert(port.portName);
        qInfo().noquote() << QStringLiteral("Creation of UartLink %1").arg(port.portName);
        Q_EMIT sigDfrDetected(port.portName);
    }

    const QSet<QString> known = seenPorts;
    for (const QString& name : known) {
        if (currentNames.contains(name)) {
            continue;
        }
        if (dfrPorts.remove(name)) {
            Q_EMIT sigDfrRemoved(name);
        }
        seenPorts.remove(name);
    }
}

} // namespace Vantrel::Com
