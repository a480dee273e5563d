// The board-image reader on any file. Byte 0 of the input says whether the rest is taken as it is
// or sealed first with the checksum line a saved image ends with, so that the search gets past the
// checksum to the lines behind it. An image the reader accepts must hold values a board can take,
// and must save and read back unchanged.

#include "SystemImage.h"
#include "TzrError.h"

#include <QCryptographicHash>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

[[noreturn]] void fail(const char *what)
{
    std::fprintf(stderr, "fuzz_systemimage: invariant broken: %s\n", what);
    std::abort();
}

#define CHECK(cond)                                                                                          \
    do {                                                                                                     \
        if (!(cond))                                                                                         \
            fail(#cond);                                                                                     \
    } while (false)

bool sameImage(const SystemImage &a, const SystemImage &b)
{
    return a.placa == b.placa && a.momento == b.momento && a.parametros == b.parametros &&
           a.codigos == b.codigos && a.usuarios == b.usuarios;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    QByteArray bytes(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    if (data[0] & 1) {
        if (!bytes.endsWith('\n'))
            bytes += '\n';
        bytes += "sha256 " + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex() + '\n';
    }

    SystemImage image;
    try {
        image = SystemImage::fromBytes(bytes);
    } catch (const TzrError &) {
        return 0;
    }
    CHECK(image.placa >= 0 && image.placa <= 31);
    CHECK(image.momento.isValid());
    for (int v : image.parametros)
        CHECK(v >= 0 && v <= 0xFF);
    for (int v : image.codigos)
        CHECK(v >= 0 && v <= 0xFF);
    for (int slot = 0; slot < MAX_USUARIOS; ++slot) {
        if (!image.usuarios.inUse(slot))
            continue;
        for (int v : image.usuarios.record(slot))
            CHECK(v >= 0 && v <= 0xFF);
    }

    const QByteArray saved = image.toBytes();
    SystemImage again;
    try {
        again = SystemImage::fromBytes(saved);
    } catch (const TzrError &e) {
        std::fprintf(stderr, "%s\n", e.what());
        fail("an accepted image, saved again, is refused");
    }
    CHECK(sameImage(again, image));
    CHECK(again.toBytes() == saved);
    return 0;
}
