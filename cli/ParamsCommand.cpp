#include "ParamsCommand.h"

#include "BoardCodes.h"
#include "Failure.h"
#include "ParametersJob.h"
#include "Prompt.h"
#include "TzrTool.h"

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>

// The parameter keys of "params", in the order the parameter window shows them.
namespace {

const QStringList &parameterKeys()
{
    static const QStringList keys{QStringLiteral("panel"),
                                  QStringLiteral("code-length"),
                                  QStringLiteral("language"),
                                  QStringLiteral("reader"),
                                  QStringLiteral("time-a"),
                                  QStringLiteral("time-b"),
                                  QStringLiteral("programming-code"),
                                  QStringLiteral("master-code")};
    return keys;
}

// The codes, which never come from --set.
const QStringList &codeKeys()
{
    static const QStringList keys{QStringLiteral("programming-code"), QStringLiteral("master-code")};
    return keys;
}

QString *parameterField(CamposParametros &c, const QString &key)
{
    QString *fields[] = {&c.Edit1, &c.Edit2, &c.Edit3, &c.Edit4, &c.Edit5, &c.Edit6, &c.Edit7, &c.Edit8};
    const qsizetype i = parameterKeys().indexOf(key);
    return i < 0 ? nullptr : fields[i];
}

} // namespace
QStringList ParamsCommand::newCodes(CamposParametros &campos)
{
    // The keys of the codes to change: named by --new-code, or listed in --new-codes-file.
    QStringList keys;
    for (const QString &k : m_options.parser->values(QStringLiteral("new-code"))) {
        const QString key = k.trimmed().toLower();
        if (!codeKeys().contains(key))
            throw Failure{TzrTool::Usage, QStringLiteral("--new-code takes %1").arg(codeKeys().join(QStringLiteral(" or ")))};
        if (!keys.contains(key))
            keys << key;
    }
    QHash<QString, QString> fromFile;
    const QString path = m_options.parser->value(QStringLiteral("new-codes-file"));
    if (!path.isEmpty()) {
        const QStringList lines = BoardCodes::fileText(path).split(QLatin1Char('\n'));
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QString line = lines.at(i).trimmed();
            if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
                continue;
            const QString key = line.section(QLatin1Char('='), 0, 0).trimmed().toLower();
            if (!line.contains(QLatin1Char('=')) || !codeKeys().contains(key))
                throw Failure{TzrTool::Usage,
                              QStringLiteral("%1:%2: a line of the new-codes file is KEY=CODE with KEY %3")
                                  .arg(path)
                                  .arg(i + 1)
                                  .arg(codeKeys().join(QStringLiteral(" or ")))};
            fromFile.insert(key, line.section(QLatin1Char('='), 1).trimmed());
            if (!keys.contains(key))
                keys << key;
        }
    }
    for (const QString &key : keys) {
        const bool master = key == codeKeys().at(1);
        const char *variable = master ? "TZR_NEW_MASTER_CODE" : "TZR_NEW_PROGRAMMING_CODE";
        const QString what = master ? QStringLiteral("master") : QStringLiteral("programming");
        QString value;
        if (fromFile.contains(key)) {
            value = fromFile.value(key);
        } else if (qEnvironmentVariableIsSet(variable)) {
            value = qEnvironmentVariable(variable).trimmed();
        } else if (Prompt::interactive()) {
            const QString prompt = master ? say("CLI_NEW_CODE_PROMPT_M", QStringLiteral("New master code of board %1: "))
                                          : say("CLI_NEW_CODE_PROMPT_P", QStringLiteral("New programming code of board %1: "));
            value = Prompt::newCodeTwice(
                prompt.arg(m_options.board), say("CLI_NEW_CODE_AGAIN", QStringLiteral("The same code again: ")),
                say("CLI_NEW_CODES_DIFFER", QStringLiteral("the two codes typed differ; nothing was written")));
        } else {
            throw Failure{TzrTool::Usage,
                          QStringLiteral("the new %1 code is needed: give --new-codes-file FILE or set %2")
                              .arg(what, QString::fromLatin1(variable))};
        }
        *parameterField(campos, key) = value.toUpper();
    }
    return keys;
}

