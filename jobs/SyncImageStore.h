#pragma once

#include "TableCursor.h"
#include "UserArea.h"

#include <optional>

// The synchronisation images of one data file, kept inside its database member, one per board
// number. They travel with Save as and copies; a file made from the template has none.
class SyncImageStore
{
public:
    // Opens the data file's family, checking it as every handle does; raises TzrError.
    SyncImageStore(const QString &directorio, const QString &nombre);

    // nullopt when the file holds no image for the board, or a damaged one.
    std::optional<SyncImage> load(int placa) const;
    // Replaces the board's image; raises TzrError when the file cannot be written.
    void save(const SyncImage &image);
    void forget(int placa);
    // The board numbers, 0 to 31, the file holds a usable image of.
    QList<int> boards() const;

private:
    TableCursor m_cursor;
};
