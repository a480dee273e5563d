#pragma once

#include <QString>

// The kind of the data file's side records that hold the board images, one per board number.
inline const QString SYNC_IMAGE_KIND = QStringLiteral("sync-image");
