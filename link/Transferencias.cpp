#include "Transferencias.h"

#include "Clock.h"
#include "Comunicacion_TZR.h"
#include "SilenceWatch.h"
#include "SlotWalk.h"
#include "TablaTransferencia.h"
#include "TextLookup.h"
#include "TransferReport.h"
#include "TzrError.h"
#include "UserArea.h"

#include <algorithm>

#include <QCoreApplication>
#include <QTime>

Transferencias::Transferencias(Comunicacion_TZR &link, const TextLookup &textos, const Clock &clock)
    : m_link(link), m_textos(textos), m_clock(clock)
{
}

double Transferencias::Milisegundos_Entre(const QDateTime &later, const QDateTime &earlier)
{
    const Clock::Parts p = Clock::split(later, earlier);
    return p.hours * 3600000.0 + p.minutes * 60000.0 + p.seconds * 1000.0 + p.milliseconds;
}

QString Transferencias::textoReal(double value)
{
    return QString::number(value, 'g', 15);
}

int Transferencias::Lee_Tipo_Lector(int placa)
{
    int value = 0;
    const bool ok = m_link.Lee_Byte(placa, DIR_TIPO_LECTOR, value);
    return tipoLectorDeByte(value, ok);
}

int Transferencias::Lee_Longitud_Teclado()
{
    int value = 0;
    const bool ok = m_link.Lee_Byte(m_link.placaActual(), DIR_LONGITUD_TECLADO, value);
    return longitudTecladoDeByte(value, ok);
}

bool Transferencias::Registro_Ocupado(int pos, bool *fallo)
{
    int value = 0;
    const bool ok = m_link.Lee_Byte(m_link.placaActual(), pos + OFS_CODIGO, value);
    if (fallo)
        *fallo = !ok;
    return ok && value != SLOT_VACIO;
}

bool Transferencias::Lee_Registro(int slot, RegistroPlaca &lista)
{
    const int pos = direccionSlot(slot);
    m_link.printDebug(QStringLiteral("POSICION_INI: ") + QString::number(pos));
    bool falloOcupacion = false;
    if (!Registro_Ocupado(pos, &falloOcupacion))
        return !falloOcupacion;
    std::array<bool, TAM_REGISTRO> flag_recibidos{};
    bool completo = true;
    for (int i = 0; i < TAM_REGISTRO; ++i) {
        const int address = pos + i;
        int intentos = 0;
        while (true) {
            m_link.Intercambio(CMD_LEER, payload({(address >> 8) & 0xFF, address & 0xFF}), m_link.placaActual());
            if (m_link.respuesta_valida()) {
                QCoreApplication::processEvents();
                lista[i] = m_link.valorLeido();
                flag_recibidos[i] = true;
                break;
            }
            ++intentos;
            m_link.appendMark(QStringLiteral("F%1R").arg(intentos));
            if (intentos >= INTENTOS) {
                flag_recibidos[i] = false;
                m_link.printDebug(QStringLiteral("flag_recibidos[%1]:=false").arg(i));
                completo = false;
                break;
            }
        }
    }
    return completo;
}

void Transferencias::progreso(void (ProgressView::*f)(const QString &), const QString &text) const
{
    if (m_progreso)
        (m_progreso->*f)(text);
}

ResultadoRecepcion Transferencias::Conexion_General(TablaTransferencia &tabla)
{
    ResultadoRecepcion resultado;
    m_link.setParada(false);
    const SilenceWatch vigilancia(m_link, m_progreso);
    tabla.comenzar();
    try {
        tabla.Vacia_Tabla();
        const bool conLog = m_link.debugLog() != nullptr;
        const QDateTime inicio = m_clock.now();
        if (conLog)
            m_link.printDebug(QStringLiteral("Conexion_General: Inicio\r\n"));
        SlotWalk(m_progreso, SlotWalk::Counter::NumberedWithUser).run([&](int i) {
            RegistroPlaca lista = registroVacio();
            // Lets the window repaint between slots; the last exchange already ended the wait.
            while (!m_link.Espera_Respuesta()) {
            }
            if (!Lee_Registro(i, lista))
                ++resultado.slotsFallidos;
            if (m_areaLeida) {
                if (lista[OFS_CODIGO] != FIN_TRAMA)
                    m_areaLeida->setRecord(i, lista);
                else
                    m_areaLeida->clear(i);
            }
            if (lista[0] != FIN_TRAMA) {
                FichaUsuario ficha = Decodifica_Registro(lista, m_link.tipo_lector());
                if (ficha.tipo == 0)
                    Lee_Longitud_Teclado();
                tabla.inserta(fichaAFila(ficha, m_textos.texto(claveTipoCode(ficha.tipo),
                                                               textoTipoCodePorDefecto(ficha.tipo))));
                ++resultado.usuarios;
            }
        });
        if (conLog) {
            const QDateTime fin = m_clock.now();
            m_link.printDebug(QStringLiteral("evalua_trama_recepcion: Fin - Tiempo: ") +
                              textoReal(Milisegundos_Entre(fin, inicio) / 1000.0) + QStringLiteral(" segundos"));
        }
        // No row is kept unless every value read is known to answer its own request.
        m_link.confirmAligned();
    } catch (...) {
        tabla.deshacer();
        throw;
    }
    if (resultado.completa())
        tabla.confirmar();
    else
        tabla.deshacer();
    return resultado;
}

