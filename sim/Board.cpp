#include "Board.h"

#include "UserRecord.h"

namespace {

constexpr quint8 ERASED = 0xFF;
constexpr quint8 FACTORY_KEYPAD_LENGTH = 6;
constexpr quint8 FACTORY_LANGUAGE = 1;
constexpr quint8 FACTORY_READER = 0;
constexpr quint8 FACTORY_TIME = 10;

int codeValue(QChar c)
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return c.unicode();
    if (c == QLatin1Char('A'))
        return 0x3A;
    if (c == QLatin1Char('B'))
        return 0x3B;
    return -1;
}

} // namespace

Board::Board(int number)
    : m_number(number), m_memory(MEMORY_SIZE, static_cast<char>(ERASED))
{
    setByte(ADDR_NUMBER, static_cast<quint8>(number));
    setByte(ADDR_KEYPAD_LENGTH, FACTORY_KEYPAD_LENGTH);
    setByte(ADDR_LANGUAGE, FACTORY_LANGUAGE);
    setByte(ADDR_READER, FACTORY_READER);
    setByte(ADDR_TIME_A, FACTORY_TIME);
    setByte(ADDR_TIME_B, FACTORY_TIME);
}

bool Board::setNumber(int number)
{
    if (number < 0 || number > MAX_NUMBER)
        return false;
    m_number = number;
    setByte(ADDR_NUMBER, static_cast<quint8>(number));
    return true;
}

quint8 Board::byte(int address) const
{
    return static_cast<quint8>(m_memory.at(address & 0xFFFF));
}

void Board::setByte(int address, quint8 value)
{
    m_memory[address & 0xFFFF] = static_cast<char>(value);
}

bool Board::setMemory(const QByteArray &image)
{
    if (image.size() != MEMORY_SIZE)
        return false;
    m_memory = image;
    return true;
}

QByteArray Board::record(int slot) const
{
    if (slot < 0 || slot >= RECORD_SLOTS)
        return {};
    return m_memory.mid(recordAddress(slot), RECORD_SIZE);
}

bool Board::setRecord(int slot, const QByteArray &record)
{
    if (slot < 0 || slot >= RECORD_SLOTS || record.size() != RECORD_SIZE)
        return false;
    m_memory.replace(recordAddress(slot), RECORD_SIZE, record);
    return true;
}

void Board::clearRecord(int slot)
{
    if (slot >= 0 && slot < RECORD_SLOTS)
        setByte(recordAddress(slot) + RECORD_STATE_OFFSET, EMPTY_SLOT);
}

bool Board::slotInUse(int slot) const
{
    return slot >= 0 && slot < RECORD_SLOTS && byte(recordAddress(slot) + RECORD_STATE_OFFSET) != EMPTY_SLOT;
}

int Board::usersStored() const
{
    int users = 0;
    for (int slot = 0; slot < RECORD_SLOTS; ++slot)
        users += slotInUse(slot) ? 1 : 0;
    return users;
}

void Board::seedUsers(int count, int variant)
{
    for (int slot = 0; slot < count && slot < RECORD_SLOTS; ++slot)
        setRecord(slot, UserRecord::sample(slot, variant));
}

bool Board::setCode(int markerAddress, const QString &code)
{
    if (code.size() != CODE_LENGTH)
        return false;
    for (QChar c : code) {
        if (codeValue(c) < 0)
            return false;
    }
    setByte(markerAddress, CODE_MARKER);
    for (int i = 0; i < CODE_LENGTH; ++i)
        setByte(markerAddress + 1 + i, static_cast<quint8>(codeValue(code[i])));
    return true;
}

QString Board::code(int markerAddress) const
{
    if (byte(markerAddress) != CODE_MARKER)
        return {};
    QString text;
    for (int i = 0; i < CODE_LENGTH; ++i) {
        const quint8 value = byte(markerAddress + 1 + i);
        if (value >= 0x30 && value <= 0x39)
            text += QLatin1Char(static_cast<char>(value));
        else if (value == 0x3A)
            text += QLatin1Char('A');
        else if (value == 0x3B)
            text += QLatin1Char('B');
        else
            text += QLatin1Char('?');
    }
    return text;
}

bool Board::setProgrammingCode(const QString &code)
{
    return setCode(ADDR_PROGRAMMING_MARKER, code);
}

bool Board::setMasterCode(const QString &code)
{
    return setCode(ADDR_MASTER_MARKER, code);
}

QString Board::programmingCode() const
{
    return code(ADDR_PROGRAMMING_MARKER);
}

QString Board::masterCode() const
{
    return code(ADDR_MASTER_MARKER);
}

void Board::restart()
{
    const int wanted = byte(ADDR_NUMBER);
    if (wanted <= MAX_NUMBER)
        m_number = wanted;
    m_transferOpen = false;
}
