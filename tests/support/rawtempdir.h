#pragma once
// A temporary folder that goes away with everything in it, also entries whose names are no UTF-8:
// QTemporaryDir removes through QDir, which cannot list such names and leaves them, and the folder
// with them, behind. Header-only.

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <ftw.h>

#include <cstdio>

namespace testsupport {

// Removes the tree by its bytes; false when something stayed.
inline bool removeTreeByBytes(const QString &path)
{
    const auto removeOne = [](const char *name, const struct stat *, int, struct FTW *) {
        return std::remove(name) == 0 ? 0 : -1;
    };
    return ::nftw(QFile::encodeName(path).constData(), removeOne, 16, FTW_DEPTH | FTW_PHYS) == 0;
}

class RawTemporaryDir
{
public:
    RawTemporaryDir() { m_dir.setAutoRemove(false); }
    ~RawTemporaryDir()
    {
        if (m_dir.isValid() && !removeTreeByBytes(m_dir.path()))
            qWarning("Cannot remove the temporary folder %s", qPrintable(m_dir.path()));
    }
    RawTemporaryDir(const RawTemporaryDir &) = delete;
    RawTemporaryDir &operator=(const RawTemporaryDir &) = delete;

    bool isValid() const { return m_dir.isValid(); }
    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

} // namespace testsupport
