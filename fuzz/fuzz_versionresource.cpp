// Arbitrary bytes through the version resource reader: a malformed module or resource must end in
// the reader's exception, never in a crash, an overrun or a hang. The first byte says what the rest
// is: even, a version resource, carried in the ".pravik_version" section of a well-formed module
// (so that the walk over the entries gets the input); odd, a whole module file (so that the section
// table reader gets it). The module lives in a memory file, reached by its /proc/self/fd path.

#include "components/versioninfo/zc_versioninfo.h"
#include "tests/platform/elfwriter.h"

#include <cstdint>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

namespace {

int moduleFile()
{
    static const int fd = [] {
        const int f = ::memfd_create("module", MFD_CLOEXEC);
        if (f < 0)
            std::abort();
        return f;
    }();
    return fd;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray rest(reinterpret_cast<const char *>(data + 1), qsizetype(size - 1));
    const QByteArray module
        = (data[0] & 1) ? rest : makeElf({ { ".pravik_version", rest } }, (data[0] & 2) == 0);

    const int fd = moduleFile();
    if (::ftruncate(fd, 0) != 0
        || ::pwrite(fd, module.constData(), size_t(module.size()), 0) != module.size())
        std::abort();
    const QString path = QStringLiteral("/proc/self/fd/%1").arg(fd);

    try {
        TVersionInfo info(path);
        const TVersionInfo::TVersionInfo_Dict &entries = info.Entries();
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            // A value made only of blanks is never stored; a key is found again by its name, unless
            // the name's blanks or its upper-casing (which names go through) make another key of it.
            if (trimControls(it.value()).isEmpty())
                std::abort();
            if (TVersionInfo::KeyOf(trimControls(it.key())) == it.key()
                && info.VersionInfoItemByName(it.key()) != it.value())
                std::abort();
        }
        const QString items[] = { info.CompanyName(), info.FileDescription(), info.FileVersion(),
            info.InternalName(), info.LegalCopyright(), info.LegalTrademarks(), info.OriginalFilename(),
            info.ProductName(), info.ProductVersion(), info.Comments() };
        (void)items;
        (void)info.AsXML();
    } catch (const Exception &) {
        // The reader's refusal: the file is not a module, or its resource is malformed or shorter
        // than its root block says (EReadError).
    }
    return 0;
}
