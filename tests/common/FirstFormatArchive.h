// An archive file in the first format, before partial serial numbers were marked: one message of `receiver`.
#pragma once

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

// The error, empty when written.
inline QString writeFirstFormatArchive(const QString& path, const QString& receiver)
{
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("first"));
        db.setDatabaseName(path);
        if (!db.open())
            return db.lastError().text();
        QSqlQuery q(db);
        for (const QString& statement : {
                 QString("CREATE TABLE messages (id INTEGER PRIMARY KEY, receiver TEXT NOT NULL, generation INTEGER NOT NULL,"
                         " live INTEGER NOT NULL, time_ms INTEGER NOT NULL, platform_id TEXT NOT NULL, frequency INTEGER NOT NULL,"
                         " slot INTEGER NOT NULL, direction INTEGER NOT NULL, mean_direction INTEGER NOT NULL,"
                         " direction_valid INTEGER NOT NULL, position_valid INTEGER NOT NULL, period_valid INTEGER NOT NULL,"
                         " crc_ok INTEGER NOT NULL, band INTEGER NOT NULL, modulation INTEGER NOT NULL, level INTEGER NOT NULL,"
                         " period INTEGER NOT NULL, latitude REAL NOT NULL, longitude REAL NOT NULL,"
                         " receiver_direction INTEGER NOT NULL, raw_payload BLOB NOT NULL, payload BLOB NOT NULL,"
                         " flash_position INTEGER NOT NULL)"),
                 QString("CREATE UNIQUE INDEX messages_once ON messages (receiver, time_ms, platform_id, frequency, raw_payload)"),
                 QString("CREATE INDEX messages_by_platform ON messages (platform_id, time_ms)"),
                 QString("INSERT INTO messages VALUES (1, '%1', 2, 0, 1763683210000, 'A1B2C3D', 401650000, -1, 123, 0,"
                         " 0, 0, 0, 1, 0, 0, -120, 0, 0, 0, 0, x'0102A0', x'0102A0', 0)").arg(receiver),
                 QString("PRAGMA user_version=1")}) {
            if (!q.exec(statement) && error.isEmpty())
                error = q.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("first"));
    return error;
}
