#include "platform/settingsstore.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QMutex>
#include <QMutexLocker>
#include <QSaveFile>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <functional>

using namespace Qt::StringLiterals;

namespace {

constexpr int LockTimeoutMs = 10000;
const QLatin1StringView FormatTag("pravik-settings");

QMutex g_folderLock;
QString g_folder; // set by SetSettingsFolder

// Serialises the changes of this process; QLockFile serialises those of all processes.
QMutex g_writeLock;

struct TKey
{
    QString path;
    QList<QPair<QString, QString>> values; // in the order first written
};

struct TData
{
    QList<TKey> keys;

    TKey *find(const QString &path)
    {
        for (TKey &key : keys) {
            if (key.path.compare(path, Qt::CaseInsensitive) == 0)
                return &key;
        }
        return nullptr;
    }
    const TKey *find(const QString &path) const { return const_cast<TData *>(this)->find(path); }

    bool exists(const QString &path) const { return path.isEmpty() || find(path) != nullptr; }

    // Makes the key and the keys above it, as the registry does.
    TKey &create(const QString &path)
    {
        const QStringList parts = path.split(u'\\');
        QString sofar;
        TKey *key = nullptr;
        for (const QString &part : parts) {
            sofar = sofar.isEmpty() ? part : sofar + u'\\' + part;
            key = find(sofar);
            if (!key) {
                keys.append(TKey { sofar, {} });
                key = &keys.last();
            }
        }
        return *key;
    }
};

int valueIndex(const TKey &key, const QString &name)
{
    for (int i = 0; i < key.values.size(); ++i) {
        if (key.values[i].first.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

bool isBelow(const QString &path, const QString &top)
{
    return path.compare(top, Qt::CaseInsensitive) == 0
        || (path.size() > top.size() && path[top.size()] == u'\\'
            && QStringView(path).left(top.size()).compare(top, Qt::CaseInsensitive) == 0);
}

QByteArray serialise(const TData &data)
{
    QJsonArray keys;
    for (const TKey &key : data.keys) {
        QJsonArray values;
        for (const auto &[name, value] : key.values)
            values.append(QJsonArray { name, value });
        keys.append(QJsonObject { { u"path"_s, key.path }, { u"values"_s, values } });
    }
    const QJsonObject root { { u"format"_s, QString(FormatTag) }, { u"version"_s, 1 }, { u"keys"_s, keys } };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

enum class TLoad
{
    Ok,
    Missing,
    Damaged
};

// Reads the file; anything that is not settings as serialise() writes them is damaged.
TLoad load(const QString &fileName, TData &data, QString &why)
{
    data = {};
    QFile file(fileName);
    if (!file.exists())
        return TLoad::Missing;
    if (!file.open(QIODevice::ReadOnly)) {
        why = file.errorString();
        return TLoad::Damaged;
    }
    QJsonParseError error {};
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (doc.isNull()) {
        why = u"not readable as settings: %1 at byte %2"_s.arg(error.errorString()).arg(error.offset);
        return TLoad::Damaged;
    }
    const QJsonObject root = doc.object();
    if (root.value(u"format"_s).toString() != FormatTag || !root.value(u"keys"_s).isArray()) {
        why = u"not a settings file of this library"_s;
        return TLoad::Damaged;
    }
    for (const QJsonValue &k : root.value(u"keys"_s).toArray()) {
        const QJsonObject o = k.toObject();
        const QString path = o.value(u"path"_s).toString();
        if (path.isEmpty() || !o.value(u"values"_s).isArray() || data.find(path)) {
            why = u"a key without path or values, or a key given twice"_s;
            data = {};
            return TLoad::Damaged;
        }
        TKey key { path, {} };
        for (const QJsonValue &v : o.value(u"values"_s).toArray()) {
            const QJsonArray pair = v.toArray();
            if (pair.size() != 2 || !pair[0].isString() || !pair[1].isString()) {
                why = u"a value of key \"%1\" is not a name and a text"_s.arg(path);
                data = {};
                return TLoad::Damaged;
            }
            key.values.append({ pair[0].toString(), pair[1].toString() });
        }
        data.keys.append(key);
    }
    return TLoad::Ok;
}

// Moves a damaged file out of the way so that nothing overwrites what may still be recovered.
// Call with the cross-process lock held.
void setAside(const QString &fileName, const QString &why)
{
    const QString aside
        = fileName + u".damaged-"_s + QDateTime::currentDateTime().toString(u"yyyyMMdd-HHmmss-zzz"_s);
    if (!QFile::rename(fileName, aside))
        throw ERegistryException(
            u"Die Einstellungsdatei %1 ist beschädigt (%2) und lässt sich nicht beiseitelegen."_s.arg(
                fileName, why));
    qWarning("Settings file %s is damaged (%s); it was renamed to %s and the settings start empty.",
        qPrintable(fileName), qPrintable(why), qPrintable(aside));
}

QString notWritable(const QString &folder, const QString &why)
{
    return u"Der Ordner %1 der Einstellungen ist nicht beschreibbar (%2)."_s.arg(folder, why);
}

class TStoreLock
{
public:
    explicit TStoreLock(const QString &fileName)
        : m_lock(fileName + u".lock"_s)
    {
        if (m_lock.tryLock(LockTimeoutMs))
            return;
        // A lock file that cannot be made is a matter of permissions, not of another process.
        if (m_lock.error() == QLockFile::PermissionError)
            throw ERegistryException(notWritable(QFileInfo(fileName).path(), qt_error_string(EACCES)));
        throw ERegistryException(
            u"Die Einstellungsdatei %1 ist gesperrt (Sperrdatei %1.lock)."_s.arg(fileName));
    }

private:
    QLockFile m_lock;
};

TData readData()
{
    const QString fileName = SettingsFileName();
    TData data;
    QString why;
    if (load(fileName, data, why) != TLoad::Damaged)
        return data;
    // Only under the lock is it sure that no writer is between its rename and ours.
    const QMutexLocker local(&g_writeLock);
    const TStoreLock lock(fileName);
    if (load(fileName, data, why) == TLoad::Damaged) {
        try {
            setAside(fileName, why);
        } catch (const ERegistryException &e) {
            qWarning("%s", e.what());
        }
        data = {};
    }
    return data;
}

// Makes the folder and any missing folder above it owner-only: the settings are the user's alone. A
// folder that exists keeps its mode, whoever chose it (a shared folder keeps its sticky bit).
// Returns 0, or the error of the step that failed.
int makeFolder(const QString &folder)
{
    const QFileInfo info(folder);
    if (info.isDir())
        return 0;
    const QString parent = info.absolutePath();
    if (!info.exists() && parent != info.absoluteFilePath()) {
        if (const int error = makeFolder(parent))
            return error;
    }
    if (::mkdir(QFile::encodeName(folder).constData(), S_IRWXU) == 0)
        return 0;
    const int error = errno;
    // Another process may have made it meanwhile.
    return error == EEXIST && QFileInfo(folder).isDir() ? 0 : error;
}

// Read-modify-write under both locks; change returns whether it changed anything.
void modify(const std::function<bool(TData &)> &change)
{
    const QString fileName = SettingsFileName();
    const QString folder = SettingsFolder();
    if (const int error = makeFolder(folder))
        throw ERegistryException(u"Der Ordner %1 der Einstellungen lässt sich nicht anlegen (%2)."_s.arg(
            folder, qt_error_string(error)));
    if (::access(QFile::encodeName(folder).constData(), W_OK | X_OK) != 0)
        throw ERegistryException(notWritable(folder, qt_error_string(errno)));

    const QMutexLocker local(&g_writeLock);
    const TStoreLock lock(fileName);
    TData data;
    QString why;
    if (load(fileName, data, why) == TLoad::Damaged) {
        setAside(fileName, why);
        data = {};
    }
    if (!change(data))
        return;
    QSaveFile file(fileName);
    const QByteArray bytes = serialise(data);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        throw ERegistryException(
            u"Die Einstellungsdatei %1 lässt sich nicht schreiben: %2"_s.arg(fileName, file.errorString()));
}

} // namespace

QString SettingsFolder()
{
    {
        const QMutexLocker locker(&g_folderLock);
        if (!g_folder.isEmpty())
            return g_folder;
    }
    const QString fromEnvironment = qEnvironmentVariable("PRAVIK_SETTINGS_DIR");
    if (!fromEnvironment.isEmpty())
        return QDir::cleanPath(fromEnvironment);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u"/zelk-software"_s;
}

QString SettingsFileName()
{
    return SettingsFolder() + u"/settings.json"_s;
}

void SetSettingsFolder(const QString &folder)
{
    const QMutexLocker locker(&g_folderLock);
    g_folder = folder.isEmpty() ? QString() : QDir::cleanPath(folder);
}

QString TRegistry::resolve(const QString &Key) const
{
    QString full = Key.startsWith(u'\\') || !m_open ? Key : m_path + u'\\' + Key;
    QStringList parts = full.split(u'\\', Qt::SkipEmptyParts);
    return parts.join(u'\\');
}

void TRegistry::requireOpen() const
{
    if (!m_open)
        throw ERegistryException(u"Kein Schlüssel der Einstellungen geöffnet."_s);
}

bool TRegistry::OpenKey(const QString &Key, bool CanCreate)
{
    const QString path = resolve(Key);
    if (!readData().exists(path)) {
        if (!CanCreate)
            return false;
        modify([&](TData &data) {
            if (data.exists(path))
                return false;
            data.create(path);
            return true;
        });
    }
    m_path = path;
    m_open = true;
    return true;
}

void TRegistry::CloseKey()
{
    m_path.clear();
    m_open = false;
}

bool TRegistry::KeyExists(const QString &Key) const
{
    return readData().exists(resolve(Key));
}

bool TRegistry::ValueExists(const QString &Name) const
{
    requireOpen();
    const TData data = readData();
    const TKey *key = data.find(m_path);
    return key && valueIndex(*key, Name) >= 0;
}

QString TRegistry::ReadString(const QString &Name) const
{
    requireOpen();
    const TData data = readData();
    const TKey *key = data.find(m_path);
    const int i = key ? valueIndex(*key, Name) : -1;
    return i >= 0 ? key->values[i].second : QString();
}

int TRegistry::ReadInteger(const QString &Name, int ADefault) const
{
    bool ok = false;
    const int value = ReadString(Name).trimmed().toInt(&ok);
    return ok ? value : ADefault;
}

void TRegistry::WriteString(const QString &Name, const QString &Value)
{
    requireOpen();
    const QString path = m_path;
    modify([&](TData &data) {
        // A key deleted by another process since it was opened comes back, as the registry's would
        // through its open handle it would not; losing the value silently would be worse.
        TKey &key = data.create(path);
        const int i = valueIndex(key, Name);
        if (i >= 0) {
            if (key.values[i].second == Value)
                return false;
            key.values[i].second = Value;
        } else {
            key.values.append({ Name, Value });
        }
        return true;
    });
}

void TRegistry::WriteInteger(const QString &Name, int Value)
{
    WriteString(Name, QString::number(Value));
}

bool TRegistry::DeleteValue(const QString &Name)
{
    requireOpen();
    bool deleted = false;
    modify([&](TData &data) {
        TKey *key = data.find(m_path);
        const int i = key ? valueIndex(*key, Name) : -1;
        if (i < 0)
            return false;
        key->values.removeAt(i);
        deleted = true;
        return true;
    });
    return deleted;
}

bool TRegistry::DeleteKey(const QString &Key)
{
    const QString path = resolve(Key);
    if (path.isEmpty())
        throw ERegistryException(u"Die Wurzel der Einstellungen lässt sich nicht löschen."_s);
    bool deleted = false;
    modify([&](TData &data) {
        const qsizetype before = data.keys.size();
        data.keys.removeIf([&](const TKey &key) { return isBelow(key.path, path); });
        deleted = data.keys.size() != before;
        return deleted;
    });
    return deleted;
}

QStringList TRegistry::GetValueNames() const
{
    requireOpen();
    const TData data = readData();
    QStringList names;
    if (const TKey *key = data.find(m_path)) {
        for (const auto &value : key->values)
            names.append(value.first);
    }
    return names;
}

TRegKeyInfo TRegistry::GetKeyInfo() const
{
    requireOpen();
    const TData data = readData();
    TRegKeyInfo info;
    if (const TKey *key = data.find(m_path))
        info.NumValues = int(key->values.size());
    for (const TKey &key : data.keys) {
        const QString parent = key.path.section(u'\\', 0, -2);
        if (key.path.contains(u'\\') ? parent.compare(m_path, Qt::CaseInsensitive) == 0 : m_path.isEmpty())
            ++info.NumSubKeys;
    }
    return info;
}
