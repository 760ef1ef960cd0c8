#pragma once
// Test helper: writes a minimal ELF file (header, section contents, section name table, section
// header table) so that tests can make modules carrying any bytes in any section.

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QString>
#include <QtEndian>

struct TestElfSection
{
    QByteArray name;
    QByteArray bytes;
    bool noBits = false; // SHT_NOBITS: occupies no bytes in the file
};

inline QByteArray makeElf(const QList<TestElfSection> &sections, bool is64 = true)
{
    auto put = [](QByteArray &out, qsizetype at, quint64 value, int size) {
        if (out.size() < at + size)
            out.resize(at + size, '\0');
        for (int i = 0; i < size; ++i)
            out[at + i] = char((value >> (8 * i)) & 0xff);
    };
    const int ehsize = is64 ? 64 : 52, shentsize = is64 ? 64 : 40;
    QByteArray out(ehsize, '\0');
    out[0] = 0x7f;
    out[1] = 'E';
    out[2] = 'L';
    out[3] = 'F';
    out[4] = is64 ? 2 : 1; // class
    out[5] = 1; // little-endian
    out[6] = 1; // version
    put(out, 16, 2, 2); // ET_EXEC
    put(out, 18, is64 ? 62 : 3, 2); // x86-64 / i386
    put(out, 20, 1, 4);

    QByteArray names(1, '\0');
    QList<quint64> nameOffsets, offsets;
    for (const TestElfSection &s : sections) {
        nameOffsets.append(quint64(names.size()));
        names += s.name + '\0';
        offsets.append(quint64(out.size()));
        if (!s.noBits)
            out += s.bytes;
    }
    const quint64 shstrtabName = quint64(names.size());
    names += QByteArray(".shstrtab") + '\0';
    const quint64 namesOffset = quint64(out.size());
    out += names;
    while (out.size() % 8)
        out += '\0';
    const quint64 shoff = quint64(out.size());
    const int shnum = int(sections.size()) + 2;
    out.resize(out.size() + shnum * shentsize, '\0');

    auto writeHeader = [&](int index, quint64 name, quint32 type, quint64 offset, quint64 size) {
        const qsizetype at = qsizetype(shoff) + index * shentsize;
        put(out, at, name, 4);
        put(out, at + 4, type, 4);
        put(out, at + (is64 ? 24 : 16), offset, is64 ? 8 : 4);
        put(out, at + (is64 ? 32 : 20), size, is64 ? 8 : 4);
    };
    for (int i = 0; i < sections.size(); ++i)
        writeHeader(
            i + 1, nameOffsets[i], sections[i].noBits ? 8 : 1, offsets[i], quint64(sections[i].bytes.size()));
    writeHeader(shnum - 1, shstrtabName, 3, namesOffset, quint64(names.size()));

    put(out, is64 ? 0x28 : 0x20, shoff, is64 ? 8 : 4);
    put(out, is64 ? 0x34 : 0x28, quint64(ehsize), 2);
    put(out, is64 ? 0x3A : 0x2E, quint64(shentsize), 2);
    put(out, is64 ? 0x3C : 0x30, quint64(shnum), 2);
    put(out, is64 ? 0x3E : 0x32, quint64(shnum - 1), 2);
    return out;
}

// Writes a module whose ".pravik_version" section holds resource; no section at all when resource is null.
inline bool writeModule(const QString &path, const QByteArray &resource, bool is64 = true)
{
    QList<TestElfSection> sections { { ".text", QByteArray(16, '\x90') } };
    if (!resource.isNull())
        sections.append({ ".pravik_version", resource });
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(makeElf(sections, is64)) >= 0;
}
