#include "ProfileFile.h"

#include "PrivateFile.h"
#include "TzrError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <optional>

#include <cerrno>
#include <fcntl.h>
#include <iconv.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The conversions go through the C library's iconv, one converter per parse or write.
class Windows1252
{
public:
    Windows1252()
        : m_decoder(::iconv_open("UTF-8", "WINDOWS-1252")), m_encoder(::iconv_open("WINDOWS-1252", "UTF-8"))
    {
        if (m_decoder == invalid() || m_encoder == invalid())
            throw TzrError(QStringLiteral("The Windows-1252 conversion is not available"));
    }
    ~Windows1252()
    {
        ::iconv_close(m_decoder);
        ::iconv_close(m_encoder);
    }
    Windows1252(const Windows1252 &) = delete;
    Windows1252 &operator=(const Windows1252 &) = delete;

    QString decode(QByteArrayView bytes)
    {
        if (isAscii(bytes))
            return QString::fromLatin1(bytes);
        QByteArray out(bytes.size() * 3, Qt::Uninitialized);
        char *in = const_cast<char *>(bytes.data());
        size_t inLeft = static_cast<size_t>(bytes.size());
        char *outPtr = out.data();
        size_t outLeft = static_cast<size_t>(out.size());
        QString text;
        while (inLeft > 0) {
            if (::iconv(m_decoder, &in, &inLeft, &outPtr, &outLeft) != static_cast<size_t>(-1))
                break;
            if (errno != EILSEQ && errno != EINVAL)
                break;
            // 0x81, 0x8D, 0x8F, 0x90 and 0x9D have no character in Windows-1252; Windows reads
            // them as the C1 controls of the same number, so nothing is lost.
            text += QString::fromUtf8(out.constData(), outPtr - out.constData());
            text += QChar(static_cast<uchar>(*in));
            ++in;
            --inLeft;
            outPtr = out.data();
            outLeft = static_cast<size_t>(out.size());
        }
        text += QString::fromUtf8(out.constData(), outPtr - out.constData());
        return text;
    }

    std::optional<QByteArray> encode(const QString &text)
    {
        QByteArray utf8 = text.toUtf8();
        if (isAscii(utf8))
            return utf8;
        QByteArray out(utf8.size(), Qt::Uninitialized);
        char *in = utf8.data();
        size_t inLeft = static_cast<size_t>(utf8.size());
        char *outPtr = out.data();
        size_t outLeft = static_cast<size_t>(out.size());
        ::iconv(m_encoder, nullptr, nullptr, nullptr, nullptr);
        if (::iconv(m_encoder, &in, &inLeft, &outPtr, &outLeft) == static_cast<size_t>(-1))
            return std::nullopt;
        out.truncate(outPtr - out.data());
        return out;
    }

private:
    static iconv_t invalid() { return reinterpret_cast<iconv_t>(-1); }
    static bool isAscii(QByteArrayView bytes)
    {
        for (const char c : bytes) {
            if (static_cast<uchar>(c) >= 0x80)
                return false;
        }
        return true;
    }

    iconv_t m_decoder;
    iconv_t m_encoder;
};

// The blanks the profile functions trim around names and values.
bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

QByteArrayView trimmed(QByteArrayView bytes)
{
    qsizetype begin = 0;
    qsizetype end = bytes.size();
    while (begin < end && isBlank(bytes[begin]))
        ++begin;
    while (end > begin && isBlank(bytes[end - 1]))
        --end;
    return bytes.sliced(begin, end - begin);
}

QByteArrayView unquoted(QByteArrayView value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.sliced(1, value.size() - 2);
    return value;
}

// One line of the file, by byte offsets into its contents.
struct Line
{
    enum Kind
    {
        Other,
        Comment,
        Blank,
        SectionHeader,
        Key
    };
    Kind kind = Other;
    qsizetype begin = 0;
    qsizetype end = 0;  // end of the text, before the line break
    qsizetype next = 0; // start of the next line
    QByteArrayView name;
    qsizetype valueBegin = 0;
};

