#pragma once

#include <QObject>

namespace Vantrel::Com {

// The one object through which the user interface talks to a connected receiver.
class DfrLink : public QObject
{
    Q_OBJECT
public:
    enum DfrVersion_t { DFR_UNDEFINEDVERSION = 0, DFR_V1, DFR_V2 };
    Q_ENUM(DfrVersion_t)

    enum DfrMode_t { DFR_UNDEFINEDMODE = 0, DFR_BL, DFR_APP };
    Q_ENUM(DfrMode_t)

    enum OrvanBand_t {
        ORVANBAND_EESS3 = 0, ORVANBAND_EESS4_1, ORVANBAND_EESS4_2, ORVANBAND_MSS,
        ORVANBAND_EESS1_1, ORVANBAND_EESS1_2, ORVANBAND_EESS1_3,
        ORVANBAND_EESS2_1, ORVANBAND_EESS2_2, ORVANBAND_EESS2_3, ORVANBAND_INVALID
    };
    Q_ENUM(OrvanBand_t)

    enum CoordType_t { COORDTYPE_DEG = 0, COORDTYPE_DEGMINSEC, COORDTYPE_DEGSEC };
    Q_ENUM(CoordType_t)

    // The misspelling is the receiver documentation's and stays.
    enum DistType_t { DISTTYPE_KM = 0, DISTTYPE_MILES, DISTTYPE_NATUICALMILES };
    Q_ENUM(DistType_t)

    enum DirectionMode_t { DIRECTIONMODE_Goniometry = 0, DIRECTIONMODE_MSG_decoding };
    Q_ENUM(DirectionMode_t)

    enum AntennaPosition_t { ANTENNAPOSITION_Up = 0, ANTENNAPOSITION_Down };
    Q_ENUM(AntennaPosition_t)

    enum AntennaType_t { ANTENNATYPE_PLX500 = 0, ANTENNATYPE_Passive, ANTENNATYPE_PLX500_Extended };
    Q_ENUM(AntennaType_t)

    enum CompassMode_t { COMPASSMODE_Fixed = 0, COMPASSMODE_Compass, COMPASSMODE_Auto, COMPASSMODE_Undefined };
    Q_ENUM(CompassMode_t)

    enum OrvanModulation_t {
        ORVANMODULATION_A2 = 0, ORVANMODULATION_A3, ORVANMODULATION_A4, ORVANMODULATION_LDK, ORVANMODULATION_INVALID
    };
    Q_ENUM(OrvanModulation_t)

    enum PlatformIdType_t {
        PLATFORMIDTYPE_20BITS = 0, PLATFORMIDTYPE_28BITS, PLATFORMIDTYPE_32BITS, PLATFORMIDTYPE_UNDEFINED
    };
    Q_ENUM(PlatformIdType_t)

    enum OrvanFrequencyMode_t { FREQUENCYMODE_NARROW = 0, FREQUENCYMODE_WIDE, FREQUENCYMODE_INVALID };
    Q_ENUM(OrvanFrequencyMode_t)

    enum DfrCmd_t {
        CMD_KEEPALIVE_INTERNAL = 0, CMD_TEST, CMD_SETUPSW, CMD_SETUPHW, CMD_IP, CMD_LIG, CMD_RFP, CMD_DFP,
        CMD_GSN, CMD_SUA, CMD_IFP, CMD_SFG, CMD_GFG, CMD_ATBL, CMD_ERRF, CMD_WRDA, CMD_WRSC, CMD_REBO
    };
    Q_ENUM(DfrCmd_t)

    enum DfrMessageType_t { DFRMSG_NPR = 0, DFRMSG_NPRF };
    Q_ENUM(DfrMessageType_t)

    enum RxOrigin_t { RXORIGIN_LIVE = 0, RXORIGIN_FLASH };
    Q_ENUM(RxOrigin_t)

    explicit DfrLink(QObject* parent = nullptr);
    ~DfrLink() override;
};

} // namespace Vantrel::Com