bool Transferencias::Prepara_Envio(const QList<FilaUsuario> &filas, QList<RegistroEnvio> &registros,
                                   FilaRechazada &rechazo, const QList<bool> &leftOut) const
{
    registros.clear();
    const int n = static_cast<int>(std::min<qsizetype>(filas.size(), MAX_USUARIOS));
    registros.reserve(n);
    for (int i = 0; i < n; ++i) {
        RegistroEnvio r;
        r.fila = filas[i];
        if (i < leftOut.size() && leftOut[i]) {
            r.leftOut = true;
            registros.append(r);
            continue;
        }
        try {
            r.registro = Codifica_Registro(Fila_a_Ficha(filas[i], i, m_link.tipo_lector()), m_link.tipo_lector());
        } catch (const TzrError &e) {
            rechazo.posicion = i;
            rechazo.nombre = filas[i].NOMBRE;
            rechazo.motivo = e.message();
            registros.clear();
            return false;
        }
        // The two spare bytes are written as zeros so every write frame is well formed.
        r.registro[OFS_BYTE42] = 0;
        r.registro[OFS_BYTE43] = 0;
        registros.append(r);
    }
    return true;
}

int Transferencias::borrar_TODO_del_Sistema()
{
    progreso(&ProgressView::setMessage, m_textos.texto(QStringLiteral("SHOW_M11"), QStringLiteral("Preparing system :")));
    m_link.printDebug(QStringLiteral("borrar_TODO_del_Sistema: Comienza"));
    if (m_progreso)
        m_progreso->display();
    const QString seccion = m_textos.seccion();
    if (seccion.size() >= 2 && seccion[1] == QLatin1Char('n'))
        progreso(&ProgressView::setMessage, QStringLiteral("Deleting data from system :"));
    else if (seccion.size() >= 2 && seccion[1] == QLatin1Char('s'))
        progreso(&ProgressView::setMessage, QStringLiteral("Borrando la Información del Sistema :"));
    int fallidos = 0;
    SlotWalk(m_progreso, SlotWalk::Counter::Dots).run([&](int i) {
        if (!escribeByteMarcado(direccionSlot(i) + OFS_CODIGO, SLOT_VACIO))
            ++fallidos;
    });
    if (m_progreso)
        m_progreso->dismiss();
    return fallidos;
}

int Transferencias::Escribe_Registro(const RegistroPlaca &lista, int slot)
{
    const int pos = TAM_REGISTRO * (slot - 1) + INICIO_REGISTROS;
    int fallidos = 0;
    for (int i = 0; i < TAM_REGISTRO; ++i) {
        if (!escribeByteMarcado(pos + i, lista[i]))
            ++fallidos;
    }
    return fallidos;
}

bool Transferencias::escribeByteMarcado(int address, int value)
{
    // The purge comes once per byte, not per attempt.
    if (m_link.PuertoCOM())
        m_link.PuertoCOM()->purge();
    for (int intentos = 1;; ++intentos) {
        m_link.Intercambio(CMD_ESCRIBIR, payload({(address >> 8) & 0xFF, address & 0xFF, value}), m_link.placaActual());
        if (m_link.respuesta_valida())
            return true;
        m_link.appendMark(QStringLiteral("F%1").arg(intentos));
        if (intentos >= INTENTOS)
            return false;
        m_link.appendMark(QStringLiteral("R"));
    }
}

int usersToWrite(const QList<RegistroEnvio> &registros)
{
    return static_cast<int>(std::count_if(registros.begin(), registros.end(),
                                          [](const RegistroEnvio &r) { return !r.leftOut; }));
}

QStringList namesLeftOut(const QList<RegistroEnvio> &registros)
{
    QStringList names;
    for (const RegistroEnvio &r : registros) {
        if (r.leftOut)
            names << r.fila.NOMBRE.trimmed();
    }
    return names;
}

