#pragma once

// The set-up the job tests share: a data file of three users and a session over the in-process
// bus. Header-only, for the tests that link the jobs.

#include "BoardBus.h"
#include "BoardSession.h"
#include "BusSerialPort.h"
#include "Comunicacion_TZR.h"
#include "DataFileRef.h"
#include "FilaPrueba.h"
#include "TablaCursor.h"
#include "TableFamily.h"
#include "UsersTable.h"

#include <QTemporaryDir>

#include <memory>

namespace JobsFixture {

// "usersN.db" in dir holding ANA, BOB and CAT.
inline DataFileRef threeUsers(const QTemporaryDir &dir, int number)
{
    const QString table = QStringLiteral("users%1").arg(number);
    TableFamily::create(dir.filePath(table), UsersTable::descripcion());
    const DataFileRef file{dir.path() + QLatin1Char('/'), table + QStringLiteral(".db")};
    TablaCursor cursor(file.directory, file.table);
    for (const FilaUsuario &f : {fila("ANA", "0001", "001", "123456"), fila("BOB", "0002", "002", "654321"),
                                 fila("CAT", "0003", "003", "111111")})
        cursor.inserta(f);
    return file;
}

// A port and link on bus, talking to board 1, and a session over them with its settings in ini.
struct Line
{
    std::unique_ptr<BusSerialPort> port;
    std::unique_ptr<Comunicacion_TZR> link;
    std::unique_ptr<BoardSession> session;

    void open(BoardBus &bus, const TextLookup &texts, const QString &ini)
    {
        port = std::make_unique<BusSerialPort>(bus);
        link = std::make_unique<Comunicacion_TZR>();
        link->setPuerto(port.get());
        link->setBoard(1);
        session = std::make_unique<BoardSession>(*port, *link, texts, ini);
    }
    void close()
    {
        session.reset();
        link.reset();
        port.reset();
    }
};

} // namespace JobsFixture
