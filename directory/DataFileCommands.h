#pragma once

#include "DataFileLock.h"

#include <QString>

#include <functional>

class FicheroActual;
class TextLookup;
class UsersTable;

// What the main window shows after a data-file command.
struct FileCommandResult
{
    enum class Outcome
    {
        Nothing, // cancelled, empty name, or Save as without an open table: change nothing
        Done,    // the chosen data file is open
        Refused, // Save as onto the open table's own file name: show mensaje1 / mensaje2
        Failed,  // show error; the state is what the command's comment says
    };
    Outcome outcome = Outcome::Nothing;
    // Unless Nothing: the text for L_Fichero and whether DBGrid1 is shown (a table is open).
    QString L_Fichero;
    bool gridVisible = false;
    // The two lines of TF_ShowMessage for Refused.
    QString mensaje1;
    QString mensaje2;
    // The text of the error box, shown after the message if both are set.
    QString error;
};

// The Open, New and Save as commands of the main window, after their file dialogs: each takes
// the dialog's file name (empty when none was chosen). The window shows the dialogs with
// Directorio_Trabajo as initial directory, the hourglass while a command runs, and the result.
class DataFileCommands
{
public:
    // carpetaPatron: the folder that holds the template family "Patron" (the Korvel folder).
    // Guarda_Configuracion writes the configuration, working directory included; it may raise
    // TzrError, which is reported and stops nothing.
    DataFileCommands(FicheroActual &fichero, UsersTable &tabla, const TextLookup &textos,
                     const QString &carpetaPatron, std::function<void()> Guarda_Configuracion);

    // Open: the chosen file becomes the current data file (working directory saved) and is
    // opened. Failed: the open failed; the new directory and name stay, the table is closed.
    FileCommandResult DirectoriodeTrabajo1Click(const QString &nombre);
    // New: the template is copied to the chosen file, which becomes current and is opened.
    // Failed on the copy: nothing changed, the open table stays open.
    FileCommandResult ToolNuevoClick(const QString &nombre);
    // Save as shows its dialog only while Table1 is open.
    bool ToolSalvarDisponible() const;
    // Save as: the open table's own files move to the chosen name and a byte copy stays under
    // the old name; the chosen file is then current and open. The same file name (in any
    // directory) is Refused: the chosen directory becomes the working directory (not saved) and
    // the table is reopened from there (error set when that fails). Failed: every family is back
    // under its old name, directory, name and configuration are unchanged, the old table is
    // open again.
    FileCommandResult ToolSalvarClick(const QString &nombre);

    // Quita_Extension(Nombre_Tabla): what L_Fichero shows.
    QString L_Fichero() const;

private:
    FileCommandResult finish(FileCommandResult::Outcome outcome, const QString &error = {}) const;
    QString saveConfiguration() const;
    QString openTable() const;
    QString busyText(const QString &file, const DataFileLock::Holder &holder) const;

    FicheroActual *m_fichero = nullptr;
    UsersTable *m_tabla = nullptr;
    const TextLookup *m_textos = nullptr;
    QString m_carpetaPatron;
    std::function<void()> m_guardaConfiguracion;
};
