#include "SyncTransfers.h"

#include "Clock.h"
#include "CodeReadback.h"
#include "Comunicacion_TZR.h"
#include "SlotWalk.h"
#include "TablaTransferencia.h"
#include "TextLookup.h"
#include "TransferReport.h"
#include "TzrError.h"

#include <QTime>

#include <algorithm>

namespace {

// After byte 20, the bytes of a slot in use the guard reads: the rest of the access code, which
// decides who gets in, then the name's first byte.
constexpr int BYTES_DE_ACCESO[] = {OFS_CODIGO + 1, OFS_CODIGO + 2, OFS_CODIGO + 3,
                                   OFS_CODIGO + 4, OFS_CODIGO + 5, 0};

} // namespace

SyncTransfers::SyncTransfers(Comunicacion_TZR &link, const TextLookup &textos, const Clock &clock)
    : m_link(link), m_textos(textos), m_clock(clock), m_transferencias(link, textos, clock)
{
}

void SyncTransfers::setProgreso(ProgressView *view)
{
    m_progreso = view;
    m_transferencias.setProgreso(view);
}

void SyncTransfers::setMensajes(MessageView *view)
{
    m_transferencias.setMensajes(view);
}

LecturaSistema SyncTransfers::Lee_Sistema()
{
    LecturaSistema lectura;
    const bool conLog = m_link.debugLog() != nullptr;
    const QDateTime inicio = m_clock.now();
    if (conLog)
        m_link.printDebug(QStringLiteral("Compara_Sistema: Inicio\r\n"));
    if (m_progreso) {
        m_progreso->setMessage(
            m_textos.texto(QStringLiteral("SYNC_READING"), QStringLiteral("Comparing with system :")));
    }
    SlotWalk(m_progreso, SlotWalk::Counter::NumberedWithUser).run([&](int i) {
        RegistroPlaca lista = registroVacio();
        while (!m_link.Espera_Respuesta()) {
        }
        if (!m_transferencias.Lee_Registro(i, lista))
            ++lectura.slotsFallidos;
        if (lista[OFS_CODIGO] == FIN_TRAMA)
            return;
        lectura.area.setRecord(i, lista);
        // A receive reads the keypad length for every record it decodes as keypad; so does this.
        const bool teclado =
            (lista[OFS_CODIGO] >= 0x30 && lista[OFS_CODIGO] <= 0x3F) || m_link.tipo_lector() == 0;
        if (lista[0] != FIN_TRAMA && teclado)
            m_transferencias.Lee_Longitud_Teclado();
    });
    if (conLog)
        m_link.printDebug(
            QStringLiteral("Compara_Sistema: Fin - Tiempo: ") +
            Transferencias::textoReal(Transferencias::Milisegundos_Entre(m_clock.now(), inicio) / 1000.0) +
            QStringLiteral(" segundos"));
    m_link.confirmAligned();
    return lectura;
}

ComprobacionPlaca SyncTransfers::Comprueba_Placa(const UserArea &imagen)
{
    ComprobacionPlaca c;
    m_link.printDebug(QStringLiteral("Comprueba_Placa: Comienza"));
    if (m_progreso) {
        m_progreso->setMessage(
            m_textos.texto(QStringLiteral("SYNC_CHECKING"), QStringLiteral("Checking system :")));
    }
    const int placa = m_link.placaActual();
    SlotWalk(m_progreso, SlotWalk::Counter::Numbered).run([&](int i) {
        const int pos = direccionSlot(i);
        // Byte 20 first: it alone settles a slot empty on both sides, and a slot whose state
        // differs needs no more reads. Every read is one exchange, so a slot stops at its
        // first difference.
        int valor = 0;
        ++c.lecturas;
        if (!m_link.Lee_Byte(placa, pos + OFS_CODIGO, valor)) {
            ++c.slotsSinRespuesta;
            return;
        }
        if (!imagen.inUse(i)) {
            if (valor != SLOT_VACIO)
                c.slotsCambiados << i;
            return;
        }
        const RegistroPlaca &recordado = imagen.record(i);
        if (valor != recordado[OFS_CODIGO]) {
            c.slotsCambiados << i;
            return;
        }
        for (int ofs : BYTES_DE_ACCESO) {
            ++c.lecturas;
            if (!m_link.Lee_Byte(placa, pos + ofs, valor)) {
                ++c.slotsSinRespuesta;
                break;
            }
            if (valor != recordado[ofs]) {
                c.slotsCambiados << i;
                break;
            }
        }
    });
    QStringList cambiadas;
    for (int s : c.slotsCambiados)
        cambiadas << QString::number(s + 1);
    m_link.printDebug(QStringLiteral("Comprueba_Placa: Fin - Cambiadas: %1 - Sin respuesta: %2")
                          .arg(cambiadas.isEmpty() ? QStringLiteral("0") : cambiadas.join(QLatin1Char(' ')))
                          .arg(c.slotsSinRespuesta));
    // The guard passes a board only on values known to answer their own reads.
    m_link.confirmAligned();
    return c;
}

