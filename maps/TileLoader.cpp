#include "maps/TileLoader.h"

#include <QThread>

namespace Vantrel::Maps {

TileLoader::~TileLoader() = default;

void TileLoader::openFiles(int generation, const QStringList& paths)
{
    files.clear();
    queue.clear();
    current = generation;
    for (int index = 0; index < paths.size(); ++index) {
        const QString connection = QStringLiteral("vantrel-maps-%1-%2-%3")
                                       .arg(quintptr(QThread::currentThreadId()))
                                       .arg(++opening)
                                       .arg(index);
        auto file = std::make_unique<MbtilesFile>(paths.at(index), connection);
        if (file->open()) {
            Q_EMIT fileOpened(generation, index, file->info());
            files.push_back(std::move(file));
        } else {
            Q_EMIT fileFailed(generation, index, file->error());
            files.push_back(nullptr);
        }
    }
}

void TileLoader::want(int generation, const QVector<TileKey_t>& keys)
{
    if (generation != current) {
        return;
    }
    queue.assign(keys.cbegin(), keys.cend());
    if (!scheduled && !queue.empty()) {
        scheduled = true;
        QMetaObject::invokeMethod(this, &TileLoader::readNext, Qt::QueuedConnection);
    }
}

void TileLoader::readNext()
{
    scheduled = false;
    if (queue.empty()) {
        return;
    }
    const TileKey_t key = queue.front();
    queue.pop_front();
    QImage image;
    if (key.file >= 0 && key.file < int(files.size()) && files.at(key.file)) {
        const QByteArray data = files.at(key.file)->tile(key.zoom, key.x, key.y);
        if (!data.isEmpty()) {
            image = QImage::fromData(data);
        }
        // The painter draws these formats without converting them at every paint.
        if (!image.isNull()) {
            image = image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                                  : QImage::Format_RGB32);
        }
    }
    Q_EMIT tileReady(current, key, image);
    // One tile a turn: a newer wish list gets in between.
    if (!queue.empty()) {
        scheduled = true;
        QMetaObject::invokeMethod(this, &TileLoader::readNext, Qt::QueuedConnection);
    }
}

} // namespace Vantrel::Maps
