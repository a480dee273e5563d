#include "SystemImage.h"

#include "Clock.h"
#include "CodeReadback.h"
#include "Comunicacion_TZR.h"
#include "PrivateFile.h"
#include "SlotWalk.h"
#include "TextLookup.h"
#include "TransferReport.h"
#include "TransferScope.h"
#include "Transferencias.h"
#include "TzrError.h"

#include <QCryptographicHash>
#include <QList>

namespace {

const QByteArray MAGIC = QByteArrayLiteral("TZRUsers system image");

QByteArray hexBytes(const int *values, int count)
{
    QByteArray out;
    for (int i = 0; i < count; ++i) {
        if (i)
            out += ' ';
        out += QByteArray::number(values[i] & 0xFF, 16).rightJustified(2, '0').toUpper();
    }
    return out;
}

[[noreturn]] void refuse(const QString &why)
{
    throw TzrError(QStringLiteral("Not a usable system image: %1").arg(why));
}

int hexByte(const QByteArray &text)
{
    bool ok = false;
    const int v = text.toInt(&ok, 16);
    if (text.size() != 2 || !ok || v < 0 || v > 0xFF)
        refuse(QStringLiteral("bad byte value"));
    return v;
}

template <std::size_t N> void parseBytes(const QByteArray &value, std::array<int, N> &out, const char *what)
{
    const QList<QByteArray> parts = value.split(' ');
    if (parts.size() != static_cast<qsizetype>(N))
        refuse(QStringLiteral("%1 must hold %2 bytes").arg(QLatin1String(what)).arg(N));
    for (std::size_t i = 0; i < N; ++i)
        out[i] = hexByte(parts[static_cast<qsizetype>(i)]);
}

// The line's value after "key "; refuses another key.
QByteArray valueOf(const QByteArray &line, const char *key)
{
    const QByteArray prefix = QByteArray(key) + ' ';
    if (!line.startsWith(prefix))
        refuse(QStringLiteral("expected the line \"%1\"").arg(QLatin1String(key)));
    return line.mid(prefix.size());
}

int number(const QByteArray &text, int lowest, int highest, const char *what)
{
    bool ok = false;
    const int n = text.toInt(&ok, 10);
    if (!ok || n < lowest || n > highest || text != QByteArray::number(n))
        refuse(QStringLiteral("bad %1").arg(QLatin1String(what)));
    return n;
}

} // namespace

QByteArray SystemImage::toBytes() const
{
    QByteArray body = MAGIC + '\n';
    body += "format " + QByteArray::number(FORMAT) + '\n';
    body += "board " + QByteArray::number(placa) + '\n';
    body += "saved " + momento.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n';
    body += "parameters " + hexBytes(parametros.data(), PARAMETER_COUNT) + '\n';
    body += "codes " + hexBytes(codigos.data(), CODE_COUNT) + '\n';
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        if (!usuarios.inUse(i))
            continue;
        QByteArray hex;
        for (int v : usuarios.record(i))
            hex += QByteArray::number(v & 0xFF, 16).rightJustified(2, '0').toUpper();
        body += "slot " + QByteArray::number(i + 1) + ' ' + hex + '\n';
    }
    return body + "sha256 " + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex() + '\n';
}

