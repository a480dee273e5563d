#include "DataFileSession.h"

#include "DataFileLock.h"
#include "SpecialFolder.h"
#include "TableFamily.h"
#include "TableStore.h"
#include "TzrError.h"

#include <QFileInfo>

namespace {

DataFileSession::Refusal refusal(DataFileSession::Refusal::Kind kind, const QString &file = {})
{
    DataFileSession::Refusal r;
    r.kind = kind;
    r.file = file;
    return r;
}

} // namespace

DataFileSession::DataFileSession(const QString &templateFolder)
    : m_templateFolder(templateFolder), m_lock(std::make_unique<DataFileLock>())
{
}

DataFileSession::~DataFileSession() = default;

QString DataFileSession::korvelFolder()
{
    return SpecialFolder::korvelFolder();
}

DataFileSession::Recovered DataFileSession::name(const QString &path, Access access)
{
    const QString base = TableFamily::baseOf(QFileInfo(path).absoluteFilePath());
    const QFileInfo info(base);
    m_directory = info.absolutePath() + QLatin1Char('/');
    m_tableName = info.fileName() + QStringLiteral(".db");
    m_base = base;
    m_newBase.clear();
    m_writes = access == Access::Writes;
    switch (TableFamily::recover(base)) {
    case TableFamily::Recovery::Nothing:
        break;
    case TableFamily::Recovery::Finished:
        return Recovered::Finished;
    case TableFamily::Recovery::Removed:
        return Recovered::Removed;
    }
    return Recovered::Nothing;
}

DataFileSession::Refusal DataFileSession::open(bool createFromTemplate)
{
    const QString base = m_base;
    if (TableFamily::exists(base)) {
        // Other faults of the file are the command's own to report when it opens the table.
        try {
            TableStore probe;
            probe.open(base);
        } catch (const ForeignSchema &e) {
            Refusal foreign = refusal(Refusal::Kind::Foreign, e.path());
            foreign.found = e.found();
            return foreign;
        } catch (const TzrError &) {
        }
        return m_writes ? lock(base) : Refusal{};
    }
    if (!createFromTemplate)
        return refusal(Refusal::Kind::NoFile, base);
    // Only checked here: the file is made once the board has taken the code.
    if (!TableFamily::exists(templateBase()))
        return refusal(Refusal::Kind::NoTemplate, templateBase());
    m_newBase = base;
    return {};
}

bool DataFileSession::createWorking()
{
    if (m_newBase.isEmpty() || TableFamily::exists(m_newBase))
        return false;
    m_workingBase = TableFamily::copyToWorking(templateBase(), m_newBase);
    m_created = true;
    return true;
}

DataFileSession::Refusal DataFileSession::lockWorking()
{
    // Held on the working copy: the lock stays with its member when it is published by rename.
    return m_writes && m_created ? lock(m_workingBase) : Refusal{};
}

void DataFileSession::publish()
{
    if (!m_created)
        return;
    // Only a complete file is ever seen under the file's name.
    TableFamily::publish(m_workingBase, m_newBase);
    m_created = false;
    m_workingBase.clear();
}

void DataFileSession::discard()
{
    // A file this run made and did not fill would be taken later for a board's real, empty list.
    if (!m_created)
        return;
    m_created = false;
    TableFamily::discardWorking(m_workingBase);
    m_workingBase.clear();
}

void DataFileSession::abandon()
{
    TableStore::rollBackAll();
    discard();
}

DataFileRef DataFileSession::file() const
{
    return {m_directory,
            m_workingBase.isEmpty() ? m_tableName : QFileInfo(m_workingBase).fileName() + QStringLiteral(".db")};
}

DataFileSession::Refusal DataFileSession::lock(const QString &base)
{
    try {
        m_lock->lock(base);
    } catch (const DataFileBusy &busy) {
        const DataFileLock::Holder holder = busy.holder();
        Refusal held = refusal(Refusal::Kind::Busy, busy.file());
        held.program = holder.program;
        held.pid = holder.pid;
        return held;
    } catch (const TzrError &e) {
        Refusal failed = refusal(Refusal::Kind::LockFailed);
        failed.error = e.message();
        return failed;
    }
    return {};
}

QString DataFileSession::templateBase() const
{
    return m_templateFolder + QStringLiteral("/Patron");
}
