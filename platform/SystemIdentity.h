#pragma once

#include <QString>

// Who runs the program and where, as an operations log names them.
namespace SystemIdentity {
// The login name of the effective user, from the user database (not the environment, which the
// caller controls); the user number when the database has no entry.
QString userName();
QString hostName();
} // namespace SystemIdentity