PlanCambios SyncTransfers::planifica(const QList<RegistroEnvio> &registros, const UserArea &imagen)
{
    PlanCambios plan;
    const int n = static_cast<int>(std::min<qsizetype>(registros.size(), MAX_USUARIOS));
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        if (i < n && registros[i].leftOut) {
            if (imagen.inUse(i))
                plan.vaciar << i;
        } else if (i < n) {
            if (!imagen.inUse(i) || !sameFields(imagen.record(i), registros[i].registro))
                plan.escribir << i;
        } else if (imagen.inUse(i)) {
            plan.vaciar << i;
        }
    }
    return plan;
}

ResultadoCambios SyncTransfers::Envio_Cambios(const QList<RegistroEnvio> &registros, const UserArea &imagen,
                                              const QString &puertoActual)
{
    ResultadoCambios resultado;
    const PlanCambios plan = planifica(registros, imagen);
    m_link.printDebug(QStringLiteral("Envio_Cambios: Comienza\r\n"));
    m_link.printDebug(QStringLiteral("Puerto: ") + puertoActual + QStringLiteral(". Velocidad Timer: ") +
                      QString::number(m_link.intervalo().count()) + QStringLiteral(" milisegundos"));
    const int total = static_cast<int>(plan.escribir.size() + plan.vaciar.size());
    if (m_progreso) {
        m_progreso->setMessage(
            m_textos.texto(QStringLiteral("SYNC_SENDING"), QStringLiteral("Sending changes to system :")));
        m_progreso->setPosition(0);
        m_progreso->setMaximum(std::max(total, 1));
        m_progreso->setCounter(QStringLiteral("0/%1").arg(total));
    }
    const QDateTime inicio = m_clock.now();
    int hechos = 0;
    // Slot order, writes and empties interleaved, as a full send would reach them.
    qsizetype w = 0;
    qsizetype v = 0;
    // Stop and a lost port end the writes where they are; the result tells how far they got.
    try {
        while (w < plan.escribir.size() || v < plan.vaciar.size()) {
            const bool escribe =
                v >= plan.vaciar.size() || (w < plan.escribir.size() && plan.escribir[w] < plan.vaciar[v]);
            if (escribe) {
                const int slot = plan.escribir[w++];
                m_link.printDebug(QStringLiteral("Envio_Cambios: Enviamos usuario ") + QString::number(slot + 1));
                const QDateTime t1 = m_clock.now();
                if (m_transferencias.Escribe_Registro(registros[slot].registro, slot + 1) > 0)
                    resultado.usuariosFallidos << registros[slot].fila.NOMBRE;
                const QDateTime t2 = m_clock.now();
                m_link.printDebug(QStringLiteral("Envio_Cambios: Fin usuario ") + QString::number(slot + 1) +
                                  QStringLiteral(" - Tiempo: ") +
                                  Transferencias::textoReal(Transferencias::Milisegundos_Entre(t2, t1) / 1000.0) +
                                  QStringLiteral(" segundos"));
                ++resultado.escritos;
            } else {
                const int slot = plan.vaciar[v++];
                m_link.printDebug(QStringLiteral("Envio_Cambios: Vaciamos posicion ") +
                                  QString::number(slot + 1));
                if (!m_transferencias.escribeByteMarcado(direccionSlot(slot) + OFS_CODIGO, SLOT_VACIO))
                    ++resultado.vaciadosFallidos;
                ++resultado.vaciados;
            }
            ++hechos;
            if (m_progreso) {
                m_progreso->setCounter(QStringLiteral("%1/%2").arg(hechos).arg(total));
                m_progreso->setPosition(hechos);
            }
        }
        QList<int> tocados = plan.escribir + plan.vaciar;
        std::sort(tocados.begin(), tocados.end());
        const UserArea meta = UserArea::fromRecords(registros);
        resultado.leida = meta;
        const RelecturaCodigos relectura = Relee_Codigos(m_link, m_transferencias, tocados, meta, &resultado.leida);
        for (int slot : relectura.distintos) {
            resultado.codigosDistintos << slot;
            resultado.usuariosDistintos << (slot < registros.size()
                                                ? registros[slot].fila.NOMBRE
                                                : Decodifica_Registro(imagen.record(slot), m_link.tipo_lector()).nombre);
        }
    } catch (const OperacionDetenida &) {
        resultado.interrupcion = Interrupcion::Detenida;
        m_link.setParada(false);
        return resultado;
    } catch (const PuertoPerdido &e) {
        resultado.interrupcion = Interrupcion::PuertoPerdido;
        resultado.motivo = e.message();
        return resultado;
    }
    const double ms = Transferencias::Milisegundos_Entre(m_clock.now(), inicio);
    m_link.printDebug(QString(50, QLatin1Char('*')));
    m_link.printDebug(QStringLiteral("Envio_Cambios - Tiempo de carga: ") +
                      Clock::longTime(QTime(0, 0).addMSecs(static_cast<int>(ms))));
    m_link.printDebug(QStringLiteral("Usuarios escritos: %1 - Posiciones vaciadas: %2")
                          .arg(resultado.escritos)
                          .arg(resultado.vaciados));
    if (m_progreso)
        m_progreso->setMaximum(MAX_USUARIOS);
    return resultado;
}
