#include "XlsReader.h"

#include "PrivateFile.h"
#include "TzrError.h"

#include <QFile>
#include <QFileInfo>

#include <freexl.h>

#include <array>
#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>
#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-memory.h>
#include <gsf/gsf-input.h>

namespace {

// A board holds 350 users; a sheet of them has a title row besides.
constexpr unsigned int MOST_ROWS = 351;
// The widest sheet the format has; more is no workbook.
constexpr unsigned int MOST_COLUMNS = 256;
// Hundreds of users take a few tens of KiB; the cap only stops what is no users list.
constexpr qint64 MOST_BYTES = 8 * 1024 * 1024;

quint32 little(const QByteArray &bytes, qsizetype at, int size)
{
    quint32 value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<quint8>(bytes.at(at + i));
    return value;
}

// The rows and columns the first worksheet declares (its DIMENSIONS record), read from the
// workbook stream before the reader is given the file: the reader allocates a cell for each
// before anything else. False when the stream cannot be walked; the reader then judges it.
bool declaredSize(const QByteArray &file, quint32 *rows, quint32 *columns)
{
    GsfInput *input = gsf_input_memory_new(reinterpret_cast<const guint8 *>(file.constData()),
                                           static_cast<gsf_off_t>(file.size()), FALSE);
    GsfInfile *ole = gsf_infile_msole_new(input, nullptr);
    g_object_unref(input);
    if (!ole)
        return false;
    GsfInput *stream = gsf_infile_child_by_name(ole, "Workbook");
    if (!stream)
        stream = gsf_infile_child_by_name(ole, "Book");
    QByteArray book;
    if (stream) {
        const gsf_off_t size = gsf_input_size(stream);
        if (size > 0 && size <= MOST_BYTES) {
            book.resize(static_cast<qsizetype>(size));
            if (!gsf_input_read(stream, static_cast<size_t>(size), reinterpret_cast<guint8 *>(book.data())))
                book.clear();
        }
        g_object_unref(stream);
    }
    g_object_unref(ole);

    constexpr quint32 BOUNDSHEET = 0x0085;
    constexpr quint32 DIMENSIONS = 0x0200;
    constexpr quint32 END = 0x000A;
    // The globals: the first worksheet's offset.
    qsizetype at = 0;
    qint64 sheet = -1;
    while (at + 4 <= book.size()) {
        const quint32 type = little(book, at, 2);
        const qsizetype length = little(book, at + 2, 2);
        if (at + 4 + length > book.size())
            return false;
        if (type == BOUNDSHEET && length >= 6 && static_cast<quint8>(book.at(at + 4 + 5)) == 0) {
            sheet = little(book, at + 4, 4);
            break;
        }
        if (type == END)
            return false;
        at += 4 + length;
    }
    if (sheet < 0 || sheet >= book.size())
        return false;
    for (at = static_cast<qsizetype>(sheet); at + 4 <= book.size();) {
        const quint32 type = little(book, at, 2);
        const qsizetype length = little(book, at + 2, 2);
        if (at + 4 + length > book.size())
            return false;
        if (type == DIMENSIONS) {
            if (length >= 14) {
                *rows = little(book, at + 8, 4);
                *columns = little(book, at + 14, 2);
            } else if (length >= 10) {
                *rows = little(book, at + 6, 2);
                *columns = little(book, at + 10, 2);
            } else {
                return false;
            }
            return true;
        }
        if (type == END)
            return false;
        at += 4 + length;
    }
    return false;
}

// The workbook is parsed by libfreexl in a short-lived child: a fault of the library on a damaged
// or hostile file (it has over-read its own stack on such files) ends the child, not the tool.
// The child can use little memory and CPU, gains no privileges, and where the kernel allows it
// makes no system call beyond reading, writing and memory. It sends the cells back over a pipe
// in a plain form that the parent checks before it believes any of it.
enum CellKind : quint8
{
    CellEmpty = 0,
    CellInt = 1,
    CellDouble = 2,
    CellText = 3,
};
constexpr int EXIT_UNREADABLE = 2;
constexpr int EXIT_TOO_LARGE = 4;
// A cell's text is at most 32767 characters of up to 3 UTF-8 bytes in the format.
constexpr quint32 MOST_TEXT = 32767 * 3;
constexpr qsizetype MOST_REPLY = 32 * 1024 * 1024;
constexpr rlim_t CHILD_CPU_SECONDS = 10;
constexpr rlim_t CHILD_MEMORY = 512 * 1024 * 1024;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool SANITIZED = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(memory_sanitizer)
constexpr bool SANITIZED = true;
#else
constexpr bool SANITIZED = false;
#endif
#else
constexpr bool SANITIZED = false;
#endif

void allowOnly()
{
#if defined(__x86_64__)
    // Reading (files opened read-only, for the library's own code-page tables too), writing the
    // pipe, memory and the way out; anything else ends the child.
    const auto allow = [](int nr) {
        return std::array<sock_filter, 2>{sock_filter BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, static_cast<__u32>(nr), 0, 1),
                                          sock_filter BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW)};
    };
    std::vector<sock_filter> filter{
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
    };
    for (const int nr : {SYS_read, SYS_pread64, SYS_write, SYS_lseek, SYS_fstat, SYS_newfstatat, SYS_close,
                         SYS_brk, SYS_mmap, SYS_munmap, SYS_mremap, SYS_madvise, SYS_mprotect, SYS_futex,
                         SYS_getrandom, SYS_exit, SYS_exit_group, SYS_rt_sigreturn}) {
        const auto pair = allow(nr);
        filter.insert(filter.end(), pair.begin(), pair.end());
    }
    // openat only without a way to write: the flags' access mode must be O_RDONLY.
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_openat, 0, 3));
    filter.push_back(BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])));
    filter.push_back(BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_ACCMODE | O_CREAT | O_TRUNC, 1, 0));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW));
    filter.push_back(BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_KILL_PROCESS));
    sock_fprog program{static_cast<unsigned short>(filter.size()), filter.data()};
    // Without seccomp (an old kernel, or inside a container that forbids it) the limits still hold.
    ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program);
