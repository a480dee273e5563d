#pragma once

#include <QString>

// The link <Korvel folder>/ports/COM<n> through which the program finds the stand-in's pty.
// It is removed on destruction, unless another stand-in has taken the name over meanwhile.
class PortLink
{
public:
    // $XDG_DATA_HOME/Korvel, or ~/.local/share/Korvel when XDG_DATA_HOME is unset or empty.
    static QString korvelFolder();
    static QString linkPath(int comNumber);

    PortLink() = default;
    PortLink(const PortLink &) = delete;
    PortLink &operator=(const PortLink &) = delete;
    ~PortLink();

    // Creates the missing folders, replaces an older link of that name (a stand-in that did not
    // exit cleanly leaves one behind) and refuses to replace anything that is not a link.
    bool create(const QString &path, const QString &target, QString *error);
    void remove();
    QString path() const { return m_path; }

private:
    QString m_path;
    QString m_target;
};
