#include "ScanJob.h"

#include "BoardSession.h"
#include "Comunicacion_TZR.h"
#include "JobObserver.h"
#include "TextLookup.h"
#include "TransferReport.h"

#include <algorithm>

ScanResult ScanJob::run()
{
    ScanResult result;
    Comunicacion_TZR &link = m_session.link();
    const Comunicacion_TZR::Reserva reserva(link);
    ProgressView *progress = m_session.observer() ? m_session.observer()->progress() : nullptr;
    try {
        if (progress) {
            progress->display();
            progress->setMessage(m_session.texts().texto(QStringLiteral("F_test_label2_caption"),
                                                         QStringLiteral("¿¿??")));
            progress->setPosition(0);
            progress->setMaximum(BarMaximum);
            progress->setCounter(QStringLiteral("0/%1").arg(BarMaximum));
        }
        for (int board = 0; board < BoardsOnBus; ++board) {
            // A board that does not answer costs one reply time; a stop request skips the rest.
            bool answered = false;
            for (int attempt = 0; attempt < m_attempts && !answered && !(m_skip && m_skip()); ++attempt)
                answered = link.Sondea_Placa(board);
            if (answered) {
                result.boards << board;
                if (m_onFound)
                    m_onFound(board);
            }
            if (progress) {
                const int tried = std::min(board + 1, BarMaximum);
                progress->setPosition(tried);
                progress->setCounter(QStringLiteral("%1/%2").arg(tried).arg(BarMaximum));
            }
        }
    } catch (const std::exception &e) {
        static_cast<JobStatus &>(result) = failureStatus(e);
    }
    link.setParada(false);
    if (progress)
        progress->dismiss();
    return result;
}
