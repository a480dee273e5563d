#include "BackupCommand.h"

#include "Failure.h"
#include "ImageJobs.h"
#include "TzrTool.h"

#include <QJsonArray>
#include <QJsonObject>

int BackupCommand::execute()
{
    const QString path = m_options.arguments.at(0);
    checkCode(QLatin1Char('M'));
    SystemImage imagen;
    const ImageResult result = ImageJobs(*m_session).save(imagen, path);
    m_progress->dismiss();
    if (!result.done() && result.end != JobEnd::Failed)
        m_err << "tzr: " << say("CLI_BACKUP_INCOMPLETE", QStringLiteral("backup incomplete; no image saved")) << '\n';
    jobFailed(result);
    const ResultadoImagen &r = result.image;
    if (r.sinRespuesta)
        throw notOpened();
    if (!r.completo())
        throw Failure{TzrTool::Incomplete,
                      say("CLI_BACKUP_PARTIAL", QStringLiteral("board %1 could not be read whole (%2 reads failed); no image saved"))
                          .arg(m_options.board)
                          .arg(r.fallidos)};
    if (m_options.json)
        printJson(QJsonObject{{QStringLiteral("board"), m_options.board},
                              {QStringLiteral("users"), imagen.usuarios.users()},
                              {QStringLiteral("file"), path}});
    note(say("CLI_SAVED", QStringLiteral("Saved board %1 (%2 users) to %3; it holds the codes in clear, readable by you only"))
             .arg(m_options.board)
             .arg(imagen.usuarios.users())
             .arg(path));
    return TzrTool::Success;
}
