#include "Unprivileged.h"

#include <QDirIterator>
#include <QFile>
#include <QTest>

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr uid_t NOBODY = 65534;

bool handOver(const QString &folder)
{
    if (::chown(QFile::encodeName(folder).constData(), NOBODY, NOBODY) != 0)
        return false;
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        if (::lchown(QFile::encodeName(it.next()).constData(), NOBODY, NOBODY) != 0)
            return false;
    }
    return true;
}

} // namespace

bool asUnprivilegedUser(const QStringList &folders, const std::function<void()> &body)
{
    if (::geteuid() != 0) {
        body();
        return true;
    }
    std::fflush(stdout);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        for (const QString &folder : folders) {
            if (!handOver(folder))
                ::_exit(3);
        }
        if (::setgroups(0, nullptr) != 0 || ::setresgid(NOBODY, NOBODY, NOBODY) != 0 ||
            ::setresuid(NOBODY, NOBODY, NOBODY) != 0 || ::geteuid() == 0)
            ::_exit(3);
        body();
        std::fflush(stdout);
        ::_exit(QTest::currentTestFailed() ? 1 : 0);
    }
    int status = 0;
    if (::waitpid(child, &status, 0) != child)
        return false;
    // Back to the superuser, so the test's own clean-up works as it would for its owner.
    for (const QString &folder : folders) {
        QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                        QDirIterator::Subdirectories);
        ::chown(QFile::encodeName(folder).constData(), 0, 0);
        while (it.hasNext())
            ::lchown(QFile::encodeName(it.next()).constData(), 0, 0);
    }
    if (!WIFEXITED(status) || WEXITSTATUS(status) == 3) {
        qWarning("the unprivileged child could not be started as user nobody");
        return false;
    }
    return WEXITSTATUS(status) == 0;
}
