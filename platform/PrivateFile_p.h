#pragma once

#include <QString>

#include <functional>

namespace PrivateFile {

// Tests only: called with the temporary file's name right after an owner-only write created it,
// before any byte is written.
extern std::function<void(const QString &temporary)> afterCreate;

} // namespace PrivateFile
