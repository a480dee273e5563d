#include "UserArea.h"

#include <QDataStream>
#include <QIODevice>

namespace {

const QByteArray SYNC_MAGIC = QByteArrayLiteral("TZRSYNC");
constexpr quint8 SYNC_FORMAT = 1;

RegistroPlaca emptyRecord()
{
    RegistroPlaca r = registroVacio();
    r[OFS_CODIGO] = SLOT_VACIO;
    return r;
}

} // namespace

UserArea::UserArea()
{
    m_slots.fill(emptyRecord());
}

void UserArea::setRecord(int slot, const RegistroPlaca &record)
{
    if (record[OFS_CODIGO] == SLOT_VACIO)
        clear(slot);
    else
        m_slots.at(slot) = record;
}

void UserArea::clear(int slot)
{
    m_slots.at(slot) = emptyRecord();
}

int UserArea::users() const
{
    int n = 0;
    for (int i = 0; i < MAX_USUARIOS; ++i)
        n += inUse(i) ? 1 : 0;
    return n;
}

UserArea UserArea::fromRecords(const QList<RegistroEnvio> &records)
{
    UserArea area;
    const int n = static_cast<int>(std::min<qsizetype>(records.size(), MAX_USUARIOS));
    for (int i = 0; i < n; ++i) {
        if (!records[i].leftOut)
            area.setRecord(i, records[i].registro);
    }
    return area;
}

bool UserArea::operator==(const UserArea &other) const
{
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        if (inUse(i) != other.inUse(i) || (inUse(i) && record(i) != other.record(i)))
            return false;
    }
    return true;
}

bool UserArea::complete() const
{
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        if (!inUse(i))
            continue;
        for (int v : m_slots[i]) {
            if (v < 0 || v > 0xFF)
                return false;
        }
    }
    return true;
}

QByteArray UserArea::toBytes() const
{
    QByteArray bytes;
    bytes.reserve(MAX_USUARIOS * (TAM_REGISTRO + 1));
    for (int i = 0; i < MAX_USUARIOS; ++i)
        bytes.append(inUse(i) ? '\1' : '\0');
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        if (!inUse(i))
            continue;
        for (int v : m_slots[i])
            bytes.append(static_cast<char>(v & 0xFF));
    }
    return bytes;
}

std::optional<UserArea> UserArea::fromBytes(const QByteArray &bytes)
{
    if (bytes.size() < MAX_USUARIOS)
        return std::nullopt;
    int used = 0;
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        if (bytes[i] != '\0' && bytes[i] != '\1')
            return std::nullopt;
        used += bytes[i] == '\1';
    }
    if (bytes.size() != MAX_USUARIOS + used * TAM_REGISTRO)
        return std::nullopt;
    UserArea area;
    qsizetype at = MAX_USUARIOS;
    for (int i = 0; i < MAX_USUARIOS; ++i) {
        if (bytes[i] != '\1')
            continue;
        RegistroPlaca r{};
        for (int k = 0; k < TAM_REGISTRO; ++k)
            r[k] = static_cast<quint8>(bytes[at + k]);
        at += TAM_REGISTRO;
        if (r[OFS_CODIGO] == SLOT_VACIO)
            return std::nullopt;
        area.setRecord(i, r);
    }
    return area;
}

QByteArray SyncImage::toBytes() const
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out.setByteOrder(QDataStream::BigEndian);
    out.writeRawData(SYNC_MAGIC.constData(), static_cast<int>(SYNC_MAGIC.size()));
    out << SYNC_FORMAT << static_cast<qint32>(placa) << static_cast<qint64>(momento.toMSecsSinceEpoch());
    const QByteArray a = area.toBytes();
    out.writeRawData(a.constData(), static_cast<int>(a.size()));
    return bytes;
}

std::optional<SyncImage> SyncImage::fromBytes(const QByteArray &bytes)
{
    constexpr qsizetype header = 7 + 1 + 4 + 8;
    if (bytes.size() < header || !bytes.startsWith(SYNC_MAGIC))
        return std::nullopt;
    QDataStream in(bytes.mid(SYNC_MAGIC.size(), header - SYNC_MAGIC.size()));
    in.setByteOrder(QDataStream::BigEndian);
    quint8 format = 0;
    qint32 placa = 0;
    qint64 msecs = 0;
    in >> format >> placa >> msecs;
    if (in.status() != QDataStream::Ok || format != SYNC_FORMAT || placa < 0 || placa > 31)
        return std::nullopt;
    const std::optional<UserArea> area = UserArea::fromBytes(bytes.mid(header));
    if (!area)
        return std::nullopt;
    SyncImage image;
    image.placa = placa;
    image.momento = QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC);
    image.area = *area;
    return image;
}