#endif
}

extern "C" void __sanitizer_set_death_callback(void (*callback)(void)) __attribute__((weak));

void confine()
{
    // A fault in the child is the child's end, nothing more: no handler of the parent's (a
    // sanitizer's or a fuzzer's, which would report the input as a fault of the tool) runs there.
    for (const int signal : {SIGABRT, SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGSYS, SIGXCPU})
        std::signal(signal, SIG_DFL);
    if (__sanitizer_set_death_callback)
        __sanitizer_set_death_callback(nullptr);
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    const rlimit cpu{CHILD_CPU_SECONDS, CHILD_CPU_SECONDS};
    ::setrlimit(RLIMIT_CPU, &cpu);
    // A sanitizer has reserved far more address space than this already.
    if (!SANITIZED) {
        const rlimit memory{CHILD_MEMORY, CHILD_MEMORY};
        ::setrlimit(RLIMIT_AS, &memory);
    }
    ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0);
    if (!SANITIZED)
        allowOnly();
}

void put(std::string &out, const void *data, size_t size)
{
    out.append(static_cast<const char *>(data), size);
}

[[noreturn]] void parseAndSend(const char *path, int out)
{
    confine();
    const void *handle = nullptr;
    std::string reply;
    int status = 0;
    unsigned int rows = 0;
    unsigned short columns = 0;
    if (freexl_open(path, &handle) != FREEXL_OK || freexl_select_active_worksheet(handle, 0) != FREEXL_OK ||
        freexl_worksheet_dimensions(handle, &rows, &columns) != FREEXL_OK) {
        status = EXIT_UNREADABLE;
    } else {
        const quint32 header[2] = {rows, columns};
        put(reply, header, sizeof header);
        if (rows > MOST_ROWS || columns > MOST_COLUMNS)
            status = EXIT_TOO_LARGE;
        for (unsigned int r = 0; status == 0 && r < rows; ++r) {
            for (unsigned short c = 0; status == 0 && c < columns; ++c) {
                FreeXL_CellValue cell{};
                if (freexl_get_cell_value(handle, r, c, &cell) != FREEXL_OK) {
                    status = EXIT_UNREADABLE;
                    break;
                }
                quint8 kind = CellEmpty;
                switch (cell.type) {
                case FREEXL_CELL_INT: {
                    kind = CellInt;
                    put(reply, &kind, 1);
                    const qint64 value = cell.value.int_value;
                    put(reply, &value, sizeof value);
                    break;
                }
                case FREEXL_CELL_DOUBLE:
                    kind = CellDouble;
                    put(reply, &kind, 1);
                    put(reply, &cell.value.double_value, sizeof cell.value.double_value);
                    break;
                case FREEXL_CELL_TEXT:
                case FREEXL_CELL_SST_TEXT:
                case FREEXL_CELL_DATE:
                case FREEXL_CELL_DATETIME:
                case FREEXL_CELL_TIME: {
                    kind = CellText;
                    put(reply, &kind, 1);
                    const char *text = cell.value.text_value ? cell.value.text_value : "";
                    const quint32 length = static_cast<quint32>(std::strlen(text));
                    put(reply, &length, sizeof length);
                    put(reply, text, length);
                    break;
                }
                default:
                    put(reply, &kind, 1);
                    break;
                }
            }
        }
    }
    size_t done = 0;
    while (done < reply.size()) {
        const ssize_t n = ::write(out, reply.data() + done, reply.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            ::_exit(EXIT_UNREADABLE);
        done += static_cast<size_t>(n);
    }
    // No clean-up: the process ends here, and nothing it held is of use.
    ::_exit(status);
}

// What the child sent, or nothing when it did not end as a reader that read the file (a crash,
// a limit reached, a file the library refused).
std::optional<QByteArray> parsedInChild(const QByteArray &path)
{
    int pipe[2];
    if (::pipe2(pipe, O_CLOEXEC) != 0)
        throw IoError(QStringLiteral("Cannot read %1: %2")
                          .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(errno))));
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) {
        const int error = errno;
        ::close(pipe[0]);
        ::close(pipe[1]);
        throw IoError(QStringLiteral("Cannot read %1: %2")
                          .arg(QFile::decodeName(path), QString::fromLocal8Bit(std::strerror(error))));
    }
    if (child == 0) {
        // Only the pipe stays open: the child has no way to the port, the data file or anything else.
        if (::dup2(pipe[1], 3) < 0)
            ::_exit(EXIT_UNREADABLE);
        ::close_range(4, ~0U, 0);
        parseAndSend(path.constData(), 3);
    }
    ::close(pipe[1]);
    QByteArray reply;
    bool overflow = false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(pipe[0], buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        if (reply.size() + n > MOST_REPLY) {
            overflow = true;
            ::kill(child, SIGKILL);
            break;
        }
        reply.append(buffer, n);
    }
    ::close(pipe[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (overflow || !WIFEXITED(status))
        return std::nullopt;
    if (WEXITSTATUS(status) == EXIT_TOO_LARGE && reply.size() >= 8)
        return reply;
    if (WEXITSTATUS(status) != 0)
        return std::nullopt;
    return reply;
}

struct Sheet
{
    QList<SheetRow> result;
    quint32 rows = 0;
    bool tooLarge = false;
};

// Believes nothing of the reply it has not checked: counts within the limits, every length
// within what arrived, nothing left over.
std::optional<Sheet> validated(const QByteArray &reply)
{
    qsizetype at = 0;
    const auto take = [&](void *into, qsizetype size) {
        if (size > reply.size() - at)
            return false;
        std::memcpy(into, reply.constData() + at, static_cast<size_t>(size));
        at += size;
        return true;
    };
    quint32 header[2] = {0, 0};
    if (!take(header, sizeof header))
        return std::nullopt;
    Sheet sheet;
    sheet.rows = header[0];
    if (header[0] > MOST_ROWS || header[1] > MOST_COLUMNS) {
        sheet.tooLarge = true;
        return sheet;
    }
    sheet.result.reserve(static_cast<qsizetype>(header[0]));
    for (quint32 r = 0; r < header[0]; ++r) {
        SheetRow row;
        row.line = static_cast<int>(r) + 1;
        for (quint32 c = 0; c < header[1]; ++c) {
            quint8 kind = 0;
            if (!take(&kind, 1))
                return std::nullopt;
            switch (kind) {
            case CellEmpty:
                row.cells << QString();
                break;
            case CellInt: {
                qint64 value = 0;
                if (!take(&value, sizeof value))
                    return std::nullopt;
                row.cells << QString::number(value);
                row.numbers << static_cast<int>(c);
                break;
            }
            case CellDouble: {
                double value = 0;
                if (!take(&value, sizeof value))
                    return std::nullopt;
                // A call code typed as a number arrives as 7.0; its text is "7".
                row.cells << QString::number(value, 'g', 15);
                row.numbers << static_cast<int>(c);
                break;
            }
            case CellText: {
                quint32 length = 0;
                if (!take(&length, sizeof length) || length > MOST_TEXT || length > reply.size() - at)
                    return std::nullopt;
                row.cells << QString::fromUtf8(reply.constData() + at, static_cast<qsizetype>(length));
                at += length;
                break;
            }
            default:
                return std::nullopt;
            }
        }
        sheet.result << row;
    }
    if (at != reply.size())
        return std::nullopt;
    return sheet;
}

} // namespace

