// The link's reply collector and frame evaluation under arbitrary replies: the input is a script
// of operations and, for every request frame they send, the pieces the line delivers and where the
// reply timer fires. Pieces and time-outs arrive through the event loop, as the port's receive
// event and the timer do in the program; the real timer is set far out of reach so that no run
// waits on the clock.

#include "Clock.h"
#include "Comunicacion_TZR_p.h"
#include "FixedTexts.h"
#include "MemoryDebugLog.h"
#include "ScriptPort.h"
#include "Transferencias.h"

#include <QCoreApplication>
#include <QHash>
#include <QTimer>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_link: invariant broken: %s\n", what);
    std::abort();
}

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            fail(#cond);                                                                                     \
    } while (false)

class Script
{
public:
    Script(const uint8_t *data, size_t size) : m_data(data), m_size(size) {}
    bool atEnd() const { return m_pos >= m_size; }
    int next() { return atEnd() ? -1 : m_data[m_pos++]; }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// A reply the board would give to request: same board and command, value as its first payload
// byte for a read, the XOR check byte at the end.
QByteArray goodReply(const QByteArray &request, int value)
{
    const int command = static_cast<quint8>(request.at(3));
    QByteArray body;
    body.append(static_cast<char>(command));
    if (command == CMD_LEER)
        body.append(static_cast<char>(value));
    int x = 0;
    for (char c : body)
        x ^= static_cast<quint8>(c);
    QByteArray reply;
    reply.append(static_cast<char>(0xFF));
    reply.append(request.at(1));
    reply.append(static_cast<char>(body.size()));
    reply.append(body);
    reply.append(static_cast<char>(x));
    return reply;
}

struct Rig
{
    ScriptPort port;
    Comunicacion_TZR link;
    MemoryDebugLog log;
    FixedTexts texts;
    Clock clock;
    Transferencias transfers{link, texts, clock};
    Script *script = nullptr;
    // The values of the good replies given to each read request, by its frame: any of them answers
    // that frame, none answers another. Whether any raw piece (which may form any frame at all)
    // reached the line in the current operation or the one before.
    QHash<QByteArray, QList<int>> givenValues;
    bool rawNow = false;
    bool rawBefore = false;

    void nextOperation()
    {
        rawBefore = rawNow;
        rawNow = false;
    }

    Rig()
    {
        port.open(QStringLiteral("COM1"));
        link.setPuerto(&port);
        link.setDebugLog(&log);
        link.setIntervalo(std::chrono::hours(1));
        // A quiet line is one event-loop pass with nothing left to deliver.
        Comunicacion_TZRPrivate(link).setQuietTime(std::chrono::milliseconds(0));
        port.setResponder([this](const QByteArray &frame) { return respond(frame); });
    }

    // The reply timer firing: only ever while it runs, and only for the exchange that started it.
    void postTimeout()
    {
        const qint64 exchange = Comunicacion_TZRPrivate(link).intercambios();
        QTimer::singleShot(0, &link, [this, exchange] {
            if (Comunicacion_TZRPrivate(link).intercambios() == exchange && link.TimerRecepcion().isActive())
                Comunicacion_TZRPrivate(link).TimerRecepcionTimer();
        });
    }

    QList<QByteArray> respond(const QByteArray &frame)
    {
        // Control byte: 0 ends the reply; 0x40..0x7F a time-out here; 0x80..0xBF the board's own
        // good reply with the next byte as value; otherwise a raw piece of (c & 0x3F) bytes.
        while (script && !script->atEnd()) {
            const int c = script->next();
            if (c == 0)
                break;
            if ((c & 0xC0) == 0x40) {
                postTimeout();
            } else if ((c & 0xC0) == 0x80) {
                const int value = script->next();
                const QByteArray reply = goodReply(frame, value < 0 ? 0 : value);
                if (static_cast<quint8>(frame.at(3)) == CMD_LEER)
                    givenValues[frame].append(value < 0 ? 0 : value);
                // Split the good reply where the low bits say, to exercise frames in pieces.
                const int cut = (c & 0x3F) % (reply.size() + 1);
                if (cut > 0)
                    port.inject(reply.left(cut));
                if (cut < reply.size())
                    port.inject(reply.mid(cut));
            } else {
                QByteArray piece;
                for (int n = c & 0x3F; n > 0 && !script->atEnd(); --n)
                    piece.append(static_cast<char>(script->next()));
                if (!piece.isEmpty()) {
                    rawNow = true;
                    port.inject(piece);
                }
            }
        }
        // Whatever the script gave, the exchange ends: the timer fires after everything sent.
        postTimeout();
        return {};
    }

