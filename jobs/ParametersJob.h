#pragma once

#include "DataFileRef.h"
#include "Parametros.h"

#include <QString>
#include <QStringList>

class BoardSession;
class Comunicacion_TZR;
class TextLookup;

struct ParametersRead
{
    CamposParametros fields;
    // The board's language byte is none of the four languages.
    bool languageInvalid = false;
};

struct ParametersWrite
{
    // Empty when the fields passed; else the caption of the field refused, and nothing was written.
    QString refused;
    bool written = false;
    // The board restarts under another number: a connection made under the old one must end.
    bool renumbers = false;
    // What the board holds afterwards, as read back.
    EscrituraParametros board;
    // The data file's history could not take the write's entry (the error's text).
    QString notRecorded;
    bool complete() const { return written && board.completa(); }
};

// The board's parameters, read, checked and written, as the parameter window and "tzr params"
// both do it. The job lives for the whole command: it sets the longer reply time the parameters
// need and puts the usual one back when it ends, however it ends. Errors of the exchanges
// propagate as they are raised.
class ParametersJob
{
public:
    // logChange: the reply-time changes go to the debug log, as the window has always logged them.
    ParametersJob(Comunicacion_TZR &link, bool logChange);
    ParametersJob(BoardSession &session, bool logChange);
    ~ParametersJob();
    ParametersJob(const ParametersJob &) = delete;
    ParametersJob &operator=(const ParametersJob &) = delete;

    // Every rule the window's fields apply (characters, lengths, ranges, the four languages), then
    // the window's own check. False with the caption of the failing field in mensaje.
    static bool validate(const CamposParametros &fields, const EtiquetasParametros &labels, QString &mensaje);

    // The exchanges, for the window that shows them while the command's job lives; hold the link.
    // Fields that cannot be read keep the values of start.
    static ParametersRead readInto(Comunicacion_TZR &link, const QString &num_placa, const CamposParametros &start);
    static ParametersRead readInto(BoardSession &session, const QString &num_placa, const CamposParametros &start);
    // Checks, then writes every field and restarts the board (still under its old number).
    // fields gets the values as written (the language in upper case).
    static ParametersWrite writeFields(Comunicacion_TZR &link, CamposParametros &fields,
                                       const EtiquetasParametros &labels, const QString &num_placa);
    // With a data file open, the write is entered in its history (the codes as written or not,
    // never their characters).
    static ParametersWrite writeFields(BoardSession &session, CamposParametros &fields,
                                       const EtiquetasParametros &labels, const QString &num_placa,
                                       const DataFileRef &file = {});

    // For a write that is not complete, what the board now holds: one sentence per code and one
    // for the settings not written. Empty for a complete write.
    static QStringList describe(const ParametersWrite &write, const TextLookup &texts);

    ParametersRead read(const QString &num_placa) { return readInto(m_link, num_placa, {}); }
    ParametersWrite write(CamposParametros &fields, const EtiquetasParametros &labels, const QString &num_placa)
    {
        return writeFields(m_link, fields, labels, num_placa);
    }

private:
    void setInterval(bool slow);

    Comunicacion_TZR &m_link;
    bool m_logChange;
};
