#include "sim/DemoContent.h"

#include "sim/BeaconBuilder.h"
#include "sim/BeaconGenerator.h"
#include "sim/DeviceState.h"

#include <algorithm>

namespace Vantrel::Sim {

namespace {

// Coordinates of a format: sign position, sign length, position, length, T, U, V, W, TY.
const QStringList sm20Lat{"0", "1", "1", "20", "6", "1", "0", "1", "0"};
const QStringList sm20Lon{"21", "1", "22", "21", "6", "1", "0", "1", "0"};
const QStringList wrap24Lat{"0", "0", "0", "24", "1", "1", "0", "1", "1"};
const QStringList wrap24Lon{"0", "0", "24", "25", "1", "1", "0", "1", "1"};
const QStringList sm17Lat{"0", "1", "1", "16", "100", "1", "0", "1", "0"};
const QStringList sm17Lon{"17", "1", "18", "17", "100", "1", "0", "1", "0"};
const QStringList noEncryption{"0", "0", "0", "0", "0", "1"};

// The 22-value block of an IP slot: name, latitude, longitude, payload bits, index position, check.
QStringList formatBlock(const QString& name, const QStringList& lat, const QStringList& lon, int payloadBits)
{
    return QStringList{name} + lat + lon + QStringList{QString::number(payloadBits), "0", "0"};
}

} // namespace

void DemoContent::apply(DeviceState& state)
{
    const bool v2 = state.generation == DeviceState::GENERATION_V2;

    DeviceState::Platform_t buoy;
    buoy.id = QStringLiteral("1A2B3");
    buoy.label = QStringLiteral("Buoy Seine");
    buoy.repetitionPeriod = 60;
    buoy.gpsFormat = formatBlock(QStringLiteral("SM20"), sm20Lat, sm20Lon, 64);
    state.setPlatform(0, buoy);

    DeviceState::Platform_t floatLoire;
    floatLoire.id = QStringLiteral("4C5D6E7");
    floatLoire.label = QStringLiteral("Float Loire");
    floatLoire.repetitionPeriod = 90;
    state.setPlatform(1, floatLoire);

    DeviceState::Platform_t glider;
    glider.id = QStringLiteral("89ABCDEF");
    glider.label = QStringLiteral("Glider Rhone");
    glider.repetitionPeriod = 120;
    glider.modulation = v2 ? 2 : 0;  // A4 where the generation knows modulations
    glider.meanDirectionValues = 8;
    state.setPlatform(2, glider);

    if (v2) {
        DeviceState::Platform_t drifter;
        drifter.id = QStringLiteral("2468ACE");
        drifter.label = QStringLiteral("Drifter Marne");
        drifter.repetitionPeriod = 45;
        drifter.modulation = 1;  // A3: no identifier bits in front of the position
        drifter.wideFrequency = false;
        drifter.narrowFrequencyHz = 401648000;
        drifter.gpsFormat = formatBlock(QStringLiteral("WRAP24"), wrap24Lat, wrap24Lon, 56);
        state.setPlatform(3, drifter);

        state.setGpsFormat(0, QStringList{"SM20"} + sm20Lat + sm20Lon + QStringList{"64", "0", "0"} + noEncryption);
        state.setGpsFormat(1, QStringList{"WRAP24"} + wrap24Lat + wrap24Lon + QStringList{"56", "0", "0"}
                                  + noEncryption);
        state.setGpsFormat(2, QStringList{"SM17-MIN"} + sm17Lat + sm17Lon + QStringList{"40", "0", "0"}
                                  + noEncryption);
        state.setGpsFormat(3, QStringList{"SM20-CRC"} + sm20Lat + sm20Lon
                                  + QStringList{"64", "0", "0", "1", "1021", "48", "16", "0", "48"});
    }

    // A few hours of traffic, the oldest first.
    BeaconGenerator generator(state);
    const QDateTime now = state.clock();
    for (int k = 12; k > 0; --k) {
        const BeaconBuilder::BeaconMessage_t message = generator.next(now.addSecs(-k * 20 * 60));
        if (v2) {
            state.flashImage += BeaconBuilder::flashRecordV2(message, state.wideFlashIdentifiers());
        } else if (message.slotIndex >= 0) {
            state.flashAreas[message.slotIndex] += BeaconBuilder::flashRecordV1(message);
        }
    }
}

void DemoContent::fillFlash(DeviceState& state, int records, int corrupt)
{
    const bool v2 = state.generation == DeviceState::GENERATION_V2;
    state.flashImage.clear();
    for (QByteArray& area : state.flashAreas) {
        area.clear();
    }
    BeaconGenerator generator(state);
    const QDateTime now = state.clock();
    const int spoilEvery = corrupt > 0 ? std::max(1, records / corrupt) : 0;
    int spoilt = 0;
    for (int k = 0; k < records;) {
        const BeaconBuilder::BeaconMessage_t message = generator.next(now.addSecs(qint64(k - records) * 60));
        if (!v2 && message.slotIndex < 0) {
            continue;  // the first generation records favourites only
        }
        QByteArray record = v2 ? BeaconBuilder::flashRecordV2(message, state.wideFlashIdentifiers())
                               : BeaconBuilder::flashRecordV1(message);
        if (spoilEvery > 0 && spoilt < corrupt && k % spoilEvery == spoilEvery / 2) {
            record[10] = static_cast<char>(record.at(10) ^ 0x5A);  // inside the header, CRC left as it was
            ++spoilt;
        }
        if (v2) {
            state.flashImage += record;
        } else {
            state.flashAreas[message.slotIndex] += record;
        }
        ++k;
    }
}

} // namespace Vantrel::Sim
