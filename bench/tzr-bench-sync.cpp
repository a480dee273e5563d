// Send of changes against full send: a 350-user and a 60-user board, one user's code changed,
// against tzr-panel-sim over a real pseudo-terminal with 19200-baud wire-speed emulation. The
// send of changes includes its guard, which reads every slot's state and the code and first
// byte of every slot in use.
// Prints `name: value` lines; exits 1 when a transfer was incomplete or the target was missed.

#include "BenchSupport.h"
#include "Clock.h"
#include "Comunicacion_TZR_p.h"
#include "MemoryTable.h"
#include "PortList.h"
#include "QtSerialPort.h"
#include "CompareJob.h"
#include "SendChangesJob.h"
#include "StandIn.h"
#include "SyncImageStore.h"
#include "SyncTransfers.h"
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

constexpr double TARGET_SECONDS = 25.0;
constexpr double TARGET_SECONDS_60 = 8.0;

QList<FilaUsuario> users(int count)
{
    QList<FilaUsuario> rows;
    for (int n = 0; n < count; ++n) {
        FilaUsuario f;
        f.NOMBRE = QStringLiteral("USER %1").arg(n, 3, 10, QLatin1Char('0'));
        f.CALL = QStringLiteral("%1").arg(1000 + n, 4, 10, QLatin1Char('0'));
        f.TZR = QStringLiteral("%1").arg(n % 1000, 3, 10, QLatin1Char('0'));
        f.CODIGO = n % 2 ? QStringLiteral("%1").arg(123000 + n, 6, 10, QLatin1Char('0'))
                         : QStringLiteral("%1").arg(n, 10, 10, QLatin1Char('0'));
        f.LINEA2 = n % 3 ? QStringLiteral("FLOOR %1").arg(n % 9) : QString();
        f.LINEA2_ON = n % 3 ? QStringLiteral("X") : QString();
        rows << f;
    }
    return rows;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir xdg;
    StandIn sim;
    if (!bench::startStandIn(
            sim, xdg.path(), 43,
            {QStringLiteral("--boards"), QStringLiteral("1"), QStringLiteral("--wire-speed")}))
        return 2;
    int status = 0;
    {
        PortList ports(xdg.path() + QStringLiteral("/Korvel/ports"), {});
        QtSerialPort port(ports);
        if (!port.open(QStringLiteral("COM43"))) {
            QTextStream(stderr) << "cannot open COM43: " << port.errorString() << Qt::endl;
            return 2;
        }
        Comunicacion_TZR link;
        link.setPuerto(&port);
        link.setBoard(1);
        EnglishTexts texts;
        Clock clock;
        SyncTransfers sync(link, texts, clock);
        link.setTipo_lector(sync.transferencias().Lee_Tipo_Lector(1));

        TableFamily::create(xdg.path() + QStringLiteral("/users"), UsersTable::descripcion());
        SyncImageStore store(xdg.path(), QStringLiteral("users.db"));

        // A full send, timed, as the window runs it; it leaves the board remembered. Then one
        // user's code changed in the middle of the file and a send of changes, timed.
        struct Figures
        {
            double fullSeconds = 0;
            qint64 fullExchanges = 0;
            double changeSeconds = 0;
            qint64 changeExchanges = 0;
            int written = 0;
            int guardReads = 0;
            bool ok = false;
        };
        const auto run = [&](int count) {
            Figures f;
            MemoryTable table;
            QList<FilaUsuario> rows = users(count);
            table.setFilas(rows);
            QList<RegistroEnvio> records;
            FilaRechazada refused;
            sync.transferencias().Prepara_Envio(table.filasEnOrden(false), records, refused);
            QElapsedTimer t;
            qint64 e0 = Comunicacion_TZRPrivate(link).intercambios();
            t.start();
            link.Modo_Transferencia(true);
            const ResultadoEnvio full = sync.transferencias().Envio_General(records, QStringLiteral("COM43"));
            link.Modo_Transferencia(false);
            link.Envia_Reinicio();
            f.fullSeconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
            f.fullExchanges = Comunicacion_TZRPrivate(link).intercambios() - e0;
            store.save(SyncImage{1, clock.now().toUTC(), UserArea::fromRecords(records)});

            rows[count / 2].CODIGO = QStringLiteral("654321");
            table.setFilas(rows);
            e0 = Comunicacion_TZRPrivate(link).intercambios();
            t.restart();
            const PreparacionCambios p = Prepara_Cambios(sync, table, false, store);
            const ResultadoEnvioCambios changes = Envia_Cambios(sync, p, store, QStringLiteral("COM43"));
            f.changeSeconds = static_cast<double>(t.nsecsElapsed()) / 1e9;
            f.changeExchanges = Comunicacion_TZRPrivate(link).intercambios() - e0;
            f.written = changes.resultado.escritos;
            f.guardReads = changes.comprobacion.lecturas;
            f.ok = full.completo() && p.estado == PreparacionCambios::Estado::Lista &&
                   changes.estado == ResultadoEnvioCambios::Estado::Hecho && changes.resultado.completo() &&
                   changes.resultado.escritos == 1;
            return f;
        };

        const Figures big = run(350);
        print(QStringLiteral("send_full_exchanges"), static_cast<double>(big.fullExchanges));
        print(QStringLiteral("send_full_s"), big.fullSeconds, QStringLiteral("s"));
        print(QStringLiteral("send_changes_exchanges"), static_cast<double>(big.changeExchanges));
        print(QStringLiteral("send_changes_slots_written"), big.written);
        print(QStringLiteral("guard_reads"), big.guardReads);
        print(QStringLiteral("send_changes_one_user_s"), big.changeSeconds, QStringLiteral("s"));
        print(QStringLiteral("send_changes_speedup"), big.fullSeconds / big.changeSeconds);
        print(QStringLiteral("send_changes_target_s"), TARGET_SECONDS, QStringLiteral("s"));
        const bool bigMet = big.ok && big.changeSeconds <= TARGET_SECONDS;
        print(QStringLiteral("send_changes_target_met"), bigMet ? 1 : 0);

        const Figures small = run(60);
        print(QStringLiteral("send_full_60_s"), small.fullSeconds, QStringLiteral("s"));
        print(QStringLiteral("guard_reads_60"), small.guardReads);
        print(QStringLiteral("send_changes_one_user_60_s"), small.changeSeconds, QStringLiteral("s"));
        print(QStringLiteral("send_changes_60_target_s"), TARGET_SECONDS_60, QStringLiteral("s"));
        const bool smallMet = small.ok && small.changeSeconds <= TARGET_SECONDS_60;
        print(QStringLiteral("send_changes_60_target_met"), smallMet ? 1 : 0);
        if (!bigMet || !smallMet)
            status = 1;
    }
    sim.stop();
    return status;
}
