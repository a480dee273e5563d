// The board images a data file remembers, as the send of changes reads them, on any stored bytes.
// Byte 0 of the input: bits 0-4 the board number the bytes are stored under; bit 5 set, the rest is
// only the user area and a sound header naming board byte 1 is put in front of it, so that the
// search reaches the slots behind the header. Whatever is stored, loading it must give either no
// image or one that is exactly what saving that image writes, for that board; the changes planned
// against it must bring the board to what a full send leaves; and another board's image in the same
// file must load as it was saved.

#include "SyncImageStore.h"
#include "SyncImageStore_p.h"
#include "SyncTransfers.h"
#include "TableCursor.h"
#include "TableFamily.h"
#include "UsersTable.h"

#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_syncimage: invariant broken: %s\n", what);
    std::abort();
}

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            fail(#cond);                                                                                     \
    } while (false)

// The board whose sound image sits beside the damaged one; the input never stores under it.
constexpr int OTHER_BOARD = 31;

RegistroPlaca sampleRecord(int i)
{
    RegistroPlaca r{};
    for (int k = 0; k < TAM_REGISTRO; ++k)
        r[k] = (i * 11 + k * 3) & 0xFF;
    r[OFS_CODIGO] = 0x30 + i;
    return r;
}

struct Rig
{
    QTemporaryDir dir;
    QString name = QStringLiteral("users.db");
    SyncImage other;
    QList<RegistroEnvio> registros;

    Rig()
    {
        if (!dir.isValid())
            fail("no temporary folder");
        TableFamily::create(dir.filePath(QStringLiteral("users")), UsersTable::descripcion());
        other.placa = OTHER_BOARD;
        other.momento = QDateTime::fromMSecsSinceEpoch(1796726401250, Qt::UTC);
        for (int i = 0; i < 4; ++i)
            other.area.setRecord(i * 3, sampleRecord(i));
        SyncImageStore(dir.path(), name).save(other);
        for (int i = 0; i < 5; ++i) {
            RegistroEnvio e;
            e.registro = sampleRecord(i + 2);
            registros << e;
        }
    }
};

Rig &rig()
{
    static Rig r;
    return r;
}

// What save() writes in front of the user area, for an image of any board number.
QByteArray soundHeader(int placa)
{
    SyncImage image;
    image.placa = placa;
    image.momento = QDateTime::fromMSecsSinceEpoch(1796726401250, Qt::UTC);
    const QByteArray bytes = image.toBytes();
    return bytes.left(bytes.size() - MAX_USUARIOS);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    Rig &r = rig();
    const int placa = data[0] & 0x1F;
    if (placa == OTHER_BOARD)
        return 0;
    QByteArray stored;
    if (data[0] & 0x20) {
        if (size < 2)
            return 0;
        stored = soundHeader(data[1]) + QByteArray(reinterpret_cast<const char *>(data + 2), qsizetype(size - 2));
    } else {
        stored = QByteArray(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    }

    {
        // Stored as the store itself keeps its records, bypassing the checks of save().
        TableCursor cursor;
        cursor.open(r.dir.path(), r.name);
        cursor.setSideRecord(SYNC_IMAGE_KIND, QString::number(placa), stored);
        cursor.close();
    }

    SyncImageStore store(r.dir.path(), r.name);
    const std::optional<SyncImage> image = store.load(placa);
    if (image) {
        CHECK(image->placa == placa);
        CHECK(image->toBytes() == stored);
        const PlanCambios plan = SyncTransfers::planifica(r.registros, image->area);
        UserArea after = image->area;
        for (int slot : plan.escribir) {
            CHECK(slot >= 0 && slot < r.registros.size());
            after.setRecord(slot, r.registros[slot].registro);
        }
        for (int slot : plan.vaciar) {
            CHECK(slot >= r.registros.size() && slot < MAX_USUARIOS);
            after.clear(slot);
        }
        CHECK(after == UserArea::fromRecords(r.registros));
    }
    const std::optional<SyncImage> other = store.load(OTHER_BOARD);
    CHECK(other && other->toBytes() == r.other.toBytes());
    store.forget(placa);
    CHECK(!store.load(placa));
    return 0;
}
