#pragma once

#include <QString>

// The shell special folders of the current user, as the XDG base directories give them on Linux.
class SpecialFolder
{
public:
    static constexpr int LocalAppData = 28;

    // The folder's path without a trailing separator; empty when it cannot be determined or the
    // number is not one we know.
    static QString path(int folder);

    // The folder of the configuration, language and template files. With no local application
    // data folder this is "/Korvel", the "\Korvel at the root of the drive" of the Windows build.
    // Nothing here creates it: the installation does.
    static QString korvelFolder();

    // The working directory used when none is configured, standing for the Windows "C:\KORVEL"
    // ("/KORVEL" when the home folder is unknown).
    static QString defaultWorkingDirectory();

    // The user's home folder, or empty when unknown.
    static QString home();

    // "$XDG_STATE_HOME/Korvel", or "~/.local/state/Korvel" when that is unset or relative.
    static QString korvelStateFolder();

    // Where debug log files go: the program's folder when it can be written (a build tree), else
    // korvelStateFolder(), created when missing (an installed program's folder belongs to root).
    static QString debugLogFolder(const QString &programFolder);
};