QList<Line> splitLines(const QByteArray &bytes)
{
    QList<Line> lines;
    qsizetype begin = 0;
    while (begin < bytes.size()) {
        Line line;
        line.begin = begin;
        const qsizetype lf = bytes.indexOf('\n', begin);
        if (lf < 0) {
            line.end = line.next = bytes.size();
        } else {
            line.next = lf + 1;
            line.end = (lf > begin && bytes[lf - 1] == '\r') ? lf - 1 : lf;
        }
        const QByteArrayView text = QByteArrayView(bytes).sliced(line.begin, line.end - line.begin);
        const QByteArrayView content = trimmed(text);
        if (content.isEmpty()) {
            line.kind = Line::Blank;
        } else if (content.front() == ';') {
            line.kind = Line::Comment;
        } else if (content.front() == '[') {
            const qsizetype close = content.lastIndexOf(']');
            if (close > 0) {
                line.kind = Line::SectionHeader;
                line.name = trimmed(content.sliced(1, close - 1));
            }
        } else if (const qsizetype equals = text.indexOf('='); equals >= 0) {
            line.kind = Line::Key;
            line.name = trimmed(text.first(equals));
            line.valueBegin = line.begin + equals + 1;
        }
        lines << line;
        begin = line.next;
    }
    return lines;
}

QString folded(const QString &name)
{
    return name.trimmed().toCaseFolded();
}

[[noreturn]] void unableToWrite(const QString &path)
{
    throw IoError(QStringLiteral("Unable to write to %1").arg(QDir::toNativeSeparators(path)));
}

QString visible(QString text)
{
    text.replace(QLatin1Char('\r'), QLatin1String("\\r"));
    text.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    text.replace(QChar(0), QLatin1String("\\0"));
    return text;
}

bool holdsLineBreak(const QString &text)
{
    return text.contains(QLatin1Char('\r')) || text.contains(QLatin1Char('\n')) || text.contains(QChar(0));
}

// A value whose blanks or quotes at its ends would be taken away on reading is stored inside one
// more pair of double quotes, which the reading takes away instead.
QByteArray storedForm(const QByteArray &value)
{
    const bool edgeBlank = !value.isEmpty() && (isBlank(value.front()) || isBlank(value.back()));
    if (edgeBlank || unquoted(value).size() != value.size())
        return '"' + value + '"';
    return value;
}

} // namespace

ProfileFile::ProfileFile(const QString &path) : m_path(path)
{
}

ProfileFile::Stamp ProfileFile::stampOf(const QString &path)
{
    struct stat status = {};
    Stamp stamp;
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return stamp;
    stamp.exists = true;
    stamp.device = status.st_dev;
    stamp.inode = status.st_ino;
    stamp.size = status.st_size;
    stamp.modified = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    stamp.changed = qint64(status.st_ctim.tv_sec) * 1000000000 + status.st_ctim.tv_nsec;
    return stamp;
}

void ProfileFile::refresh() const
{
    const Stamp now = stampOf(m_path);
    if (m_loaded && now == m_stamp)
        return;
    m_sections.clear();
    m_bySection.clear();
    m_stamp = now;
    m_loaded = true;

    QFile file(m_path);
    if (!now.exists || !file.open(QIODevice::ReadOnly))
        return;
    const QByteArray bytes = file.readAll();
    file.close();

    Windows1252 codec;
    qsizetype current = -1;
    for (const Line &line : splitLines(bytes)) {
        if (line.kind == Line::SectionHeader) {
            const QString name = codec.decode(line.name);
            const QString key = folded(name);
            // A repeated section is not read, as with the Windows functions, which stop at the
            // first one.
            if (m_bySection.contains(key)) {
                current = -1;
                continue;
            }
            current = m_sections.size();
            m_sections.append(Section{name, {}, {}});
            m_bySection.insert(key, current);
        } else if (line.kind == Line::Key && current >= 0 && !line.name.isEmpty()) {
            Section &section = m_sections[current];
            const QString name = codec.decode(line.name);
            const QString key = folded(name);
            if (section.byKey.contains(key))
                continue;
            const QByteArrayView raw =
                QByteArrayView(bytes).sliced(line.valueBegin, line.end - line.valueBegin);
            section.byKey.insert(key, section.entries.size());
            section.entries.append(Entry{name, codec.decode(unquoted(trimmed(raw)))});
        }
    }
}

const ProfileFile::Section *ProfileFile::find(const QString &section) const
{
    refresh();
    const auto it = m_bySection.constFind(folded(section));
    return it == m_bySection.cend() ? nullptr : &m_sections.at(*it);
}

QString ProfileFile::readString(const QString &section, const QString &key, const QString &defaultValue) const
{
    const Section *found = find(section);
    if (!found)
        return defaultValue;
    const auto it = found->byKey.constFind(folded(key));
    if (it == found->byKey.cend())
        return defaultValue;
    return found->entries.at(*it).value.left(MaxValueLength);
}

QStringList ProfileFile::keys(const QString &section) const
{
    QStringList names;
    if (const Section *found = find(section)) {
        for (const Entry &entry : found->entries)
            names << entry.key;
    }
    return names;
}

