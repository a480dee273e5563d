#pragma once

#include <QJsonValue>
#include <QString>
#include <QTextStream>

#include <optional>

class Lenguaje;

// Where tzr writes: data on standard output, messages on standard error, in the configured
// language once the language file is known.
class Output
{
public:
    Output(QTextStream &out, QTextStream &err) : m_out(out), m_err(err) {}

    // The terminal tzr runs in: whether standard input or error is one, the width of standard
    // output's (80 when it is none), and a line read from it with echo off (nullopt when there is
    // no terminal or the input ended).
    static bool inputIsTerminal();
    static bool errorIsTerminal();
    static int columns();
    static std::optional<QString> readSecret(const QString &prompt);

    QTextStream &out() { return m_out; }
    QTextStream &err() { return m_err; }
    void setQuiet(bool quiet) { m_quiet = quiet; }
    void setTexts(const Lenguaje *texts) { m_texts = texts; }

    // A message in the configured language, from the language file; english until it is read.
    QString say(const char *key, const QString &english) const;
    // "1 user", "5 users": the count with its noun in the right number (key, key + "_ONE").
    QString counted(const char *key, int n, const QString &one, const QString &many) const;
    // A message on standard error, unless --quiet.
    void note(const QString &text);
    // "tzr: message" on standard error, whatever --quiet says.
    void error(const QString &message);
    void printJson(const QJsonValue &value);

private:
    QTextStream &m_out;
    QTextStream &m_err;
    bool m_quiet = false;
    const Lenguaje *m_texts = nullptr;
};
