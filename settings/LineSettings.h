#pragma once

#include <QString>

// Per-port settings of the serial line, kept in a section of their own in TZR_USR.ini so the
// four keys of section "TZR" stay as they are: [LineEcho] COM20=1 for a two-wire line that
// echoes what is sent.
class LineSettings
{
public:
    explicit LineSettings(const QString &iniPath) : m_path(iniPath) {}

    bool echoes(const QString &port) const;
    // Raises IoError when the file cannot be written.
    void setEchoes(const QString &port, bool on);

    static inline const QString Section = QStringLiteral("LineEcho");

private:
    QString m_path;
};
