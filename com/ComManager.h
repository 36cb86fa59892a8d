#pragma once

#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>
#include <functional>

class QSerialPortInfo;

namespace Vantrel::Com {

// Watches the serial ports and announces receivers as they come and go.
// Opens nothing: connecting is the user's choice.
class ComManager : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 dfrVendorId = 0x04DE;
    static constexpr quint16 dfrProductId = 0xF584;
    static constexpr int scanPeriodMs = 1000;

    // What a scan needs to know of one present port.
    struct PortInfo_t
    {
        QString portName;
        quint16 vendorId = 0;  // 0 when the port has no USB identifiers
        quint16 productId = 0;
    };
    using PortSource = std::function<QList<PortInfo_t>()>;

    ComManager();

    void start();

    static bool isDfr(const QSerialPortInfo& portInfo);
    static bool isDfr(quint16 vendorId, quint16 productId);

    // Replaces the port enumeration (tests script plugging and unplugging with it).
    void setPortSource(PortSource source);

    // The system's serial ports, followed by the pseudo-terminals named in
    // VANTREL_SIMULATED_PORTS, which pass for receivers.
    static QList<PortInfo_t> systemPorts();
    // The names systemPorts() gives the listed pseudo-terminals, present or not.
    static QStringList simulatedPortNames();

Q_SIGNALS:
    void sigDfrDetected(const QString& portName);
    void sigDfrRemoved(const QString& portName);

private Q_SLOTS:
    void slotScanComPorts();

private:
    // systemPorts() without the simulated ports that have gone (see the source).
    QList<PortInfo_t> livePorts();

    QSet<QString> seenPorts;
    QSet<QString> dfrPorts;
    QTimer scanTimer;
    PortSource portSource;
    // Pseudo-terminals named in the environment that were offered and then went away.
    QString simulatedListing;
    QSet<QString> simulatedOffered;
    QSet<QString> simulatedGone;
};

} // namespace Vantrel::Com
