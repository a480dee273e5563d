#include "CodeEntry.h"

#include "Table.h"
#include "TextLookup.h"
#include "UsersTableRules.h"

namespace {
constexpr int LONGITUD_TECLADO = 6;
constexpr int LONGITUD_TARJETA = 10;
constexpr int MINIMO_CODIGO = 4;
} // namespace

CodeExit normalizedCode(const QString &editorText)
{
    CodeExit result;
    const qsizetype n = editorText.size();
    if (n >= 1 && n < MINIMO_CODIGO)
        return result;
    result.outcome = CodeExit::Outcome::Stored;
    if (n == 0)
        result.code = CODIGO_VACIO;
    else if (n <= LONGITUD_TECLADO)
        result.code = Rellena_Derecha(editorText, LONGITUD_TECLADO);
    else
        result.code = Rellena_Derecha(editorText, LONGITUD_TARJETA);
    return result;
}

QString codeKind(const QString &code, const TextLookup &texts)
{
    if (code.size() <= LONGITUD_TECLADO)
        return texts.texto(QStringLiteral("K_TECLADO"), QStringLiteral("Keypad"));
    if (code == CODIGO_VACIO)
        return {};
    return texts.texto(QStringLiteral("K_TARJETA"), QStringLiteral("Card"));
}

CodeExit edtCodeExit(Table &Table1, const QString &editorText, bool codigoSelected, const TextLookup &texts)
{
    CodeExit result = normalizedCode(editorText);
    if (result.outcome == CodeExit::Outcome::Beep)
        return result;
    result.outcome = CodeExit::Outcome::Refused;
    if (!Table1.edit())
        return result;
    if (codigoSelected)
        Table1.setValue(Campo::CODIGO, result.code);
    if (!Table1.post() || !Table1.edit())
        return result;
    // The kind follows the code just stored, never another column.
    Table1.setValue(Campo::TIPO_CODE, codeKind(Table1.editText(Campo::CODIGO), texts));
    if (!Table1.post())
        return result;
    result.outcome = CodeExit::Outcome::Stored;
    return result;
}

QHash<QString, QString> kindsInCurrentLanguage(const TextLookup &texts)
{
    QHash<QString, QString> kinds;
    const std::pair<const char *, const char *> keys[] = {
        {"K_TECLADO", "Keypad"}, {"K_TARJETA", "Card"}, {"K_LLAVE", "Button"}};
    for (const auto &[key, english] : keys) {
        const QString k = QString::fromLatin1(key);
        const QString now = texts.texto(k, QString::fromLatin1(english));
        QStringList all = texts.textoEnTodas(k);
        all << QString::fromLatin1(english);
        for (const QString &t : std::as_const(all)) {
            if (!t.isEmpty())
                kinds.insert(t, now);
        }
    }
    return kinds;
}
