#pragma once

#include <QString>

// The data files the package installs (template family, language file), copied from a build's
// data/ folder into a test's own Korvel folder, which is made when missing.
[[nodiscard]] bool copyInstalledData(const QString &buildDir, const QString &korvel);
