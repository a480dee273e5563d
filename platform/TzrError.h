#pragma once

#include <QString>
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