int ParamsCommand::execute()
{
    const QStringList sets = m_options.parser->values(QStringLiteral("set"));
    // Check the keys before the board is asked anything.
    QList<std::pair<QString, QString>> changes;
    for (const QString &s : sets) {
        const QString key = s.section(QLatin1Char('='), 0, 0).trimmed().toLower();
        if (codeKeys().contains(key))
            throw Failure{TzrTool::Usage,
                          QStringLiteral("new codes are never taken from the command line (other users can see "
                                         "it); use --new-codes-file FILE, TZR_NEW_PROGRAMMING_CODE / "
                                         "TZR_NEW_MASTER_CODE or --new-code KEY for a prompt")};
        if (!s.contains(QLatin1Char('=')) || !parameterKeys().contains(key))
            throw Failure{TzrTool::Usage, QStringLiteral("--set takes KEY=VALUE with KEY one of: %1")
                                              .arg(parameterKeys().join(QStringLiteral(", ")))};
        changes.append({key, s.section(QLatin1Char('='), 1).trimmed()});
    }
    CamposParametros nuevos;
    const QStringList codes = newCodes(nuevos);
    ParametersJob job(*m_session, false);
    checkCode(QLatin1Char('M'));
    const QString placa = QString::number(m_options.board);
    ParametersRead leidos = job.read(placa);
    CamposParametros &campos = leidos.fields;
    if (!changes.isEmpty() || !codes.isEmpty()) {
        for (const auto &[key, value] : changes) {
            // As the fields take them: language names in upper case.
            *parameterField(campos, key) = key == QLatin1String("language") ? value.toUpper() : value;
        }
        for (const QString &key : codes)
            *parameterField(campos, key) = *parameterField(nuevos, key);
        const ParametersWrite written = job.write(campos, EtiquetasParametros{}, placa);
        if (!written.written)
            throw Failure{TzrTool::Usage,
                          say("CLI_NO_CHANGES", QStringLiteral("No changes made: %1"))
                              .arg(written.refused.isEmpty() ? say("CLI_NOT_A_NUMBER", QStringLiteral("a value is not a number"))
                                                             : written.refused)};
        if (!written.complete()) {
            // Only what the board was read back to hold is said; the values asked for are not printed.
            m_err << "tzr: " << say("CLI_PARAMS_INCOMPLETE", QStringLiteral("parameters not all written on board %1"))
                                    .arg(m_options.board)
                  << '\n';
            for (const QString &line : ParametersJob::describe(written, *m_texts))
                m_err << "tzr: " << line << '\n';
            m_err.flush();
            return TzrTool::Incomplete;
        }
        note(say("CLI_PARAMS_WRITTEN", QStringLiteral("Parameters written; the board restarts as panel %1")).arg(campos.Edit1));
    }
    // Standard output ends up in logs and terminals' scroll-back: the codes only when asked for.
    const bool showCodes = m_options.parser->isSet(QStringLiteral("show-codes"));
    const auto shown = [showCodes](const QString &code) {
        return showCodes ? code : code.isEmpty() ? QStringLiteral("unset") : QStringLiteral("set");
    };
    const QString values[] = {campos.Edit1, campos.Edit2, campos.Edit3,        campos.Edit4,
                              campos.Edit5, campos.Edit6, shown(campos.Edit7), shown(campos.Edit8)};
    if (m_options.json) {
        QJsonObject object;
        for (qsizetype i = 0; i < parameterKeys().size(); ++i)
            object.insert(parameterKeys().at(i), values[i]);
        object.insert(QStringLiteral("board"), m_options.board);
        printJson(object);
    } else {
        for (qsizetype i = 0; i < parameterKeys().size(); ++i)
            m_out << parameterKeys().at(i) << '=' << values[i] << '\n';
        m_out.flush();
    }
    if (leidos.languageInvalid)
        note(say("CLI_LANGUAGE_BYTE", QStringLiteral("the board's language byte is not one of the known languages")));
    return TzrTool::Success;
}
