#include "utils/PlatformsFile.h"

#include <functional>
#include <utility>

#include "inhouse/Exception.h"

namespace Vantrel::Utils {

namespace {

using PlatformInfo_t = Com::DfrLink::PlatformInfo_t;

using Tarsk::Utils::fail;
constexpr auto badInput = Tarsk::Utils::Exception::KIND_BAD_INPUT;

QString flag(bool value)
{
    return value ? QStringLiteral("1") : QStringLiteral("0");
}

quint16 polynomOf(QString text, bool& ok)
{
    if (text.startsWith(QLatin1String("0x"), Qt::CaseInsensitive)) {
        text.remove(0, 2);
    }
    const quint32 value = text.toUInt(&ok, 16);
    return quint16(value & 0xFFFF);
}

// One column of the file: its title, how a record writes it and how it reads it
// back (false when the text is not what the column holds).
struct Column_t
{
    QString title;
    std::function<QString(const PlatformInfo_t&)> write;
    std::function<bool(PlatformInfo_t&, const QString&)> read;
};

// A text column takes any text.
template <typename Set>
std::function<bool(PlatformInfo_t&, const QString&)> text(Set set)
{
    return [set](PlatformInfo_t& i, const QString& t) {
        set(i, t);
        return true;
    };
}

// A decimal column: a signed 32-bit number, stored only when it is one.
template <typename Set>
std::function<bool(PlatformInfo_t&, const QString&)> number(Set set)
{
    return [set](PlatformInfo_t& i, const QString& t) {
        bool ok = false;
        const qint32 value = t.toInt(&ok);
        if (ok) {
            set(i, value);
        }
        return ok;
    };
}

template <typename Field>
Column_t decimalColumn(const QString& title, Field PlatformInfo_t::*field)
{
    // Written back as the signed number it was read as, so that the file reads again the same.
    return {title, [field](const PlatformInfo_t& i) { return QString::number(qint32(i.*field)); },
            number([field](PlatformInfo_t& i, qint32 v) { i.*field = Field(v); })};
}

template <typename Field>
Column_t formatColumn(const QString& title, Field GpsFormat_t::*field)
{
    return {title, [field](const PlatformInfo_t& i) { return QString::number(qint32(i.gpsFormat.*field)); },
            number([field](PlatformInfo_t& i, qint32 v) { i.gpsFormat.*field = Field(v); })};
}

Column_t coordColumn(const QString& title, CoordInfo_t GpsFormat_t::*coord, qint32 CoordInfo_t::*field)
{
    return {title, [coord, field](const PlatformInfo_t& i) { return QString::number(i.gpsFormat.*coord.*field); },
            number([coord, field](PlatformInfo_t& i, qint32 v) { i.gpsFormat.*coord.*field = v; })};
}

const QList<Column_t>& columns()
{
    static const QList<Column_t> all = [] {
        QList<Column_t> c;
        c.append({QStringLiteral("Index"), [](const PlatformInfo_t& i) { return QString::number(quint32(i.index)); },
                  [](PlatformInfo_t& i, const QString& t) {
                      bool ok = false;
                      i.index = qint32(t.toUInt(&ok));
                      return ok;
                  }});
        c.append({QStringLiteral("Occupied"), [](const PlatformInfo_t& i) { return flag(i.occupied); },
                  number([](PlatformInfo_t& i, qint32 v) { i.occupied = v != 0; })});
        c.append({QStringLiteral("Platform ID Type"),
                  [](const PlatformInfo_t& i) { return QString::number(qint32(i.platformIdType)); },
                  number([](PlatformInfo_t& i, qint32 v) { i.platformIdType = quint32(v); })});
        c.append({QStringLiteral("Orvan ID"), [](const PlatformInfo_t& i) { return i.platformId; },
                  text([](PlatformInfo_t& i, const QString& t) { i.platformId = t; })});
        c.append({QStringLiteral("Label"), [](const PlatformInfo_t& i) { return i.label; },
                  text([](PlatformInfo_t& i, const QString& t) { i.label = t; })});
        c.append({QStringLiteral("GPS Mode Enabled"), [](const PlatformInfo_t& i) { return flag(i.gpsModeEnabled); },
                  number([](PlatformInfo_t& i, qint32 v) { i.gpsModeEnabled = v != 0; })});
        c.append({QStringLiteral("GPS Format Name"), [](const PlatformInfo_t& i) { return i.gpsFormat.name; },
                  text([](PlatformInfo_t& i, const QString& t) { i.gpsFormat.name = t; })});
        c.append(formatColumn(QStringLiteral("Payload Length"), &GpsFormat_t::payloadLen));
        c.append(formatColumn(QStringLiteral("GPS Index Start"), &GpsFormat_t::indexPos));
        c.append({QStringLiteral("GPS Idx Check"), [](const PlatformInfo_t& i) { return flag(i.gpsFormat.gpsCheck); },
                  number([](PlatformInfo_t& i, qint32 v) { i.gpsFormat.gpsCheck = v != 0; })});
        // Sign position, sign length, position, bit length and the T, U, V, W, TY factors.
        static const QStringList coordTitles = {
            QStringLiteral("Sign Pos"), QStringLiteral("Sign Length"), QStringLiteral("Pos"),
            QStringLiteral("Bit Length"), QStringLiteral("T"), QStringLiteral("U"),
            QStringLiteral("V"), QStringLiteral("W"), QStringLiteral("TY")};
        for (const auto& [prefix, coord] : {std::pair{QStringLiteral("Lat "), &GpsFormat_t::lat},
                                            std::pair{QStringLiteral("Long "), &GpsFormat_t::lon}}) {
            for (int f = 0; f < coordInfoFieldCount; ++f) {
                c.append(coordColumn(prefix + coordTitles.at(f), coord, coordInfoFields[f]));
            }
        }
        c.append(formatColumn(QStringLiteral("Encryption Type"), &GpsFormat_t::encryptionType));
        c.append({QStringLiteral("CRC Polynom Value"),
                  [](const PlatformInfo_t& i) { return QStringLiteral("0x") + QString::number(i.gpsFormat.polynom, 16); },
                  [](PlatformInfo_t& i, const QString& t) {
                      bool ok = false;
                      i.gpsFormat.polynom = polynomOf(t, ok);
                      return ok;
                  }});
        c.append(formatColumn(QStringLiteral("CRC Start Position"), &GpsFormat_t::crcPos));
        c.append(formatColumn(QStringLiteral("CRC Length"), &GpsFormat_t::crcLen));
        c.append(formatColumn(QStringLiteral("Data Start Position"), &GpsFormat_t::dataPos));
        c.append(formatColumn(QStringLiteral("Data Length"), &GpsFormat_t::dataLen));
        c.append(decimalColumn(QStringLiteral("Repetition Period"), &PlatformInfo_t::repetitionPeriod));
        c.append(decimalColumn(QStringLiteral("Mean Direction Values"), &PlatformInfo_t::meanDirectionValues));
        c.append(decimalColumn(QStringLiteral("Orvan Band"), &PlatformInfo_t::band));
        c.append(decimalColumn(QStringLiteral("Orvan Modulation"), &PlatformInfo_t::modulation));
        c.append(decimalColumn(QStringLiteral("Orvan Frequency Mode"), &PlatformInfo_t::frequencyMode));
        c.append({QStringLiteral("Narrow Mode Frequency"),
                  [](const PlatformInfo_t& i) { return QString::number(i.narrowFrequencyHz); },
                  [](PlatformInfo_t& i, const QString& t) {
                      bool ok = false;
                      i.narrowFrequencyHz = t.toUInt(&ok);
                      return ok;
                  }});
        return c;
    }();
    return all;
}

constexpr int idColumn = 3;  // "Orvan ID": a refused identifier is named by its column

} // namespace

QStringList PlatformsFile::titles()
{
    QStringList names;
    for (const Column_t& column : columns()) {
        names.append(column.title);
    }
    return names;
}

QString PlatformsFile::line(const PlatformInfo_t& info)
{
    // Without GPS mode the format means nothing, and the receiver keeps what an import
    // writes in its place (zeros, a data length of 1, the name "0"); written as that
    // fixed form, with no name, such a slot reads back and exports again the same.
    PlatformInfo_t written = info;
    if (!info.gpsModeEnabled) {
        written.gpsFormat = GpsFormat_t();
        written.gpsFormat.dataLen = 1;
    }
    QStringList fields;
    for (const Column_t& column : columns()) {
        fields.append(column.write(written));
    }
    return fields.join(QLatin1Char(','));
}

QList<PlatformInfo_t> PlatformsFile::parse(const QByteArray& content, const QString& fileName,
                                           const QStringList& titles, quint32 slotCount)
{
    QList<PlatformInfo_t> platforms;
    quint32 next = 0;
    const QStringList lines = QString::fromUtf8(content).split(QLatin1Char('\n'));
    for (int number = 1; number <= lines.size(); ++number) {
        const QString& line = lines.at(number - 1);
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1Char('#'))) {
            continue;
        }
        if (next >= slotCount) {
            fail(badInput, QStringLiteral("Unable to read import whole platform file %1, too many platforms.").arg(fileName));
        }
        const QStringList fields = line.split(QLatin1Char(','), Qt::KeepEmptyParts);
        if (fields.size() != titles.size() || fields.size() != columns().size()) {
            fail(badInput, QStringLiteral("Unable to read platforms file %1, wrong number of columns. Columns shoud be %2.")
                     .arg(fileName, titles.join(QLatin1Char(','))));
            }
        // Every field is checked before anything on the receiver changes: the
        // message names the line and the column.
        const auto refuse = [&](int column, const QString& reason) {
            fail(badInput, QStringLiteral("Unable to read platforms file %1, line %2, column \"%3\": %4")
                     .arg(fileName)
                     .arg(number)
                     .arg(titles.at(column), reason));
        };
        PlatformInfo_t info;
        for (int i = 0; i < fields.size(); ++i) {
            if (!columns().at(i).read(info, fields.at(i))) {
                refuse(i, QStringLiteral("\"%1\" is not a number").arg(fields.at(i)));
            }
        }
        // A slot the receiver does not have is one platform too many.
        if (quint32(info.index) >= slotCount) {
            fail(badInput, QStringLiteral("Unable to read import whole platform file %1, too many platforms.").arg(fileName));
        }
        try {
            Com::DfrLink::checkPlatformInfo(info);
        } catch (const Tarsk::Utils::Exception& e) {
            if (!Com::DfrLink::isPlatformId(info.platformId)) {
                refuse(idColumn, e.message());
            }
            fail(badInput, QStringLiteral("Unable to read platforms file %1, line %2: %3").arg(fileName).arg(number).arg(e.message()));
        }
        platforms.append(info);
        next = quint32(info.index) + 1;
    }
    return platforms;
}

} // namespace Vantrel::Utils

namespace Vantrel::Ui {

const QMap<Com::DfrLink::DfrVersion_t, QStringList> platformsFileColumnsNames = {
    {Com::DfrLink::DFR_V1, Utils::PlatformsFile::titles()},
    {Com::DfrLink::DFR_V2, Utils::PlatformsFile::titles()},
};

} // namespace Vantrel::Ui
