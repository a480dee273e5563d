#pragma once

#include <QStringList>

#include <functional>

// Runs a test body that relies on file permissions binding the caller. An ordinary user runs it
// in place; the superuser (CI runs as root, and permissions do not bind root) runs it in a
// forked child that first hands the given folders, recursively, to the unprivileged user
// "nobody" and then becomes that user. The child's QtTest failures are reported as usual and its
// status fails the test in the parent. Returns false when the child could not be run.
[[nodiscard]] bool asUnprivilegedUser(const QStringList &folders, const std::function<void()> &body);
