#include "DataFileCommands.h"

#include "DataFileCopy.h"
#include "DataFilePaths.h"
#include "FicheroActual.h"
#include "TableFamily.h"
#include "TextLookup.h"
#include "TzrError.h"
#include "UsersTable.h"

namespace {

QString joined(const QString &first, const QString &second)
{
    if (first.isEmpty())
        return second;
    return second.isEmpty() ? first : first + QLatin1Char('\n') + second;
}

} // namespace

DataFileCommands::DataFileCommands(FicheroActual &fichero, UsersTable &tabla, const TextLookup &textos,
                                   const QString &carpetaPatron, std::function<void()> Guarda_Configuracion)
    : m_fichero(&fichero), m_tabla(&tabla), m_textos(&textos), m_carpetaPatron(carpetaPatron),
      m_guardaConfiguracion(std::move(Guarda_Configuracion))
{
}

QString DataFileCommands::L_Fichero() const
{
    return Quita_Extension(m_fichero->Nombre_Tabla());
}

FileCommandResult DataFileCommands::finish(FileCommandResult::Outcome outcome, const QString &error) const
{
    FileCommandResult result;
    result.outcome = error.isEmpty() || outcome != FileCommandResult::Outcome::Done
                         ? outcome
                         : FileCommandResult::Outcome::Failed;
    result.L_Fichero = L_Fichero();
    result.gridVisible = m_tabla->Table1().isOpen();
    result.error = error;
    return result;
}

QString DataFileCommands::saveConfiguration() const
{
    if (!m_guardaConfiguracion)
        return {};
    try {
        m_guardaConfiguracion();
    } catch (const TzrError &e) {
        return e.message();
    }
    return {};
}

QString DataFileCommands::busyText(const QString &file, const DataFileLock::Holder &holder) const
{
    const QString line1 =
        m_textos->texto(QStringLiteral("FILE_BUSY_1"), QStringLiteral("%1 is in use by another program.")).arg(file);
    const QString line2 =
        holder.program.isEmpty()
            ? m_textos->texto(QStringLiteral("FILE_BUSY_3"),
                              QStringLiteral("Close the program that uses it, then open the file again."))
            : m_textos->texto(QStringLiteral("FILE_BUSY_2"), QStringLiteral("Close it in %1, then open the file again."))
                  .arg(m_textos->texto(QStringLiteral("LINE_BUSY_PROCESS"), QStringLiteral("%1 (process %2)"))
                           .arg(holder.program)
                           .arg(holder.pid));
    return line1 + QLatin1Char('\n') + line2;
}

QString DataFileCommands::openTable() const
{
    try {
        m_tabla->Activa_Tabla(true);
    } catch (const DataFileBusy &busy) {
        return busyText(busy.file(), busy.holder());
    } catch (const ForeignSchema &e) {
        return m_textos
            ->texto(QStringLiteral("DATA_FOREIGN"),
                    QStringLiteral("%1 holds what this tool never makes (%2): refused, the file was not changed"))
            .arg(e.path(), e.found().join(QStringLiteral(", ")));
    } catch (const TzrError &e) {
        return e.message();
    }
    return {};
}

FileCommandResult DataFileCommands::DirectoriodeTrabajo1Click(const QString &nombre)
{
    if (nombre.isEmpty())
        return {};
    m_fichero->setDirectorio_Trabajo(Extrae_Directorio(nombre));
    m_fichero->setNombre_Tabla(Extrae_Fichero(nombre));
    const QString configError = saveConfiguration();
    // What a crash left beside the file is settled before it opens, and said once.
    QString recovered;
    try {
        switch (TableFamily::recover(TableFamily::baseOf(Quita_Extension(nombre) + QStringLiteral(".db")))) {
        case TableFamily::Recovery::Nothing:
            break;
        case TableFamily::Recovery::Finished:
            recovered = m_textos->texto(
                QStringLiteral("DATA_FINISHED"),
                QStringLiteral("%1 was being saved when the tool was cut short; the save was finished"));
            break;
        case TableFamily::Recovery::Removed:
            recovered = m_textos->texto(QStringLiteral("DATA_REMOVED"),
                                        QStringLiteral("%1: a copy left unfinished when the tool was cut short "
                                                       "was removed; the file is as it was"));
            break;
        }
    } catch (const TzrError &e) {
        return finish(FileCommandResult::Outcome::Done, joined(configError, e.message()));
    }
    FileCommandResult result = finish(FileCommandResult::Outcome::Done, joined(configError, openTable()));
    if (!recovered.isEmpty())
        result.mensaje1 = recovered.arg(Extrae_Fichero(nombre));
    return result;
}

FileCommandResult DataFileCommands::ToolNuevoClick(const QString &nombre)
{
    if (nombre.isEmpty())
        return {};
    // Copying the template over a file another program is writing would lose its work.
    if (const auto holder = m_tabla->otroTitular(nombre))
        return finish(FileCommandResult::Outcome::Failed, busyText(Extrae_Fichero(nombre), *holder));
    try {
        Copia_Patron(nombre, m_carpetaPatron);
    } catch (const TzrError &e) {
        return finish(FileCommandResult::Outcome::Failed, e.message());
    }
    m_fichero->setDirectorio_Trabajo(Extrae_Directorio(nombre));
    m_fichero->setNombre_Tabla(Extrae_Fichero(nombre));
    const QString configError = saveConfiguration();
    return finish(FileCommandResult::Outcome::Done, joined(configError, openTable()));
}

bool DataFileCommands::ToolSalvarDisponible() const
{
    return m_tabla->Table1().isOpen();
}

FileCommandResult DataFileCommands::ToolSalvarClick(const QString &nombre)
{
    Table &table = m_tabla->Table1();
    if (!table.isOpen() || nombre.isEmpty())
        return {};
    const QString directorio = Extrae_Directorio(nombre);
    const QString fichero = Extrae_Fichero(nombre);

    if (fichero == table.tableName()) {
        m_fichero->setDirectorio_Trabajo(directorio);
        m_fichero->setNombre_Tabla(fichero);
        FileCommandResult result = finish(FileCommandResult::Outcome::Refused, openTable());
        result.mensaje1 =
            m_textos->texto(QStringLiteral("SHOW_M8"), QStringLiteral("Cant make that operation"));
        result.mensaje2 = m_textos->texto(QStringLiteral("SHOW_M9"), QStringLiteral("same data"));
        return result;
    }

    const QString original = table.filePath();
    const QString chosen = Quita_Extension(nombre) + QStringLiteral(".db");
    m_tabla->Activa_Tabla(false);
    // The open table's own files move to the chosen name and a byte copy stays under the old
    // one; a crash at any point leaves the old family whole and the chosen name old or new.
    try {
        TableFamily::moveLeavingCopy(TableFamily::baseOf(original), TableFamily::baseOf(chosen));
    } catch (const TzrError &e) {
        return finish(FileCommandResult::Outcome::Failed, joined(e.message(), openTable()));
    }

    m_fichero->setNombre_Tabla(fichero);
    m_fichero->setDirectorio_Trabajo(directorio);
    const QString configError = saveConfiguration();
    return finish(FileCommandResult::Outcome::Done, joined(configError, openTable()));
}
