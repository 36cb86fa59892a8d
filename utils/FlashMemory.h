#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include "com/DfrLink.h"

namespace Vantrel::Utils {

// Decodes the record areas read back from a receiver's flash memory and hands
// every message on through sigOrvanDecoded, the road live messages take.
class FlashMemory : public QObject
{
    Q_OBJECT
public:
    static FlashMemory* instance();

    // CRC-8, polynomial 0x57, start 0, most significant bit first, over data[start, end).
    static quint8 crc8(const QByteArray& data, int start, int end);
    bool checkCrc(const QByteArray& data, int start, int end, quint8 expected, bool warn, const QString& context);

    // `cutShort`: the area ends where a read was stopped, so a record running
    // past its end closes the area instead of being an error.
    void decodeFlashMemoryDfrV1(quint32 slot, const QString& platformId, const QByteArray& data, bool crcCheck,
                                int* validCount = nullptr, int* invalidCount = nullptr, bool cutShort = false);
    void decodeFlashMemoryDfrV2(const QByteArray& data, bool wideIds, bool crcCheck, int* validCount = nullptr,
                                int* invalidCount = nullptr, bool cutShort = false);
    // Identifier widths from the given favourites rather than the window's: those
    // of the receiver as it was when the area was read.
    void decodeFlashMemoryDfrV2(const QByteArray& data, bool wideIds,
                                const QList<QPair<QString, Com::DfrLink::OrvanModulation_t>>& favorites,
                                bool crcCheck, int* validCount = nullptr, int* invalidCount = nullptr,
                                bool cutShort = false);

    // Records of a second-generation area whose CRC matches, nothing emitted or logged.
    int countValidRecordsDfrV2(const QByteArray& data, bool wideIds);
    // The same for either layout, with the bytes those records cover: a file whose
    // bytes are mostly not records is no dump of that layout.
    int countValidRecords(const QByteArray& data, bool dfrV1, bool wideIds, int* coveredBytes = nullptr);

Q_SIGNALS:
    void sigOrvanDecoded(const Vantrel::Com::DfrLink::OrvanRxMessage_t& orvanRxMessage,
                         Vantrel::Com::DfrLink::RxOrigin_t rxOrigin);
    // Emitted now and then during a long decode, so that the window can repaint.
    void sigDecodeProgress(qint64 bytesDone, qint64 bytesTotal);

private:
    enum Layout_t { LAYOUT_V1, LAYOUT_V2_28, LAYOUT_V2_32 };
    struct Options_t
    {
        Layout_t layout = LAYOUT_V1;
        quint32 slot = 0;
        QString platformId;
        bool crcCheck = true;
        bool cutShort = false;
        bool quiet = false;  // count only: no messages, no log lines
        int* coveredBytes = nullptr;  // bytes of the records whose CRC matches
        const QList<QPair<QString, Com::DfrLink::OrvanModulation_t>>* favorites = nullptr;  // null: the window's
    };
    FlashMemory() = default;
    void decode(const QByteArray& data, const Options_t& options, int* validCount, int* invalidCount);
};

} // namespace Vantrel::Utils