SystemImage SystemImage::fromBytes(const QByteArray &bytes)
{
    if (!bytes.startsWith(MAGIC + '\n'))
        refuse(QStringLiteral("this is not a TZRUsers system image"));
    if (!bytes.endsWith('\n'))
        refuse(QStringLiteral("the file is cut short"));
    const qsizetype checkStart = bytes.lastIndexOf('\n', bytes.size() - 2) + 1;
    const QByteArray body = bytes.left(checkStart);
    const QByteArray check = bytes.mid(checkStart, bytes.size() - checkStart - 1);
    QList<QByteArray> lines = body.split('\n');
    lines.removeLast();
    if (lines.size() >= 2 && lines[1].startsWith("format ") &&
        lines[1] != "format " + QByteArray::number(FORMAT))
        refuse(QStringLiteral("format %1 is not known to this version")
                   .arg(QString::fromLatin1(lines[1].mid(7))));
    if (check != "sha256 " + QCryptographicHash::hash(body, QCryptographicHash::Sha256).toHex())
        refuse(QStringLiteral("the checksum does not match, the file is damaged"));
    if (lines.size() < 6)
        refuse(QStringLiteral("the file is cut short"));

    SystemImage image;
    valueOf(lines[1], "format");
    image.placa = number(valueOf(lines[2], "board"), 0, 31, "board number");
    image.momento = QDateTime::fromString(QString::fromLatin1(valueOf(lines[3], "saved")), Qt::ISODateWithMs);
    if (!image.momento.isValid())
        refuse(QStringLiteral("bad date"));
    image.momento = image.momento.toUTC();
    parseBytes(valueOf(lines[4], "parameters"), image.parametros, "parameters");
    parseBytes(valueOf(lines[5], "codes"), image.codigos, "codes");
    int previous = 0;
    for (qsizetype l = 6; l < lines.size(); ++l) {
        const QList<QByteArray> parts = valueOf(lines[l], "slot").split(' ');
        if (parts.size() != 2 || parts[1].size() != 2 * TAM_REGISTRO)
            refuse(QStringLiteral("bad slot line"));
        const int slot = number(parts[0], 1, MAX_USUARIOS, "slot number");
        if (slot <= previous)
            refuse(QStringLiteral("slots out of order"));
        previous = slot;
        RegistroPlaca r{};
        for (int k = 0; k < TAM_REGISTRO; ++k)
            r[k] = hexByte(parts[1].mid(2 * k, 2));
        if (r[OFS_CODIGO] == SLOT_VACIO)
            refuse(QStringLiteral("slot %1 is listed but empty").arg(slot));
        image.usuarios.setRecord(slot - 1, r);
    }
    return image;
}

void SystemImage::save(const QString &path) const
{
    PrivateFile::write(path, toBytes());
}

SystemImage SystemImage::load(const QString &path)
{
    return fromBytes(PrivateFile::read(path, MAX_FILE_SIZE));
}

SystemImageTransfer::SystemImageTransfer(Comunicacion_TZR &link, const TextLookup &textos, const Clock &clock)
    : m_link(link), m_textos(textos), m_clock(clock)
{
}

ResultadoImagen SystemImageTransfer::Lee_Imagen(SystemImage &imagen)
{
    ResultadoImagen r;
    const int placa = m_link.placaActual();
    imagen = SystemImage();
    imagen.placa = placa;
    imagen.momento = m_clock.now().toUTC();
    m_link.printDebug(QStringLiteral("Lee_Imagen: Comienza"));
    for (int i = 0; i < SystemImage::PARAMETER_COUNT; ++i) {
        if (!m_link.Lee_Byte(placa, 1 + i, imagen.parametros[i]))
            ++r.fallidos;
    }
    for (int i = 0; i < SystemImage::CODE_COUNT; ++i) {
        if (!m_link.Lee_Byte(placa, SystemImage::CODE_FIRST + i, imagen.codigos[i]))
            ++r.fallidos;
    }
    {
        TransferScope transfer(m_link, TransferScope::Close::RestartIfUnanswered);
        if (!transfer.open()) {
            r.sinRespuesta = true;
            return r;
        }
        Transferencias transferencias(m_link, m_textos, m_clock);
        if (m_progreso)
            m_progreso->setMessage(m_textos.texto(QStringLiteral("SYNC_IMAGE_READING"),
                                                  QStringLiteral("Reading system image :")));
        SlotWalk(m_progreso, SlotWalk::Counter::Numbered).run([&](int i) {
            RegistroPlaca lista = registroVacio();
            if (!transferencias.Lee_Registro(i, lista))
                ++r.fallidos;
            if (lista[OFS_CODIGO] != FIN_TRAMA)
                imagen.usuarios.setRecord(i, lista);
        });
        m_link.confirmAligned();
        transfer.close();
    }
    m_link.printDebug(QStringLiteral("Lee_Imagen: Fin - Usuarios: %1 - Fallos: %2")
                          .arg(imagen.usuarios.users())
                          .arg(r.fallidos));
    return r;
}

