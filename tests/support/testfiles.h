#pragma once
// Files for tests: the repository's test data and examples by name, a file's bytes, and writing
// one. Header-only; PRAVIK_TEST_DATA and PRAVIK_SOURCE_DIR come from pravik_add_test.

#include <QByteArray>
#include <QFile>
#include <QString>

namespace testsupport {

// A file below tests/data.
inline QString dataFile(const QString &name)
{
    return QStringLiteral(PRAVIK_TEST_DATA "/") + name;
}

// A file below examples.
inline QString exampleFile(const QString &name)
{
    return QStringLiteral(PRAVIK_SOURCE_DIR "/examples/") + name;
}

// The whole file; "<unreadable>" when it cannot be opened, which no expected content equals.
inline QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Creates or replaces the file with bytes; false, with a warning saying why, when not all of them
// were written.
[[nodiscard]] inline bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size())
        return true;
    qWarning("Cannot write %s: %s", qPrintable(path), qPrintable(file.errorString()));
    return false;
}

} // namespace testsupport