    void checkIdle()
    {
        CHECK(!Comunicacion_TZRPrivate(link).esperando_respuesta());
        CHECK(Comunicacion_TZRPrivate(link).fin_espera());
        CHECK(!link.TimerRecepcion().isActive());
        const Trama &rx = Comunicacion_TZRPrivate(link).trama_rx();
        CHECK(rx[TAM_TRAMA - 1] == FIN_TRAMA);
        int k = 0;
        while (k < TAM_TRAMA && rx[k] != FIN_TRAMA) {
            CHECK(rx[k] >= 0 && rx[k] <= 0xFF);
            ++k;
        }
        for (int i = k; i < TAM_TRAMA; ++i)
            CHECK(rx[i] == FIN_TRAMA);
        if (link.respuesta_valida()) {
            CHECK(k >= 4);
            CHECK(rx[0] == 0xFF);
            const int L = rx[2];
            CHECK(L >= 1);
            CHECK(L + 3 < k);
            CHECK(Comunicacion_TZRPrivate(link).Comprueba_XOR());
        }
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    static int argc = 1;
    static char name[] = "fuzz_link";
    static char *argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    Rig rig;
    Script script(data, size);
    rig.script = &script;
    // Bound the work of one input: every operation consumes at least one byte.
    for (int ops = 0; ops < 64 && !script.atEnd(); ++ops) {
        const int op = script.next();
        const int arg = script.atEnd() ? 0 : script.next();
        rig.nextOperation();
        try {
        switch (op % 8) {
        case 0: {
            int value = -1;
            if (rig.link.Lee_Byte(arg & 0x1F, (arg << 4) & 0x3FFF, value)) {
                CHECK(value >= 0 && value <= 0xFF);
                // Without noise on the line, a value read is one the board gave this very request.
                if (!rig.rawNow && !rig.rawBefore)
                    CHECK(rig.givenValues.value(Comunicacion_TZRPrivate(rig.link).requestBytes()).contains(value));
            }
            break;
        }
        case 1:
            rig.link.Escribe_Byte(arg & 0x1F, arg * 3, arg);
            break;
        case 2:
            rig.link.Modo_Transferencia((arg & 1) != 0);
            break;
        case 3:
            rig.link.Sondea_Placa(arg & 0x1F);
            break;
        case 4:
            rig.link.Envia_Reinicio();
            break;
        case 5: {
            const int tipo = rig.transfers.Lee_Tipo_Lector(arg & 0x1F);
            CHECK(tipo >= 0 && tipo <= 2);
            break;
        }
        case 6: {
            const int length = rig.transfers.Lee_Longitud_Teclado();
            CHECK(length >= 4 && length <= 6);
            break;
        }
        default: {
            RegistroPlaca lista = registroVacio();
            rig.transfers.Lee_Registro(arg % MAX_USUARIOS, lista);
            for (int v : lista)
                CHECK(v == FIN_TRAMA || (v >= 0 && v <= 0xFF));
            if (lista[0] != FIN_TRAMA) {
                const FichaUsuario ficha = Decodifica_Registro(lista, rig.link.tipo_lector());
                CHECK(ficha.codigo.size() == 10);
            }
            break;
        }
        }
        } catch (const RepliesMisaligned &) {
            // Told, not taken: the operation ends with the link idle.
        }
        rig.checkIdle();
    }
    rig.script = nullptr;
    // Let what is still queued for this rig (late pieces, spent time-outs) run before it goes.
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents();
    rig.port.purge();
    return 0;
}
