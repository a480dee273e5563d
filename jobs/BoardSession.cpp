#include "BoardSession.h"

#include "Comunicacion_TZR.h"
#include "LineSettings.h"
#include "RegistroPlaca.h"
#include "TextLookup.h"
#include "TzrError.h"

namespace {

QString currentUser()
{
    const QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QStringLiteral("$USER") : user;
}

} // namespace

BoardSession::BoardSession(SerialPort &port, Comunicacion_TZR &link, const TextLookup &texts,
                           const QString &iniPath)
    : m_port(port), m_link(link), m_texts(texts), m_iniPath(iniPath)
{
    connect(&m_link, &Comunicacion_TZR::ecoDetectado, this, &BoardSession::onEcho);
    connect(&m_link, &Comunicacion_TZR::noEchoDetected, this, &BoardSession::onNoEcho);
    connect(&m_port, &SerialPort::notice, this, &BoardSession::portNotice);
}

bool BoardSession::openPort(const QString &name)
{
    if (!m_port.isOpen() && !m_port.open(name))
        return false;
    applyEchoSetting();
    return true;
}

void BoardSession::applyEchoSetting()
{
    if (!m_iniPath.isEmpty())
        m_port.setLineEchoes(LineSettings(m_iniPath).echoes(m_port.portName()));
}

void BoardSession::setEchoes(bool on)
{
    if (m_port.portName().isEmpty())
        return;
    m_port.setLineEchoes(on);
    if (!m_iniPath.isEmpty())
        LineSettings(m_iniPath).setEchoes(m_port.portName(), on);
}

void BoardSession::onEcho()
{
    const QString name = m_port.portName();
    m_link.printDebug(QStringLiteral("%1: the line echoes what is sent; echo handling turned on").arg(name));
    try {
        if (!m_iniPath.isEmpty())
            LineSettings(m_iniPath).setEchoes(name, true);
    } catch (const TzrError &e) {
        m_link.printDebug(QStringLiteral("TFormPrincipal.ecoDetectado Error: ") + e.message());
    }
    emit echoDetected(name);
}

void BoardSession::onNoEcho()
{
    const QString name = m_port.portName();
    m_link.printDebug(QStringLiteral("%1: the line does not echo what is sent; echo handling turned off").arg(name));
    try {
        if (!m_iniPath.isEmpty())
            LineSettings(m_iniPath).setEchoes(name, false);
    } catch (const TzrError &e) {
        m_link.printDebug(QStringLiteral("TFormPrincipal.ecoDetectado Error: ") + e.message());
    }
    emit echoGone(name);
}

OpenFailureText BoardSession::openFailureText() const
{
    const PortOpenFailure failure = m_port.openFailure();
    const QString device = failure.device.isEmpty() ? m_port.portName() : failure.device;
    switch (failure.kind) {
    case PortOpenFailure::Kind::Permission:
        return {m_texts.texto(QStringLiteral("LINE_PERM_1"), QStringLiteral("No permission to open %1.")).arg(device),
                m_texts
                    .texto(QStringLiteral("LINE_PERM_2"),
                           QStringLiteral("It belongs to the group %1: add your user to it (sudo usermod -aG %1 "
                                          "%2), then log out and log in again."))
                    .arg(failure.group.isEmpty() ? QStringLiteral("dialout") : failure.group, currentUser())};
    case PortOpenFailure::Kind::Busy:
        return {m_texts.texto(QStringLiteral("LINE_BUSY_1"), QStringLiteral("%1 is in use by another program."))
                    .arg(device),
                failure.program.isEmpty()
                    ? m_texts.texto(QStringLiteral("LINE_BUSY_3"),
                                    QStringLiteral("Close the program that uses it and choose the port again."))
                    : m_texts.texto(QStringLiteral("LINE_BUSY_2"), QStringLiteral("Close %1 and choose the port again."))
                          .arg(failure.processId > 0
                                   ? m_texts.texto(QStringLiteral("LINE_BUSY_PROCESS"), QStringLiteral("%1 (process %2)"))
                                         .arg(failure.program)
                                         .arg(failure.processId)
                                   : failure.program)};
    case PortOpenFailure::Kind::Gone:
        return goneText(device);
    case PortOpenFailure::Kind::None:
    case PortOpenFailure::Kind::Other:
        break;
    }
    return {};
}

OpenFailureText BoardSession::goneText(const QString &device) const
{
    return {m_texts.texto(QStringLiteral("LINE_GONE_1"), QStringLiteral("%1 is no longer present.")).arg(device),
            m_texts.texto(QStringLiteral("LINE_GONE_2"),
                          QStringLiteral("Plug the adapter in again, then choose its port in the port menu."))};
}

void BoardSession::purge()
{
    if (m_port.isOpen())
        m_port.purge();
}

void BoardSession::requestStop()
{
    m_link.setParada(true);
}

bool BoardSession::busy() const
{
    return m_link.ocupado();
}

bool BoardSession::isOpen() const
{
    return m_port.isOpen();
}

bool BoardSession::lineEchoes() const
{
    return m_port.lineEchoes();
}

bool BoardSession::openOnly(const QString &name)
{
    return m_port.isOpen() || m_port.open(name);
}

void BoardSession::closePort()
{
    m_port.close();
}

QString BoardSession::portError() const
{
    return m_port.errorString();
}

QString BoardSession::failedDevice() const
{
    return m_port.openFailure().device;
}

bool BoardSession::portGone() const
{
    return m_port.openFailure().kind == PortOpenFailure::Kind::Gone;
}

void BoardSession::log(const QString &line) const
{
    m_link.printDebug(line);
}

bool BoardSession::logging() const
{
    return m_link.debugLog() != nullptr;
}

void BoardSession::setDebugLog(DebugLog *log)
{
    m_link.setDebugLog(log);
}

void BoardSession::setBoard(int board)
{
    m_link.setBoard(board);
}

void BoardSession::setBoardText(const QString &text)
{
    m_link.setBoardText(text);
}

void BoardSession::resetLink()
{
    m_link.reinicia();
}

CodigoLeido BoardSession::readCode(QChar letra)
{
    return ContraPlaca(m_link).leeCodigo(letra);
}

struct BoardSession::Hold::Reservation
{
    explicit Reservation(Comunicacion_TZR &link) : reserva(link) {}
    Comunicacion_TZR::Reserva reserva;
};

BoardSession::Hold::Hold(BoardSession &session) : m_reservation(std::make_unique<Reservation>(session.m_link))
{
}

BoardSession::Hold::~Hold() = default;

CodeCheck BoardSession::checkCode(QChar letra, const CodigoLeido &leido, const QString &typed, const QString &shown)
{
    const Comunicacion_TZR::Reserva reserva(m_link);
    const MarcaLeida marca = ContraPlaca(m_link).Lee_Marca_Contra(letra);
    if (!marca.valida)
        return CodeCheck::NoAnswer;
    return ContraPlaca::verifica(marca, leido, typed, shown, letra) ? CodeCheck::Accepted : CodeCheck::Refused;
}

CodeCheck BoardSession::checkCode(QChar letra, const QString &typed)
{
    const Comunicacion_TZR::Reserva reserva(m_link);
    const CodigoLeido leido = ContraPlaca(m_link).leeCodigo(letra);
    return checkCode(letra, leido, typed, typed);
}

void BoardSession::readReaderType()
{
    const Comunicacion_TZR::Reserva reserva(m_link);
    int lector = 0;
    const bool leido = m_link.Lee_Byte(m_link.placaActual(), DIR_TIPO_LECTOR, lector);
    m_link.setTipo_lector(tipoLectorDeByte(lector, leido));
}
