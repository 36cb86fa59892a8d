#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace Vantrel::Sim {

// Everything a simulated receiver remembers: identity, live status, setups,
// favourite platform slots, GPS format bank, flash content and bootloader
// progress. Plain data with the generation's slot and value counts; the
// commands acting on it are CommandProcessor's. Setups and slots are kept as the
// wire values they travel as, so a write is read back exactly as it was sent.
class DeviceState
{
    Q_GADGET
public:
    enum Generation_t { GENERATION_V1 = 1, GENERATION_V2 = 2 };
    Q_ENUM(Generation_t)
    enum Mode_t { MODE_APP, MODE_BL };
    Q_ENUM(Mode_t)
    enum Profile_t { PROFILE_DFR_V1, PROFILE_DFR_V2_APP, PROFILE_DFR_V2_BL };
    Q_ENUM(Profile_t)

    // Live status, as LIG reports it. band is also position 12 of SETUPSW.
    struct Status_t
    {
        bool gpsValid = true;
        double latitude = 48.80;   // degrees
        double longitude = 2.30;   // degrees
        bool directionValid = true;
        int direction = 135;       // degrees
        double voltage = 3.85;     // volts, one lithium cell
        int temperature = 24;      // degrees Celsius
        int band = 0;              // 0..9, EESS3 first
    };

    // A favourite platform described by its meaning; setPlatform() turns it into
    // the wire values of the generation.
    struct Platform_t
    {
        QString id;                 // 5, 7 or 8 hexadecimal digits
        QString label;
        int modulation = 0;         // 0 A2, 1 A3, 2 A4, 3 LDK (second generation only)
        int band = 0;               // second generation only
        int repetitionPeriod = 60;  // seconds
        int meanDirectionValues = 5;  // first generation only
        bool wideFrequency = true;  // second generation only
        quint32 narrowFrequencyHz = 0;
        // Empty: no GPS mode. Otherwise the 22 values name, latitude (9), longitude
        // (9), payload length, index position, GPS check.
        QStringList gpsFormat;
        // encryption type, polynom (hex), CRC position, CRC length, data position, data length
        QStringList encryption = {"0", "0", "0", "0", "0", "1"};
    };

    // Wire positions shared by both generations' IP layout.
    static constexpr int ipIndex = 0;
    static constexpr int ipOccupied = 1;
    static constexpr int ipIdType = 2;
    static constexpr int ipId = 3;
    static constexpr int ipLabel = 4;
    static constexpr int ipGpsMode = 5;
    static constexpr int ipFormat = 6;  // 22 values: name, lat (9), lon (9), payload length, index pos, check
    static constexpr int ipPeriod = 28;
    static constexpr int ipV1MeanDirection = 29;
    static constexpr int ipV2Band = 29;
    static constexpr int ipV2Modulation = 30;
    static constexpr int ipV2FrequencyMode = 31;
    static constexpr int ipV2NarrowFrequency = 32;
    // GFG/SFG positions
    static constexpr int fgIndex = 0;
    static constexpr int fgName = 1;
    static constexpr int fgPolynom = 24;
    static constexpr int gpsFormatValueCount = 29;
    static constexpr int softwareClockFirst = 7;  // year - 2000, month, day, hour, minute
    static constexpr int softwareBand = 12;

    explicit DeviceState(Profile_t profile = PROFILE_DFR_V2_APP);

    // Factory state of the profile: default versions and setups, empty slots,
    // empty flash, clock on the host's time.
    void reset(Profile_t profile);

    int platformSlotCount() const { return generation == GENERATION_V1 ? 16 : 64; }
    int platformValueCount() const { return generation == GENERATION_V1 ? 36 : 39; }
    int ipEncryption() const { return generation == GENERATION_V1 ? 30 : 33; }
    int gpsFormatSlotCount() const { return generation == GENERATION_V1 ? 0 : 16; }
    int softwareSetupCount() const { return generation == GENERATION_V1 ? 12 : 14; }
    int hardwareSetupCount() const { return generation == GENERATION_V1 ? 6 : 7; }

    // 2 for application 2, 2.2 and later 2.x; 1 for 2.0 and 2.1; 0 otherwise. At
    // level 2 a second-generation receiver reports identifiers with spare
    // digits and stores 32-bit identifiers in flash.
    int firmwareLevel() const;
    bool wideFlashIdentifiers() const { return generation == GENERATION_V2 && firmwareLevel() == 2; }

    // The receiver's clock runs from whatever it was last set to.
    QDateTime clock() const;
    void setClock(const QDateTime& utc);

    QStringList emptyPlatform(int slot) const;
    QStringList emptyGpsFormat(int slot) const;
    bool isPlatformOccupied(int slot) const;
    void setPlatform(int slot, const Platform_t& platform);
    void clearPlatform(int slot);
    // name followed by the 27 values of positions 2..28 of GFG
    void setGpsFormat(int slot, const QStringList& nameAndValues);
    bool isGpsFormatOccupied(int slot) const;

    // The full SETUPSW reply: stored positions with the clock and band filled in.
    QStringList softwareSetup() const;

    Generation_t generation = GENERATION_V2;
    Mode_t mode = MODE_APP;
    QString serialPart1 = QStringLiteral("0042");
    QString serialPart2 = QStringLiteral("1207");
    QString applicationVersion;
    QString bootloaderVersion;
    QString fpgaVersion;
    Status_t status;

    QStringList setupSoftware;  // positions 7..12 are overwritten on read
    QStringList setupHardware;
    QVector<QStringList> platforms;
    QVector<QStringList> gpsFormats;

    QVector<QByteArray> flashAreas;  // first generation: one record area per platform slot
    QByteArray flashImage;           // second generation: one area for all records
    quint32 flashBaseAddress = 0x10000;
    quint32 flashCapacity = 0x800000;

    // Bootloader: ATBL unlocks, ERRF erases, WRDA appends, WRSC seals, REBO starts
    // the application only when one is sealed.
    bool bootloaderUnlocked = false;
    bool applicationErased = false;
    bool applicationValid = true;
    QList<QByteArray> firmwareLines;

private:
    qint64 clockOffsetMs = 0;
};

} // namespace Vantrel::Sim
