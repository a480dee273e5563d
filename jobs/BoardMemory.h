#pragma once

#include "DataFileRef.h"
#include "UserArea.h"

#include <optional>

// What the data file remembers of a board after a full transfer: the user area it now holds,
// or nothing once the board may hold anything.
class BoardMemory
{
public:
    // area null forgets. Returns the error's text when the file could not take it, else empty:
    // the transfer itself stands, and a send of changes will then ask for a full send.
    static QString remember(const DataFileRef &file, int board, const UserArea *area);
    // What the file remembers the board holding; nothing when it remembers nothing or cannot be read.
    static std::optional<UserArea> recall(const DataFileRef &file, int board);
};
