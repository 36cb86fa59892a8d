#include "locate/GisExport.h"

#include <GeographicLib/Geodesic.hpp>
#include <QDateTime>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QXmlStreamWriter>
#include <algorithm>
#include <cmath>

namespace Vantrel::Locate {

namespace {

using Platform_t = SearchLog::Platform_t;
using LatLon_t = QPair<double, double>;

QString coordinate(double degrees)
{
    return QString::number(degrees, 'f', 7);  // about a centimetre
}

QString isoTime(qint64 timeMs)
{
    return QDateTime::fromMSecsSinceEpoch(timeMs, Qt::UTC).toString(Qt::ISODateWithMs);
}

QString title(const Platform_t& platform)
{
    return platform.label.isEmpty() ? platform.id : QStringLiteral("%1 (%2)").arg(platform.label, platform.id);
}

QString summary(const Platform_t& platform)
{
    return fixSummary(platform.fix, platform.receiverLatitude, platform.receiverLongitude);
}

// The ellipse outline counterclockwise, as exterior rings go.
QVector<LatLon_t> ellipseRing(const Fix_t& fix)
{
    QVector<LatLon_t> ring = ellipseOutline(fix);
    double area = 0.0;
    for (int i = 1; i < ring.size(); ++i) {
        area += ring[i - 1].second * ring[i].first - ring[i].second * ring[i - 1].first;
    }
    if (area < 0.0) {
        std::reverse(ring.begin(), ring.end());
    }
    return ring;
}

void writeKmlCoordinates(QXmlStreamWriter& xml, const QVector<LatLon_t>& points)
{
    QStringList tuples;
    for (const LatLon_t& point : points) {
        tuples << coordinate(point.second) + QLatin1Char(',') + coordinate(point.first);
    }
    xml.writeTextElement(QStringLiteral("coordinates"), tuples.join(QLatin1Char(' ')));
}

QJsonArray position(double latitude, double longitude)
{
    return {std::round(longitude * 1e7) / 1e7, std::round(latitude * 1e7) / 1e7};
}

// "Highest-likelihood region, 12.40 km², unlike the ellipse"
QString regionDescription(const LikelihoodRegion& region)
{
    const QString area = region.areaM2() < 1.0e6 ? QStringLiteral("%1 m²").arg(region.areaM2(), 0, 'f', 0)
                                                 : QStringLiteral("%1 km²").arg(region.areaM2() / 1.0e6, 0, 'f', 2);
    return QStringLiteral("Highest-likelihood region, %1%2%3")
        .arg(area, region.departs() ? QStringLiteral(", unlike the ellipse") : QString(),
             region.open() ? QStringLiteral(", runs on past the edge drawn") : QString());
}

QJsonObject feature(const QString& type, const QJsonValue& coordinates, const QJsonObject& properties)
{
    return {{QStringLiteral("type"), QStringLiteral("Feature")},
            {QStringLiteral("geometry"),
             QJsonObject{{QStringLiteral("type"), type}, {QStringLiteral("coordinates"), coordinates}}},
            {QStringLiteral("properties"), properties}};
}

} // namespace

QString GisExport::describeBearing(const Platform_t& platform, int index)
{
    const Bearing_t& bearing = platform.bearings.at(index);
    const double r = platform.residualDeg(index);
    return QStringLiteral("%1, %2°, %3 dBm, residual %4%5")
        .arg(bearing.timeMs ? isoTime(bearing.timeMs) : QStringLiteral("no time"))
        .arg(bearing.azimuth, 0, 'f', 1)
        .arg(bearing.level)
        .arg(std::isnan(r) ? QStringLiteral("none") : QStringLiteral("%1°").arg(r, 0, 'f', 1))
        .arg(platform.downWeighted(index) ? QStringLiteral(", down-weighted") : QString());
}

void GisExport::rayEnd(const Bearing_t& bearing, const Fix_t& fix, double offsetDeg, double* latitude,
                       double* longitude)
{
    const GeographicLib::Geodesic& geodesic = GeographicLib::Geodesic::WGS84();
    const double azimuth = bearing.azimuth + offsetDeg;
    double length = defaultRayM;
    if (fix.ok()) {
        double distance = 0.0, toFix = 0.0, back = 0.0;
        geodesic.Inverse(bearing.latitude, bearing.longitude, fix.latitude, fix.longitude, distance, toFix, back);
        const double along = distance * std::cos((toFix - azimuth) * M_PI / 180.0);
        // A little past the fix, so that the lines are seen to cross there.
        if (along > 0.0) {
            length = along * 1.25;
        }
    }
    geodesic.Direct(bearing.latitude, bearing.longitude, azimuth, length, *latitude, *longitude);
}

QByteArray GisExport::gpx(const Platform_t& platform)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("gpx"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.topografix.com/GPX/1/1"));
    xml.writeAttribute(QStringLiteral("version"), QStringLiteral("1.1"));
    xml.writeAttribute(QStringLiteral("creator"), QStringLiteral("Vantrel"));
    xml.writeStartElement(QStringLiteral("metadata"));
    xml.writeTextElement(QStringLiteral("name"), title(platform));
    xml.writeEndElement();

    const auto waypoint = [&xml](double latitude, double longitude, qint64 timeMs, const QString& name,
                                 const QString& description) {
        xml.writeStartElement(QStringLiteral("wpt"));
        xml.writeAttribute(QStringLiteral("lat"), coordinate(latitude));
        xml.writeAttribute(QStringLiteral("lon"), coordinate(longitude));
        if (timeMs) {
            xml.writeTextElement(QStringLiteral("time"), isoTime(timeMs));
        }
        xml.writeTextElement(QStringLiteral("name"), name);
        xml.writeTextElement(QStringLiteral("desc"), description);
        xml.writeEndElement();
    };
    if (platform.fix.ok()) {
        waypoint(platform.fix.latitude, platform.fix.longitude, platform.receiverTimeMs,
                 QStringLiteral("Fix %1").arg(title(platform)), summary(platform));
        }
    for (const SearchLog::PayloadPosition_t& sent : platform.payloadPositions) {
        waypoint(sent.latitude, sent.longitude, sent.timeMs, QStringLiteral("Sent by %1").arg(title(platform)),
                 QStringLiteral("Position decoded from the payload"));
        }

    xml.writeStartElement(QStringLiteral("trk"));
    xml.writeTextElement(QStringLiteral("name"), QStringLiteral("Receiver"));
    xml.writeStartElement(QStringLiteral("trkseg"));
    for (int index : platform.timeOrder()) {
        const Bearing_t& bearing = platform.bearings.at(index);
        xml.writeStartElement(QStringLiteral("trkpt"));
        xml.writeAttribute(QStringLiteral("lat"), coordinate(bearing.latitude));
        xml.writeAttribute(QStringLiteral("lon"), coordinate(bearing.longitude));
        if (bearing.timeMs) {
            xml.writeTextElement(QStringLiteral("time"), isoTime(bearing.timeMs));
        }
        xml.writeEndElement();
    }
    xml.writeEndDocument();
    return out;
}

QByteArray GisExport::kml(const Platform_t& platform, double offsetDeg, const LikelihoodRegion& region,
                          const QVector<double>& receiverOffsetsDeg)
{
    QByteArray out;
    QXmlStreamWriter xml(&out);
    xml.setAutoFormatting(true);
    xml.writeStartDocument();
    xml.writeStartElement(QStringLiteral("kml"));
    xml.writeDefaultNamespace(QStringLiteral("http://www.opengis.net/kml/2.2"));
    xml.writeStartElement(QStringLiteral("Document"));
    xml.writeTextElement(QStringLiteral("name"), title(platform));
    // Line colours are aabbggrr: red bearings, grey down-weighted ones, a blue ellipse.
    for (const auto& [id, colour] : {std::pair{"bearing", "ff1e1ee0"}, std::pair{"downWeighted", "ff9a9a9a"},
                                     std::pair{"ellipse", "ffd07010"}}) {
        xml.writeStartElement(QStringLiteral("Style"));
        xml.writeAttribute(QStringLiteral("id"), QLatin1String(id));
        xml.writeStartElement(QStringLiteral("LineStyle"));
        xml.writeTextElement(QStringLiteral("color"), QLatin1String(colour));
        xml.writeTextElement(QStringLiteral("width"), QStringLiteral("2"));
        xml.writeEndElement();
        xml.writeStartElement(QStringLiteral("PolyStyle"));
        xml.writeTextElement(QStringLiteral("fill"), QStringLiteral("0"));
        xml.writeEndElement();
        xml.writeEndElement();
    }
    const bool withRegion = platform.fix.ok() && !region.isEmpty();
    if (withRegion) {
        // An orange outline, apart from the ellipse's blue.
        xml.writeStartElement(QStringLiteral("Style"));
        xml.writeAttribute(QStringLiteral("id"), QStringLiteral("region"));
        xml.writeStartElement(QStringLiteral("LineStyle"));
        xml.writeTextElement(QStringLiteral("color"), QStringLiteral("ff0080ff"));
        xml.writeTextElement(QStringLiteral("width"), QStringLiteral("2"));
        xml.writeEndElement();
        xml.writeStartElement(QStringLiteral("PolyStyle"));
        xml.writeTextElement(QStringLiteral("fill"), QStringLiteral("0"));
        xml.writeEndElement();
        xml.writeEndElement();
    }

    // One folder per kind of feature, so that each reads as a layer of one geometry type.
    const auto placemark = [&xml](const QString& name, const QString& description, qint64 timeMs,
                                  const QString& style) {
        xml.writeStartElement(QStringLiteral("Placemark"));
        xml.writeTextElement(QStringLiteral("name"), name);
        xml.writeTextElement(QStringLiteral("description"), description);
        if (timeMs) {
            xml.writeStartElement(QStringLiteral("TimeStamp"));
            xml.writeTextElement(QStringLiteral("when"), isoTime(timeMs));
            xml.writeEndElement();
        }
        if (!style.isEmpty()) {
            xml.writeTextElement(QStringLiteral("styleUrl"), QLatin1Char('#') + style);
        }
    };
    const auto point = [&xml](double latitude, double longitude) {
        xml.writeStartElement(QStringLiteral("Point"));
        writeKmlCoordinates(xml, {{latitude, longitude}});
        xml.writeEndElement();
    };
    const auto folder = [&xml](const QString& name) {
        xml.writeStartElement(QStringLiteral("Folder"));
        xml.writeTextElement(QStringLiteral("name"), name);
    };
    if (platform.fix.ok()) {
        folder(QStringLiteral("Fix"));
        placemark(QStringLiteral("Fix %1").arg(title(platform)), summary(platform), platform.receiverTimeMs, {});
        point(platform.fix.latitude, platform.fix.longitude);
        xml.writeEndElement();  // Placemark
        xml.writeEndElement();  // Folder
        folder(QStringLiteral("Ellipse"));
        placemark(QStringLiteral("95 % ellipse"),
                  QStringLiteral("%1 × %2 m, major axis at %3°")
                      .arg(platform.fix.semiMajorM, 0, 'f', 0)
                      .arg(platform.fix.semiMinorM, 0, 'f', 0)
                      .arg(platform.fix.majorAzimuthDeg, 0, 'f', 0),
                  0, QStringLiteral("ellipse"));
        xml.writeStartElement(QStringLiteral("Polygon"));
        xml.writeStartElement(QStringLiteral("outerBoundaryIs"));
        xml.writeStartElement(QStringLiteral("LinearRing"));
        writeKmlCoordinates(xml, ellipseRing(platform.fix));
        xml.writeEndElement();
        xml.writeEndElement();
        xml.writeEndElement();
        xml.writeEndElement();  // Placemark
        xml.writeEndElement();  // Folder
    }
    if (withRegion) {
        folder(QStringLiteral("Region"));
        placemark(QStringLiteral("95 % region"), regionDescription(region), 0, QStringLiteral("region"));
        const bool several = region.polygons().size() > 1;
        if (several) {
            xml.writeStartElement(QStringLiteral("MultiGeometry"));
        }
        for (const LikelihoodRegion::Polygon_t& polygon : region.polygons()) {
            xml.writeStartElement(QStringLiteral("Polygon"));
            for (int r = 0; r < polygon.size(); ++r) {
                xml.writeStartElement(r == 0 ? QStringLiteral("outerBoundaryIs") : QStringLiteral("innerBoundaryIs"));
                xml.writeStartElement(QStringLiteral("LinearRing"));
                writeKmlCoordinates(xml, polygon.at(r));
                xml.writeEndElement();
                xml.writeEndElement();
            }
            xml.writeEndElement();  // Polygon
        }
        if (several) {
            xml.writeEndElement();
        }
        xml.writeEndElement();  // Placemark
        xml.writeEndElement();  // Folder
    }
    folder(QStringLiteral("Bearings"));
    for (int index = 0; index < platform.bearings.size(); ++index) {
        const Bearing_t& bearing = platform.bearings.at(index);
        placemark(QStringLiteral("%1°").arg(bearing.azimuth, 0, 'f', 0), describeBearing(platform, index),
                  bearing.timeMs,
                  platform.downWeighted(index) ? QStringLiteral("downWeighted") : QStringLiteral("bearing"));
        double latitude = 0.0, longitude = 0.0;
        rayEnd(bearing, platform.fix, receiverOffsetsDeg.value(platform.receiverIndex.value(index), offsetDeg),
               &latitude, &longitude);
        xml.writeStartElement(QStringLiteral("LineString"));
        writeKmlCoordinates(xml, {{bearing.latitude, bearing.longitude}, {latitude, longitude}});
        xml.writeEndElement();
        xml.writeEndElement();  // Placemark
    }
    xml.writeEndElement();  // Folder
    if (!platform.payloadPositions.isEmpty()) {
        folder(QStringLiteral("Positions sent"));
        for (const SearchLog::PayloadPosition_t& sent : platform.payloadPositions) {
            placemark(QStringLiteral("Sent"), QStringLiteral("Position decoded from the payload"), sent.timeMs, {});
            point(sent.latitude, sent.longitude);
            xml.writeEndElement();
        }
        xml.writeEndElement();
    }
    folder(QStringLiteral("Receiver"));
    placemark(QStringLiteral("Receiver track"), QStringLiteral("Where the bearings were taken"), 0, {});
    QVector<LatLon_t> track;
    for (int index : platform.timeOrder()) {
        track.append({platform.bearings.at(index).latitude, platform.bearings.at(index).longitude});
    }
    // A line needs two points; a receiver that never moved is one place, a point.
    if (track.size() > 1) {
        xml.writeStartElement(QStringLiteral("LineString"));
        writeKmlCoordinates(xml, track);
        xml.writeEndElement();
    } else {
        point(track.value(0).first, track.value(0).second);
    }
    xml.writeEndDocument();
    return out;
}

QByteArray GisExport::geoJson(const Platform_t& platform, double offsetDeg, const LikelihoodRegion& region,
                              const QVector<double>& receiverOffsetsDeg)
{
    QJsonArray features;
    const Fix_t& fix = platform.fix;
    const QJsonObject common{{QStringLiteral("platform"), platform.id}, {QStringLiteral("label"), platform.label}};
    const auto with = [&common](std::initializer_list<QPair<QString, QJsonValue>> extra) {
        QJsonObject properties = common;
        for (const auto& [key, value] : extra) {
            properties.insert(key, value);
        }
        return properties;
    };
    if (fix.ok()) {
        features.append(feature(QStringLiteral("Point"), position(fix.latitude, fix.longitude),
                                with({{QStringLiteral("kind"), QStringLiteral("fix")},
                                      {QStringLiteral("summary"), summary(platform)},
                                      {QStringLiteral("estimator"), estimatorName(fix.estimator)},
                                      {QStringLiteral("semiMajorM"), fix.semiMajorM},
                                      {QStringLiteral("semiMinorM"), fix.semiMinorM},
                                      {QStringLiteral("majorAzimuthDeg"), fix.majorAzimuthDeg},
                                      {QStringLiteral("sigmaDeg"), fix.sigmaDeg},
                                      {QStringLiteral("bearings"), fix.used},
                                      {QStringLiteral("downWeighted"), fix.downWeighted}})));
        QJsonArray ring;
        for (const LatLon_t& point : ellipseRing(fix)) {
            ring.append(position(point.first, point.second));
        }
        features.append(feature(QStringLiteral("Polygon"), QJsonArray{ring},
                                with({{QStringLiteral("kind"), QStringLiteral("ellipse95")}})));
    }
    if (fix.ok() && !region.isEmpty()) {
        QJsonArray polygons;
        for (const LikelihoodRegion::Polygon_t& polygon : region.polygons()) {
            QJsonArray rings;
            for (const LikelihoodRegion::Ring_t& ring : polygon) {
                QJsonArray positions;
                for (const LatLon_t& point : ring) {
                    positions.append(position(point.first, point.second));
                }
                rings.append(positions);
            }
            polygons.append(rings);
        }
        const bool several = polygons.size() > 1;
        features.append(feature(several ? QStringLiteral("MultiPolygon") : QStringLiteral("Polygon"),
                                several ? polygons : polygons.first(),
                                with({{QStringLiteral("kind"), QStringLiteral("region95")},
                                      {QStringLiteral("name"), QStringLiteral("95 % region")},
                                      {QStringLiteral("summary"), regionDescription(region)},
                                      {QStringLiteral("areaM2"), region.areaM2()},
                                      {QStringLiteral("departsFromEllipse"), region.departs()},
                                      {QStringLiteral("open"), region.open()}})));
    }
    for (int index = 0; index < platform.bearings.size(); ++index) {
        const Bearing_t& bearing = platform.bearings.at(index);
        double latitude = 0.0, longitude = 0.0;
        rayEnd(bearing, fix, receiverOffsetsDeg.value(platform.receiverIndex.value(index), offsetDeg), &latitude,
               &longitude);
        const double r = platform.residualDeg(index);
        features.append(feature(
            QStringLiteral("LineString"),
            QJsonArray{position(bearing.latitude, bearing.longitude), position(latitude, longitude)},
            with({{QStringLiteral("kind"), QStringLiteral("bearing")},
                  {QStringLiteral("time"), bearing.timeMs ? QJsonValue(isoTime(bearing.timeMs)) : QJsonValue()},
                  {QStringLiteral("bearingDeg"), bearing.azimuth},
                  {QStringLiteral("levelDbm"), bearing.level},
                  {QStringLiteral("residualDeg"), std::isnan(r) ? QJsonValue() : QJsonValue(r)},
                  {QStringLiteral("downWeighted"), platform.downWeighted(index)},
                  {QStringLiteral("live"), platform.live.value(index)}})));
    }
    for (const SearchLog::PayloadPosition_t& sent : platform.payloadPositions) {
        features.append(feature(QStringLiteral("Point"), position(sent.latitude, sent.longitude),
                                with({{QStringLiteral("kind"), QStringLiteral("sent")},
                                      {QStringLiteral("time"), sent.timeMs ? QJsonValue(isoTime(sent.timeMs))
                                                                           : QJsonValue()}})));
                                      }
    QJsonArray track;
    for (int index : platform.timeOrder()) {
        track.append(position(platform.bearings.at(index).latitude, platform.bearings.at(index).longitude));
    }
    if (track.size() > 1) {
        features.append(feature(QStringLiteral("LineString"), track,
                                with({{QStringLiteral("kind"), QStringLiteral("receiverTrack")}})));
        }
    const QJsonObject collection{{QStringLiteral("type"), QStringLiteral("FeatureCollection")},
                                 {QStringLiteral("features"), features}};
    return QJsonDocument(collection).toJson(QJsonDocument::Indented);
}

QByteArray GisExport::text(Format_t format, const Platform_t& platform, double offsetDeg,
                           const LikelihoodRegion& region, const QVector<double>& receiverOffsetsDeg)
{
    switch (format) {
    case FORMAT_GPX: return gpx(platform);
    case FORMAT_KML: return kml(platform, offsetDeg, region, receiverOffsetsDeg);
    case FORMAT_GEOJSON: return geoJson(platform, offsetDeg, region, receiverOffsetsDeg);
    }
    return {};
}

QString GisExport::write(const QString& fileName, Format_t format, const Platform_t& platform, double offsetDeg,
                         const LikelihoodRegion& region, const QVector<double>& receiverOffsetsDeg)
{
    QSaveFile file(fileName);
    const QByteArray content = text(format, platform, offsetDeg, region, receiverOffsetsDeg);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size() || !file.commit()) {
        return QStringLiteral("%1 was not written: %2").arg(QDir::toNativeSeparators(fileName), file.errorString());
    }
    return QString();
}

} // namespace Vantrel::Locate
