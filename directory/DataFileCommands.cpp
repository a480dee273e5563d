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
    return finish(FileCommandResult::Outcome::Done, joined(configError, openTable()));
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
    // The open table's family passes through a temporary name that must hold no family, so the
    // three renames can always be undone.
    QString temporary;
    for (int n = 0;; ++n) {
        const QString prefix = n == 0 ? QStringLiteral("temp") : QStringLiteral("temp%1").arg(n);
        temporary = Une_Ruta(table.directory(), prefix + table.tableName());
        const QString base = TableFamily::baseOf(temporary);
        if (!TableFamily::exists(base) && base != TableFamily::baseOf(chosen))
            break;
    }

    try {
        Copia_Tabla(nombre, table);
    } catch (const TzrError &e) {
        return finish(FileCommandResult::Outcome::Failed, e.message());
    }
    m_tabla->Activa_Tabla(false);

    // Each step moves one family; a failure undoes the steps before it, newest first.
    const QList<std::pair<QString, QString>> steps{
        {original, temporary}, {chosen, original}, {temporary, chosen}};
    for (qsizetype i = 0; i < steps.size(); ++i) {
        try {
            TableFamily::rename(steps.at(i).first, steps.at(i).second);
        } catch (const TzrError &e) {
            QString error = e.message();
            for (qsizetype j = i - 1; j >= 0; --j) {
                try {
                    TableFamily::rename(steps.at(j).second, steps.at(j).first);
                } catch (const TzrError &undo) {
                    error = joined(error, undo.message());
                }
            }
            return finish(FileCommandResult::Outcome::Failed, joined(error, openTable()));
        }
    }

    m_fichero->setNombre_Tabla(fichero);
    m_fichero->setDirectorio_Trabajo(directorio);
    const QString configError = saveConfiguration();
    return finish(FileCommandResult::Outcome::Done, joined(configError, openTable()));
}
