#include "BoardCodes.h"

#include "ContraPlaca.h"
#include "FileData.h"

#include <QRegularExpression>
#include <QStringList>

QString BoardCodes::fileText(const QString &path)
{
    return QString::fromUtf8(FileData::read(path, CODE_FILE_LIMIT));
}

int BoardCodes::longestCode()
{
    return LONGITUD_CODIGO;
}

namespace {

constexpr int BoardsOnBus = 32;

} // namespace

bool BoardCodes::parse(const QString &text, BoardCodes &codes, QString &error)
{
    static const QRegularExpression numbered(QStringLiteral("^\\s*(\\d{1,2})\\s*=\\s*(\\S*)\\s*$"));
    BoardCodes parsed;
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = lines.at(i).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        // As the password dialog takes a code: upper case, at most five characters.
        QString code = line;
        int board = -1;
        if (const QRegularExpressionMatch m = numbered.match(line); m.hasMatch()) {
            board = m.captured(1).toInt();
            code = m.captured(2);
            if (board >= BoardsOnBus) {
                error = QStringLiteral("line %1: board %2 is not on the bus (0 to 31)").arg(i + 1).arg(board);
                return false;
            }
        } else if (line.contains(QLatin1Char('='))) {
            error = QStringLiteral("line %1: expected NN=CODE or a code alone").arg(i + 1);
            return false;
        }
        code = code.toUpper();
        if (code.size() > LONGITUD_CODIGO) {
            error = QStringLiteral("line %1: a code has at most %2 characters").arg(i + 1).arg(LONGITUD_CODIGO);
            return false;
        }
        if (board < 0)
            parsed.setDefault(code);
        else
            parsed.setCode(board, code);
    }
    codes = parsed;
    return true;
}
