#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>

// One panel board: 64 KiB of byte memory and the number it answers to on the bus.
// The number in use changes only at a restart, when the board adopts the value stored at
// address 1; until then a write there is just a byte in memory.
class Board
{
public:
    static constexpr int MEMORY_SIZE = 65536;
    static constexpr int MAX_NUMBER = 31;

    static constexpr int ADDR_NUMBER = 1;
    static constexpr int ADDR_KEYPAD_LENGTH = 2;
    static constexpr int ADDR_LANGUAGE = 3;
    static constexpr int ADDR_READER = 4;
    static constexpr int ADDR_TIME_A = 5;
    static constexpr int ADDR_TIME_B = 6;
    static constexpr int ADDR_PROGRAMMING_MARKER = 10;
    static constexpr int ADDR_MASTER_MARKER = 16;
    static constexpr int CODE_LENGTH = 5;
    static constexpr quint8 CODE_MARKER = 0x3A;

    static constexpr int RECORD_START = 32;
    static constexpr int RECORD_SIZE = 45;
    static constexpr int RECORD_SLOTS = 350;
    static constexpr int RECORD_STATE_OFFSET = 20;
    static constexpr quint8 EMPTY_SLOT = 0xFF;

    // A fresh board: every byte 0xFF (unprogrammed memory), then the factory parameters:
    // its number at address 1, keypad length 6, language 1, card reader (0), times 10 and 10.
    explicit Board(int number);

    int number() const { return m_number; }
    // Changes the number in use at once and stores it at address 1, as a board set up that way.
    bool setNumber(int number);

    quint8 byte(int address) const;
    void setByte(int address, quint8 value);
    const QByteArray &memory() const { return m_memory; }
    // Replaces the whole memory; false unless the image is exactly MEMORY_SIZE bytes.
    bool setMemory(const QByteArray &image);

    static int recordAddress(int slot) { return RECORD_START + slot * RECORD_SIZE; }
    QByteArray record(int slot) const;
    // Stores a raw record in a slot; false for a slot out of range or a record not 45 bytes long.
    bool setRecord(int slot, const QByteArray &record);
    void clearRecord(int slot);
    bool slotInUse(int slot) const;
    int usersStored() const;
    // Fills slots 0 to count - 1 with sample users; variant varies them between boards.
    void seedUsers(int count, int variant = 0);

    // Codes are five characters "0"-"9", "A", "B"; anything else is refused and nothing changes.
    bool setProgrammingCode(const QString &code);
    bool setMasterCode(const QString &code);
    // The stored code, or an empty text when its marker is not set.
    QString programmingCode() const;
    QString masterCode() const;

    bool transferOpen() const { return m_transferOpen; }
    void setTransferOpen(bool open) { m_transferOpen = open; }

    // Adopts the number at address 1 when it is a valid board number (0 to 31); any other value
    // leaves the number as it was. An open transfer ends.
    void restart();

    // Frames this board has acted on since it was created; the silent-after fault counts these.
    int exchanges() const { return m_exchanges; }
    void countExchange() { ++m_exchanges; }

    std::chrono::steady_clock::time_point busyUntil() const { return m_busyUntil; }
    void setBusyUntil(std::chrono::steady_clock::time_point until) { m_busyUntil = until; }

private:
    bool setCode(int markerAddress, const QString &code);
    QString code(int markerAddress) const;

    int m_number = 0;
    QByteArray m_memory;
    bool m_transferOpen = false;
    int m_exchanges = 0;
    std::chrono::steady_clock::time_point m_busyUntil{};
};