QStringList ProfileFile::sections() const
{
    refresh();
    QStringList names;
    for (const Section &section : std::as_const(m_sections))
        names << section.name;
    return names;
}

void ProfileFile::writeString(const QString &section, const QString &key, const QString &value)
{
    const QString where = QDir::toNativeSeparators(m_path);
    const QString sectionName = section.trimmed();
    const QString keyName = key.trimmed();
    // Anything that would end the line or be read back as another line is refused: a line break
    // in a value would inject keys into the file.
    if (holdsLineBreak(value))
        throw TzrError(QStringLiteral("Cannot write to %1: the value \"%2\" of %3 holds a line break")
                           .arg(where, visible(value), keyName));
    if (sectionName.isEmpty() || holdsLineBreak(sectionName) || sectionName.contains(QLatin1Char(']')))
        throw TzrError(QStringLiteral("Cannot write to %1: \"%2\" is not a valid section name")
                           .arg(where, visible(section)));
    if (keyName.isEmpty() || holdsLineBreak(keyName) || keyName.contains(QLatin1Char('=')) ||
        keyName.startsWith(QLatin1Char('[')) || keyName.startsWith(QLatin1Char(';')))
        throw TzrError(
            QStringLiteral("Cannot write to %1: \"%2\" is not a valid key name").arg(where, visible(key)));

    Windows1252 codec;
    const auto encoded = [&](const QString &text) {
        std::optional<QByteArray> bytes = codec.encode(text);
        if (!bytes)
            throw TzrError(
                QStringLiteral("Cannot write to %1: \"%2\" holds a character that Windows-1252 cannot "
                               "represent")
                    .arg(where, text));
        return *bytes;
    };
    const QByteArray sectionBytes = encoded(sectionName);
    const QByteArray keyBytes = encoded(keyName);
    const QByteArray valueBytes = storedForm(encoded(value));

    QByteArray bytes;
    QFile current(m_path);
    const bool existed = current.exists();
    if (existed) {
        if (!current.open(QIODevice::ReadOnly))
            unableToWrite(m_path);
        bytes = current.readAll();
        current.close();
    }
    const QList<Line> lines = splitLines(bytes);

    // New lines end as the file's lines already do; a new file gets the Windows line break.
    QByteArray lineBreak = "\r\n";
    for (const Line &line : lines) {
        if (line.next > line.end) {
            lineBreak = bytes.mid(line.end, line.next - line.end);
            break;
        }
    }

    const QString wantedSection = folded(sectionName);
    const QString wantedKey = folded(keyName);
    qsizetype header = -1;
    for (qsizetype i = 0; i < lines.size() && header < 0; ++i) {
        if (lines[i].kind == Line::SectionHeader && folded(codec.decode(lines[i].name)) == wantedSection)
            header = i;
    }

    QByteArray updated;
    if (header < 0) {
        updated = bytes;
        if (!updated.isEmpty() && !updated.endsWith('\n'))
            updated += lineBreak;
        updated += '[' + sectionBytes + ']' + lineBreak + keyBytes + '=' + valueBytes + lineBreak;
    } else {
        qsizetype lastContent = header;
        qsizetype keyLine = -1;
        for (qsizetype i = header + 1; i < lines.size() && lines[i].kind != Line::SectionHeader; ++i) {
            const Line &line = lines[i];
            if (line.kind == Line::Key && !line.name.isEmpty() &&
                folded(codec.decode(line.name)) == wantedKey) {
                keyLine = i;
                break;
            }
            // Comments count as the section's own lines: Windows keeps them among its keys.
            if (line.kind != Line::Blank)
                lastContent = i;
        }
        if (keyLine >= 0) {
            const Line &line = lines[keyLine];
            qsizetype valueBegin = line.valueBegin;
            while (valueBegin < line.end && (bytes[valueBegin] == ' ' || bytes[valueBegin] == '\t'))
                ++valueBegin;
            updated = bytes.first(valueBegin) + valueBytes + bytes.sliced(line.end);
        } else {
            const Line &after = lines[lastContent];
            updated = bytes.first(after.next);
            if (after.next == after.end)
                updated += lineBreak;
            updated += keyBytes + '=' + valueBytes + lineBreak + bytes.sliced(after.next);
        }
    }
    if (existed && updated == bytes)
        return;

    try {
        PrivateFile::write(m_path, updated, PrivateFile::Existing::KeepMode);
    } catch (const IoError &) {
        unableToWrite(m_path);
    }
    m_loaded = false;
}
