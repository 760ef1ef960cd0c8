#include "datamodule.h"

#include "platform/exception.h"
#include "platform/syserror.h"

#include <QFile>
#include <QtEndian>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr quint32 SHT_NOBITS = 8;
constexpr quint32 SHN_XINDEX = 0xffff;
// Section tables and name tables beyond these sizes are not those of a module we can read.
constexpr quint64 MaxSectionCount = 1u << 20;
constexpr quint64 MaxNameTableSize = 16u << 20;

bool readAt(int fd, quint64 offset, char *data, quint64 size)
{
    while (size > 0) {
        const ssize_t n = ::pread(fd, data, size, off_t(offset));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        offset += quint64(n);
        size -= quint64(n);
    }
    return true;
}

// Little- or big-endian field reader over one header.
struct Fields
{
    const uchar *data;
    bool bigEndian;

    quint16 u16(int at) const
    {
        return bigEndian ? qFromBigEndian<quint16>(data + at) : qFromLittleEndian<quint16>(data + at);
    }
    quint32 u32(int at) const
    {
        return bigEndian ? qFromBigEndian<quint32>(data + at) : qFromLittleEndian<quint32>(data + at);
    }
    quint64 u64(int at) const
    {
        return bigEndian ? qFromBigEndian<quint64>(data + at) : qFromLittleEndian<quint64>(data + at);
    }
};

} // namespace

TDataModule::~TDataModule()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

std::unique_ptr<TDataModule> TDataModule::Load(const QString &fileName, int *error)
{
    *error = 0;
    std::unique_ptr<TDataModule> module(new TDataModule);
    module->m_fileName = fileName;
    module->m_fd = ::open(QFile::encodeName(fileName).constData(), O_RDONLY | O_CLOEXEC);
    if (module->m_fd < 0) {
        *error = errno;
        return nullptr;
    }
    struct stat st = {};
    if (::fstat(module->m_fd, &st) != 0) {
        *error = errno;
        return nullptr;
    }
    if (!S_ISREG(st.st_mode)) {
        *error = S_ISDIR(st.st_mode) ? EISDIR : EACCES;
        return nullptr;
    }
    module->m_fileSize = quint64(st.st_size);
    if (!module->readSectionTable(error))
        return nullptr;
    return module;
}

bool TDataModule::readSectionTable(int *error)
{
    *error = ENOEXEC;
    uchar ident[64] = {};
    if (m_fileSize < 52 || !readAt(m_fd, 0, reinterpret_cast<char *>(ident), qMin<quint64>(64, m_fileSize)))
        return false;
    if (ident[0] != 0x7f || ident[1] != 'E' || ident[2] != 'L' || ident[3] != 'F')
        return false;
    const bool is64 = ident[4] == 2;
    if ((ident[4] != 1 && !is64) || (ident[5] != 1 && ident[5] != 2) || (is64 && m_fileSize < 64))
        return false;
    const Fields header { ident, ident[5] == 2 };

    const quint64 shoff = is64 ? header.u64(0x28) : header.u32(0x20);
    const quint16 shentsize = header.u16(is64 ? 0x3A : 0x2E);
    quint64 shnum = header.u16(is64 ? 0x3C : 0x30);
    quint32 shstrndx = header.u16(is64 ? 0x3E : 0x32);
    const quint16 minEntrySize = is64 ? 64 : 40;
    if (shoff == 0) { // no section table at all: a module without sections, hence without resources
        *error = 0;
        return true;
    }
    if (shentsize < minEntrySize || shoff >= m_fileSize)
        return false;

    auto readEntry = [&](quint64 index, QByteArray *entry) {
        if (index >= (m_fileSize - shoff) / shentsize)
            return false;
        entry->resize(shentsize);
        return readAt(m_fd, shoff + index * shentsize, entry->data(), shentsize);
    };
    QByteArray entry;
    // Extended numbering: the real count and name-table index live in section 0.
    if (shnum == 0 || shstrndx == SHN_XINDEX) {
        if (!readEntry(0, &entry))
            return false;
        const Fields first { reinterpret_cast<const uchar *>(entry.constData()), header.bigEndian };
        if (shnum == 0)
            shnum = is64 ? first.u64(32) : first.u32(20);
        if (shstrndx == SHN_XINDEX)
            shstrndx = first.u32(is64 ? 40 : 24);
    }
    if (shnum > MaxSectionCount || shnum > (m_fileSize - shoff) / shentsize || shstrndx >= shnum)
        return false;

    m_sections.resize(shnum);
    std::vector<quint32> nameOffsets(shnum);
    for (quint64 i = 0; i < shnum; ++i) {
        if (!readEntry(i, &entry))
            return false;
        const Fields f { reinterpret_cast<const uchar *>(entry.constData()), header.bigEndian };
        nameOffsets[i] = f.u32(0);
        m_sections[i].type = f.u32(4);
        m_sections[i].offset = is64 ? f.u64(24) : f.u32(16);
        m_sections[i].size = is64 ? f.u64(32) : f.u32(20);
        if (m_sections[i].type != SHT_NOBITS
            && (m_sections[i].offset > m_fileSize || m_sections[i].size > m_fileSize - m_sections[i].offset))
            return false;
    }

    const Section &names = m_sections[shstrndx];
    if (names.type == SHT_NOBITS || names.size > MaxNameTableSize)
        return false;
    QByteArray table(qsizetype(names.size), Qt::Uninitialized);
    if (!readAt(m_fd, names.offset, table.data(), names.size))
        return false;
    for (quint64 i = 0; i < shnum; ++i) {
        if (nameOffsets[i] >= quint64(table.size()))
            return false;
        const qsizetype end = table.indexOf('\0', nameOffsets[i]);
        if (end < 0)
            return false;
        m_sections[i].name = table.mid(nameOffsets[i], end - nameOffsets[i]);
    }
    *error = 0;
    return true;
}

std::optional<QByteArray> TDataModule::ReadSection(QByteArrayView name) const
{
    for (const Section &section : m_sections) {
        if (section.name != name || section.type == SHT_NOBITS)
            continue;
        QByteArray bytes(qsizetype(section.size), Qt::Uninitialized);
        if (!readAt(m_fd, section.offset, bytes.data(), section.size))
            throw EFOpenError(
                QStringLiteral("Cannot read %1: %2").arg(m_fileName, SysErrorMessage(errno ? errno : EIO)));
        return bytes;
    }
    return std::nullopt;
}
