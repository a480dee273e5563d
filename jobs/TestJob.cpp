#include "TestJob.h"

#include "BoardSession.h"
#include "RegistroPlaca.h"
#include "TestPlacas.h"
#include "TextLookup.h"

QList<TestedBoard> TestJob::run(const std::function<void(int board)> &progress)
{
    const TextLookup &texts = m_session.texts();
    TestPlacas prueba(m_session.link(), texts);
    QList<TestedBoard> boards;
    int current = 0;
    TestPlacas::Vista vista;
    vista.numP = [&](int n) {
        current = n;
        if (progress)
            progress(n);
    };
    vista.linea = [&](const QString &line) {
        // The line ends with "<length> -- <reader>".
        QString reader = line.section(QStringLiteral(" -- "), -1);
        for (int tipo = 0; tipo <= 2; ++tipo) {
            if (reader == texts.texto(claveTipoCode(tipo), Texto_Lector(tipo)))
                reader = Texto_Lector(tipo);
        }
        const QString length = line.section(QStringLiteral(" -- "), 0, -2).section(QStringLiteral(" : "), -1);
        boards.append(TestedBoard{current, length.toInt(), reader, line});
    };
    prueba.ejecuta(vista);
    return boards;
}
