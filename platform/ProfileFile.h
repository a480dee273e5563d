#pragma once

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

// A Windows profile-string (ini) file, read and written as GetPrivateProfileString and
// WritePrivateProfileString do: Windows-1252 text, section and key names matched without regard
// to letter case, values trimmed of blanks and of one pair of enclosing quotes.
//
// Reads come from a parsed copy that is refreshed only when the file on disk changes, so the
// language file can be asked for every caption. A write keeps every other byte of the file and
// replaces the file in one step.
class ProfileFile
{
public:
    explicit ProfileFile(const QString &path);

    QString path() const { return m_path; }

    // The value of key in section; defaultValue when the file, the section or the key is missing.
    // A key present with an empty value gives the empty text. At most MaxValueLength characters.
    QString readString(const QString &section, const QString &key, const QString &defaultValue) const;

    // Sets key in section, adding the key at the end of the section or the section at the end of
    // the file. Raises IoError "Unable to write to <path>" when the file cannot be replaced, and
    // TzrError for a value or name that cannot be stored (a line break, a character outside
    // Windows-1252).
    void writeString(const QString &section, const QString &key, const QString &value);

    // The key names of section and the section names of the file, in file order.
    QStringList keys(const QString &section) const;
    QStringList sections() const;

    static constexpr int MaxValueLength = 2047;

private:
    struct Entry
    {
        QString key;
        QString value;
    };
    struct Section
    {
        QString name;
        QList<Entry> entries;
        QHash<QString, qsizetype> byKey;
    };
    // What identifies one state of the file on disk.
    struct Stamp
    {
        bool exists = false;
        quint64 device = 0;
        quint64 inode = 0;
        qint64 size = 0;
        qint64 modified = 0;
        qint64 changed = 0;
        bool operator==(const Stamp &) const = default;
    };

    static Stamp stampOf(const QString &path);
    void refresh() const;
    const Section *find(const QString &section) const;

    QString m_path;
    mutable bool m_loaded = false;
    mutable Stamp m_stamp;
    mutable QList<Section> m_sections;
    mutable QHash<QString, qsizetype> m_bySection;
};
