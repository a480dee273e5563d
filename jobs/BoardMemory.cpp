#include "BoardMemory.h"

#include "Clock.h"
#include "SyncImageStore.h"
#include "TzrError.h"

QString BoardMemory::remember(const DataFileRef &file, int board, const UserArea *area)
{
    if (file.isEmpty())
        return QString();
    try {
        SyncImageStore store(file.directory, file.table);
        if (area)
            store.save(SyncImage{board, Clock().now().toUTC(), *area});
        else
            store.forget(board);
    } catch (const TzrError &e) {
        return e.message();
    } catch (const std::exception &e) {
        return QString::fromLocal8Bit(e.what());
    }
    return QString();
}

std::optional<UserArea> BoardMemory::recall(const DataFileRef &file, int board)
{
    if (file.isEmpty())
        return std::nullopt;
    try {
        if (const std::optional<SyncImage> image = SyncImageStore(file.directory, file.table).load(board))
            return image->area;
    } catch (const std::exception &) {
    }
    return std::nullopt;
}
