#include "Output.h"

#include "Lenguaje.h"
#include "Terminal.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

bool Output::inputIsTerminal()
{
    return Terminal::isTerminal(0);
}

bool Output::errorIsTerminal()
{
    return Terminal::isTerminal(2);
}

int Output::columns()
{
    return Terminal::columns(1);
}

std::optional<QString> Output::readSecret(const QString &prompt)
{
    return Terminal::readSecret(prompt);
}

QString Output::say(const char *key, const QString &english) const
{
    return m_texts ? m_texts->texto(QString::fromLatin1(key), english) : english;
}

QString Output::counted(const char *key, int n, const QString &one, const QString &many) const
{
    const QByteArray oneKey = QByteArray(key) + "_ONE";
    return (n == 1 ? say(oneKey.constData(), one) : say(key, many)).arg(n);
}

void Output::note(const QString &text)
{
    if (m_quiet)
        return;
    m_err << text << '\n';
    m_err.flush();
}

void Output::error(const QString &message)
{
    m_err << "tzr: " << message << '\n';
    m_err.flush();
}

void Output::printJson(const QJsonValue &value)
{
    const QJsonDocument doc =
        value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    m_out << doc.toJson(QJsonDocument::Compact) << '\n';
    m_out.flush();
}
