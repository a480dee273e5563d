// One changed user sent to three 350-user boards (a run of sends of changes) against three full
// sends, against tzr-panel-sim over a real pseudo-terminal with 19200-baud wire-speed emulation.
// Prints `name: value` lines; exits 1 when a board was not done.

#include "BenchSupport.h"
#include "BoardRun.h"
#include "BoardSession.h"
#include "Comunicacion_TZR.h"
#include "Comunicacion_TZR_p.h"
#include "PortList.h"
#include "QtSerialPort.h"
#include "StandIn.h"
#include "TablaCursor.h"
#include "TableFamily.h"
#include "TextLookup.h"
#include "UsersTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

using bench::EnglishTexts;
using bench::print;

const QList<int> Boards{1, 3, 17};
constexpr int Users = 350;

FilaUsuario user(int n)
{
    FilaUsuario f;
    f.NOMBRE = QStringLiteral("USER %1").arg(n, 3, 10, QLatin1Char('0'));
    f.CALL = QStringLiteral("%1").arg(1000 + n, 4, 10, QLatin1Char('0'));
    f.TZR = QStringLiteral("%1").arg(n % 1000, 3, 10, QLatin1Char('0'));
    f.CODIGO = QStringLiteral("%1").arg(123000 + n, 6, 10, QLatin1Char('0'));
    return f;
}

bool allDone(const BoardRunReport &report)
{
    for (const BoardRunEntry &e : report.boards) {
        if (e.outcome != BoardOutcome::Done)
            return false;
    }
    return report.boards.size() == Boards.size();
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir xdg;
    StandIn sim;
    if (!bench::startStandIn(
            sim, xdg.path(), 44,
            {QStringLiteral("--boards"), QStringLiteral("1,3,17"), QStringLiteral("--wire-speed")}))
        return 2;
    int status = 0;
    {
        PortList ports(xdg.path() + QStringLiteral("/Korvel/ports"), {});
        QtSerialPort port(ports);
        Comunicacion_TZR link;
        link.setPuerto(&port);
        EnglishTexts texts;
        BoardSession session(port, link, texts, QString());
        if (!session.openPort(QStringLiteral("COM44"))) {
            QTextStream(stderr) << "cannot open COM44: " << port.errorString() << Qt::endl;
            return 2;
        }
        TableFamily::create(xdg.path() + QStringLiteral("/users"), UsersTable::descripcion());
        const DataFileRef file{xdg.path() + QLatin1Char('/'), QStringLiteral("users.db")};
        {
            TablaCursor cursor(file.directory, file.table);
            for (int n = 0; n < Users; ++n)
                cursor.inserta(user(n));
        }
        BoardCodes codes;
        // The boards of the stand-in have no code of their own set: the fixed one opens them.
        codes.setDefault(QStringLiteral("73518"));

        BoardRun full(session, BoardRun::Kind::Send);
        full.setFile(file);
        full.setCodes(codes);
        QElapsedTimer t;
        int e0 = Comunicacion_TZRPrivate(link).intercambios();
        t.start();
        const BoardRunReport sent = full.run(Boards, nullptr);
        const double fullSeconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        print(QStringLiteral("boards_full_send_3x350_exchanges"), Comunicacion_TZRPrivate(link).intercambios() - e0);
        print(QStringLiteral("boards_full_send_3x350_s"), fullSeconds, QStringLiteral("s"));
        if (!allDone(sent))
            status = 1;

        {
            TablaCursor cursor(file.directory, file.table);
            QList<FilaUsuario> rows = cursor.filasEnOrden(false);
            rows[Users / 2].CODIGO = QStringLiteral("654321");
            cursor.Vacia_Tabla();
            for (const FilaUsuario &f : rows)
                cursor.inserta(f);
        }
        BoardRun changes(session, BoardRun::Kind::SendChanges);
        changes.setFile(file);
        changes.setCodes(codes);
        e0 = Comunicacion_TZRPrivate(link).intercambios();
        t.restart();
        const BoardRunReport changed = changes.run(Boards, nullptr);
        const double changeSeconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
        print(QStringLiteral("boards_changes_3x1_exchanges"), Comunicacion_TZRPrivate(link).intercambios() - e0);
        print(QStringLiteral("boards_changes_3x1_s"), changeSeconds, QStringLiteral("s"));
        print(QStringLiteral("boards_changes_speedup"), fullSeconds / changeSeconds);
        int written = 0;
        for (const BoardRunEntry &e : changed.boards)
            written += e.written;
        print(QStringLiteral("boards_changes_slots_written"), written);
        if (!allDone(changed))
            status = 1;
    }
    sim.stop();
    return status;
}