ResultadoEnvio Transferencias::Envio_General(const QList<RegistroEnvio> &registros, const QString &puertoActual)
{
    ResultadoEnvio resultado;
    m_link.setParada(false);
    const SilenceWatch vigilancia(m_link, m_progreso);
    m_link.printDebug(QStringLiteral("Envio_General: Comienza\r\n"));
    m_link.printDebug(QStringLiteral("Puerto: ") + puertoActual + QStringLiteral(". Velocidad Timer: ") +
                      QString::number(m_link.intervalo().count()) + QStringLiteral(" milisegundos"));
    const int count = static_cast<int>(registros.size());
    if (count == 0) {
        if (m_mensajes)
            m_mensajes->showTwoLines(m_textos.texto(QStringLiteral("F_SHOW_M9"), QStringLiteral("¿¿??")), QString());
        resultado.borradosFallidos = borrar_TODO_del_Sistema();
        if (m_progreso)
            m_progreso->dismiss();
        return resultado;
    }
    // Stop and a lost port end the send where it is; the report tells which users got through.
    try {
        resultado.borradosFallidos = borrar_TODO_del_Sistema();
    } catch (const OperacionDetenida &) {
        return interrumpe(resultado, Interrupcion::Detenida, QString());
    } catch (const PuertoPerdido &e) {
        return interrumpe(resultado, Interrupcion::PuertoPerdido, e.message());
    }
    if (m_progreso) {
        m_progreso->setPosition(0);
        m_progreso->setMaximum(count);
        m_progreso->setCounter(QStringLiteral("0/%1").arg(count));
    }
    m_link.printDebug(QStringLiteral("Envio_General: Envio de usuarios comienza tras el borrado"));
    const QDateTime inicio = m_clock.now();
    for (int n = 0; n < count; ++n) {
        if (registros[n].leftOut) {
            // Its slot was emptied with the others and stays so.
            if (m_progreso) {
                m_progreso->setCounter(QStringLiteral("%1/%2").arg(n + 1).arg(count));
                m_progreso->setPosition(n + 1);
            }
            continue;
        }
        if (m_progreso)
            m_progreso->display();
        progreso(&ProgressView::setMessage, m_textos.texto(QStringLiteral("SHOW_M10"), QStringLiteral("Sending to system :")));
        m_link.printDebug(QStringLiteral("Envio_General: Enviamos usuario ") + QString::number(n + 1));
        const QDateTime t1 = m_clock.now();
        try {
            if (Escribe_Registro(registros[n].registro, n + 1) > 0)
                resultado.usuariosFallidos << registros[n].fila.NOMBRE;
        } catch (const OperacionDetenida &) {
            return interrumpe(resultado, Interrupcion::Detenida, QString());
        } catch (const PuertoPerdido &e) {
            return interrumpe(resultado, Interrupcion::PuertoPerdido, e.message());
        }
        const QDateTime t2 = m_clock.now();
        m_link.printDebug(QStringLiteral("Envio_General: Fin usuario ") + QString::number(n + 1) +
                          QStringLiteral(" - Tiempo: ") + textoReal(Milisegundos_Entre(t2, t1) / 1000.0) +
                          QStringLiteral(" segundos"));
        ++resultado.usuarios;
        if (m_progreso) {
            m_progreso->setCounter(QStringLiteral("%1/%2").arg(n + 1).arg(count));
            m_progreso->setPosition(n + 1);
        }
    }
    if (m_progreso)
        m_progreso->setMaximum(MAX_USUARIOS);
    const QDateTime fin = m_clock.now();
    const double total = Milisegundos_Entre(fin, inicio);
    m_link.printDebug(QString(50, QLatin1Char('*')));
    m_link.printDebug(QStringLiteral("Envio_General - Tiempo de carga: ") +
                      Clock::longTime(QTime(0, 0).addMSecs(static_cast<int>(total))));
    m_link.printDebug(QStringLiteral("Usuarios: ") + QString::number(count) + QStringLiteral(" - Tiempo por usuario: ") +
                      textoReal(total / count / 1000.0) + QStringLiteral(" segundos"));
    if (m_progreso)
        m_progreso->dismiss();
    return resultado;
}

ResultadoEnvio Transferencias::interrumpe(ResultadoEnvio resultado, Interrupcion causa,
                                          const QString &motivo) const
{
    resultado.interrupcion = causa;
    resultado.motivo = motivo;
    m_link.setParada(false);
    if (m_progreso) {
        m_progreso->setMaximum(MAX_USUARIOS);
        m_progreso->dismiss();
    }
    return resultado;
}
