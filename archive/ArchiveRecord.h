#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <QVector>

#include "com/DfrLink.h"

namespace Vantrel::Archive {

// A message as the archive keeps it: the record as decoded, who heard it, and
// what was known of its platform when it was heard.
struct ArchiveRecord_t
{
    Com::DfrLink::OrvanRxMessage_t message;
    QString receiver;  // the receiver's serial number; empty when unknown
    // Kept before whole numbers were: two receivers sharing the first part read as one.
    bool partialReceiver = false;
    Com::DfrLink::DfrVersion_t generation = Com::DfrLink::DFR_UNDEFINEDVERSION;
    bool live = false;  // heard live, otherwise read from flash or from a dump
    QString label;      // the favourite's label at the time, empty when none
    bool payloadPosition = false;
    double payloadLatitude = 0.0;
    double payloadLongitude = 0.0;
};

// Which messages to load: an empty list takes every platform or receiver; a
// null time leaves that end open.
struct ArchiveQuery_t
{
    QStringList platformIds;
    QStringList receivers;
    QDateTime from;
    QDateTime to;
};

// What the archive holds, for choosing what to load.
struct ArchiveSummary_t
{
    struct Platform_t
    {
        QString id;
        QString label;  // the latest label it was heard under
        qint64 count = 0;
        QDateTime first;
        QDateTime last;
    };
    struct Receiver_t
    {
        QString serialNumber;
        bool partial = false;  // the first part of the number only
        Com::DfrLink::DfrVersion_t generation = Com::DfrLink::DFR_UNDEFINEDVERSION;
        qint64 count = 0;
        QDateTime first;
        QDateTime last;
    };
    QVector<Platform_t> platforms;
    QVector<Receiver_t> receivers;
    qint64 count = 0;
};

using ArchiveRecords_t = QVector<ArchiveRecord_t>;

} // namespace Vantrel::Archive

// Qt's own types and plain values only: a burst grows by moving memory, not records.
Q_DECLARE_TYPEINFO(Vantrel::Archive::ArchiveRecord_t, Q_RELOCATABLE_TYPE);

Q_DECLARE_METATYPE(Vantrel::Archive::ArchiveQuery_t)
Q_DECLARE_METATYPE(Vantrel::Archive::ArchiveSummary_t)
Q_DECLARE_METATYPE(Vantrel::Archive::ArchiveRecords_t)