QList<SheetRow> XlsReader::read(const QString &fileName)
{
    QFile probe(fileName);
    if (!probe.open(QIODevice::ReadOnly))
        throw IoError(QStringLiteral("%1: %2").arg(fileName, probe.errorString()));
    probe.close();
    if (QFileInfo(fileName).size() > MOST_BYTES)
        throw FileTooLarge(fileName, MOST_BYTES);
    quint32 rows = 0;
    quint32 columns = 0;
    if (declaredSize(PrivateFile::read(fileName, MOST_BYTES), &rows, &columns) &&
        (rows > MOST_ROWS || columns > MOST_COLUMNS))
        throw SheetTooLarge(fileName, rows, MOST_ROWS - 1);

    const QByteArray path = QFile::encodeName(fileName);
    const auto refuse = [&] {
        return TzrError(QStringLiteral("%1: not an Excel 97-2003 workbook that can be read")
                            .arg(QFileInfo(fileName).fileName()));
    };
    const std::optional<QByteArray> reply = parsedInChild(path);
    if (!reply)
        throw refuse();
    const std::optional<Sheet> sheet = validated(*reply);
    if (!sheet)
        throw refuse();
    // The stream walk above and the reader could disagree; the reader's count is bounded too.
    if (sheet->tooLarge)
        throw SheetTooLarge(fileName, sheet->rows, MOST_ROWS - 1);
    return sheet->result;
}
