#pragma once

#include <QString>
#include <QStringList>
#include <stdexcept>

// The error a routine raises when it cannot go on; the handler that catches it decides what is
// shown. Its text is the message the user or the debug log sees.
class TzrError : public std::runtime_error
{
public:
    explicit TzrError(const QString &message)
        : std::runtime_error(message.toStdString()), m_message(message) {}
    QString message() const { return m_message; }

private:
    QString m_message;
};

// A text that had to be a number was not one (an empty or non-numeric board number, a non-digit
// in a call code).
class ConversionError : public TzrError
{
public:
    using TzrError::TzrError;
};

// An input/output failure of a file operation; the text carries the system's message.
class IoError : public TzrError
{
public:
    using TzrError::TzrError;
};

// A file was refused before it was read whole: it holds more than limit bytes.
class FileTooLarge : public IoError
{
public:
    FileTooLarge(const QString &path, qint64 limit)
        : IoError(QStringLiteral("%1: the file is larger than %2 bytes").arg(path).arg(limit)), m_path(path),
          m_limit(limit) {}
    QString path() const { return m_path; }
    qint64 limit() const { return m_limit; }

private:
    QString m_path;
    qint64 m_limit = 0;
};

// A data file holds objects this tool never makes (triggers, views, other tables); it was
// refused before anything in it was changed. found names each one ("trigger \"t\"").
class ForeignSchema : public TzrError
{
public:
    ForeignSchema(const QString &path, const QStringList &found)
        : TzrError(QStringLiteral("The data file %1 holds what this tool does not make (%2); it was not opened")
                       .arg(path, found.join(QStringLiteral(", ")))),
          m_path(path), m_found(found) {}
    QString path() const { return m_path; }
    QStringList found() const { return m_found; }

private:
    QString m_path;
    QStringList m_found;
};

// A workbook declares more rows than a board can have users (with a title row); refused before
// its cells were read. rows is what it declares, users the board's limit.
class SheetTooLarge : public TzrError
{
public:
    SheetTooLarge(const QString &path, quint32 rows, quint32 users)
        : TzrError(QStringLiteral("%1: the sheet declares %2 rows; a board holds at most %3 users and a title row")
                       .arg(path)
                       .arg(rows)
                       .arg(users)),
          m_path(path), m_rows(rows), m_users(users) {}
    QString path() const { return m_path; }
    quint32 rows() const { return m_rows; }
    quint32 users() const { return m_users; }

private:
    QString m_path;
    quint32 m_rows = 0;
    quint32 m_users = 0;
};