ResultadoImagen SystemImageTransfer::Restaura_Imagen(const SystemImage &imagen)
{
    m_restauracion = ResultadoImagen{};
    ResultadoImagen &r = m_restauracion;
    const int placa = m_link.placaActual();
    m_link.printDebug(QStringLiteral("Restaura_Imagen: Comienza"));
    // Users first, inside the transfer; the parameters only once every slot is acknowledged. A
    // board that does not open the transfer, or loses a slot, keeps its number and both codes,
    // and a restore can simply be tried again. The restart comes last, so the board takes the
    // image's number.
    TransferScope transfer(m_link, TransferScope::Close::RestartByCaller);
    if (!transfer.open()) {
        r.sinRespuesta = true;
        m_link.Envia_Reinicio();
        return r;
    }
    Transferencias transferencias(m_link, m_textos, m_clock);
    if (m_progreso)
        m_progreso->setMessage(m_textos.texto(QStringLiteral("SYNC_IMAGE_WRITING"),
                                              QStringLiteral("Restoring system image :")));
    SlotWalk(m_progreso, SlotWalk::Counter::Numbered).run([&](int i) {
        if (imagen.usuarios.inUse(i)) {
            m_link.printDebug(QStringLiteral("Restaura_Imagen: Enviamos usuario ") + QString::number(i + 1));
            if (transferencias.Escribe_Registro(imagen.usuarios.record(i), i + 1) > 0)
                ++r.slotsFallidos;
            else
                ++r.slotsEscritos;
        } else if (!transferencias.escribeByteMarcado(direccionSlot(i) + OFS_CODIGO, SLOT_VACIO)) {
            ++r.slotsFallidos;
        } else {
            ++r.slotsEscritos;
        }
    });
    if (r.slotsFallidos == 0) {
        QList<int> todos;
        for (int i = 0; i < MAX_USUARIOS; ++i)
            todos << i;
        r.slotsDistintos = Relee_Codigos(m_link, transferencias, todos, imagen.usuarios).distintos;
    }
    transfer.close();
    if (r.slotsFallidos == 0 && r.slotsDistintos.isEmpty()) {
        r.parametrosEnviados = true;
        // The order of the parameters window: 1 to 6, then each code's marker before its characters.
        QList<std::pair<int, int>> escritos;
        for (int i = 0; i < SystemImage::PARAMETER_COUNT; ++i)
            escritos.append({1 + i, imagen.parametros[i]});
        for (int i = 0; i < SystemImage::CODE_COUNT; ++i)
            escritos.append({SystemImage::CODE_FIRST + i, imagen.codigos[i]});
        for (const auto &[address, value] : escritos) {
            if (!m_link.Escribe_Byte(placa, address, value))
                ++r.parametrosFallidos;
            ++r.parametrosIntentados;
        }
        // The board number and both codes decide whether the board can be reached at all.
        for (const auto &[address, value] : escritos) {
            int leido = -1;
            if (m_link.Lee_Byte(placa, address, leido) && leido == value)
                continue;
            m_link.Escribe_Byte(placa, address, value);
            if (!m_link.Lee_Byte(placa, address, leido) || leido != value)
                r.parametrosDistintos << address;
        }
    }
    r.fallidos = r.slotsFallidos + r.parametrosFallidos;
    m_link.Envia_Reinicio();
    m_link.printDebug(QStringLiteral("Restaura_Imagen: Fin - Fallos: %1").arg(r.fallidos));
    return r;
}
