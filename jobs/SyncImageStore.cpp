#include "SyncImageStore.h"
#include "SyncImageStore_p.h"

namespace {

QString keyOf(int placa)
{
    return QString::number(placa);
}

} // namespace

SyncImageStore::SyncImageStore(const QString &directorio, const QString &nombre)
{
    m_cursor.open(directorio, nombre);
}

std::optional<SyncImage> SyncImageStore::load(int placa) const
{
    bool found = false;
    const QByteArray bytes = m_cursor.sideRecord(SYNC_IMAGE_KIND, keyOf(placa), &found);
    if (!found)
        return std::nullopt;
    std::optional<SyncImage> image = SyncImage::fromBytes(bytes);
    if (image && image->placa != placa)
        return std::nullopt;
    return image;
}

void SyncImageStore::save(const SyncImage &image)
{
    m_cursor.setSideRecord(SYNC_IMAGE_KIND, keyOf(image.placa), image.toBytes());
}

void SyncImageStore::forget(int placa)
{
    m_cursor.removeSideRecord(SYNC_IMAGE_KIND, keyOf(placa));
}

QList<int> SyncImageStore::boards() const
{
    QList<int> numbers;
    for (int placa = 0; placa < 32; ++placa) {
        if (load(placa))
            numbers << placa;
    }
    return numbers;
}
