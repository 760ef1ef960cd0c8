#include "components/appservices/xprocs_params.h"

#include "components/appservices/xprocs.h"
#include "platform/textformat.h"
#include "platform/versionresource.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSet>

#include <sched.h>

#include <cerrno>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

struct TClassState
{
    TApplicationParamList *instance = nullptr;
    QUuid runGUID;
    QString originTempFolder;
    QString tempFolderOverride;
    bool tempFolderReady = false;
};

TClassState g_state;
std::unique_ptr<TApplicationParamList> g_owned; // the one the accessor made

QString withDelimiter(const QString &folder)
{
    return folder.endsWith(u'/') ? folder : folder + u'/';
}

void setTempEnvironment(const QString &folder)
{
    const QByteArray bytes = QFile::encodeName(folder);
    qputenv("TEMP", bytes);
    qputenv("TMP", bytes);
    // What programs on this system actually read.
    qputenv("TMPDIR", bytes);
}

// Under a debugger TEMP and TMP keep pointing at the user's folder.
bool underDebugger()
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("TracerPid:"))
            return line.mid(10).trimmed() != "0";
    }
    return false;
}

QString braced(const QUuid &guid)
{
    return guid.toString(QUuid::WithBraces).toUpper();
}

// The process's arguments after the program, also before the application object exists.
QStringList processArguments()
{
    if (QCoreApplication::instance())
        return QCoreApplication::arguments().mid(1);
    QFile cmdline(u"/proc/self/cmdline"_s);
    QStringList arguments;
    if (cmdline.open(QIODevice::ReadOnly)) {
        QList<QByteArray> parts = cmdline.readAll().split('\0');
        if (!parts.isEmpty() && parts.last().isEmpty())
            parts.removeLast();
        for (qsizetype i = 1; i < parts.size(); ++i)
            arguments.append(QFile::decodeName(parts[i]));
    }
    return arguments;
}

// The name as the list reports it: upper case, no leading blanks, "-", "/", "\", no ":" or "=".
QString normalisedName(const QString &name)
{
    QString n = name.toUpper().trimmed();
    while (
        !n.isEmpty() && (n.front() == u' ' || n.front() == u'-' || n.front() == u'/' || n.front() == u'\\'))
        n.remove(0, 1);
    n.remove(u':');
    n.remove(u'=');
    return n;
}

// An argument that begins with "/" is a path, never a switch, when the part before its first ":" or
// "=" reaches below the root ("/home/anna/file.xml") or, with neither, names what exists ("/tmp").
bool isPath(const QString &item)
{
    if (!item.startsWith(u'/'))
        return false;
    const auto separator
        = std::find_if(item.cbegin(), item.cend(), [](QChar c) { return c == u':' || c == u'='; });
    const qsizetype end = separator == item.cend() ? -1 : separator - item.cbegin();
    if (QStringView(item).mid(1, end < 0 ? -1 : end - 1).contains(u'/'))
        return true;
    return end < 0 && QFileInfo::exists(item);
}

int toInteger(const QString &text, bool *ok)
{
    return text.trimmed().toInt(ok);
}

} // namespace

QString SystemTempFolder()
{
    for (const QString &variable : { u"%TMP%"_s, u"%TEMP%"_s }) {
        const QString expanded = ExpandEnvironmentPath(variable);
        if (expanded != variable && !expanded.trimmed().isEmpty())
            return expanded;
    }
    const QString tmpdir = qEnvironmentVariable("TMPDIR");
    return tmpdir.isEmpty() ? u"/tmp"_s : tmpdir;
}

bool SetProcessAffinityMask(quint32 AMask)
{
    cpu_set_t set;
    CPU_ZERO(&set);
    for (int cpu = 0; cpu < 32; ++cpu) {
        if (AMask & (quint32(1) << cpu))
            CPU_SET(cpu, &set);
    }
    // The mask is per thread. A thread started by one not yet bound inherits the old mask, so the
    // threads are listed again until a pass finds none that is new.
    QSet<pid_t> bound;
    bool all = true;
    for (bool fresh = true; fresh;) {
        fresh = false;
        const QStringList tasks
            = QDir(u"/proc/self/task"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Unsorted);
        if (tasks.isEmpty())
            return ::sched_setaffinity(0, sizeof set, &set) == 0;
        for (const QString &task : tasks) {
            bool ok = false;
            const pid_t tid = pid_t(task.toInt(&ok));
            if (!ok || bound.contains(tid))
                continue;
            fresh = true;
            bound.insert(tid);
            // A thread that ended meanwhile is no failure.
            if (::sched_setaffinity(tid, sizeof set, &set) != 0 && errno != ESRCH)
                all = false;
        }
    }
    return all;
}

void TApplicationParamList::InitializeClass()
{
    g_state = TClassState();
    g_state.runGUID = QUuid::createUuid();
    if (g_state.runGUID.isNull())
        throw Exception(u"Die GUID des Programmlaufs lässt sich nicht erzeugen."_s);
    const QString origin = ExpandEnvironmentPath(u"%ORIGIN_TEMP%"_s);
    if (origin != u"%ORIGIN_TEMP%"_s) {
        // Inherited from a parent process of the library: its children share the user's folder.
        g_state.originTempFolder = origin;
        setTempEnvironment(origin);
    } else {
        g_state.originTempFolder = SystemTempFolder();
        qputenv("ORIGIN_TEMP", QFile::encodeName(g_state.originTempFolder));
    }
}

void TApplicationParamList::FinalizeClass()
{
    // Only the accessor's instance belongs to the class; any other has an owner of its own.
    try {
        g_owned.reset();
    } catch (...) {
    }
    g_state = TClassState();
}

QUuid TApplicationParamList::RunGUID()
{
    return g_state.runGUID;
}

QString TApplicationParamList::OriginTempFolder()
{
    return g_state.originTempFolder;
}

bool TApplicationParamList::TempFolderReady()
{
    return g_state.tempFolderReady;
}

TApplicationParamList *TApplicationParamList::Instance()
{
    return g_state.instance;
}

TApplicationParamList &ApplicationParamList()
{
    if (!g_state.instance)
        g_owned = std::make_unique<TApplicationParamList>();
    return *g_state.instance;
}

int GetParamInteger(const QString &AName)
{
    bool ok = false;
    const int value = toInteger(ApplicationParamList().GetParamValue(AName), &ok);
    return ok ? value : -1;
}

TApplicationParamList::TApplicationParamList()
    : fProgramFile(ApplicationFileName())
{
    const QStringList arguments = processArguments();
    create(arguments, !arguments.isEmpty());
}

TApplicationParamList::TApplicationParamList(const QStringList &AArguments, const QString &AProgramFile)
    : fProgramFile(AProgramFile)
{
    create(AArguments, !AArguments.isEmpty());
}

void TApplicationParamList::create(const QStringList &AArguments, bool AHasArguments)
{
    g_state.instance = this;
    try {
        if (AHasArguments) {
            FItems.append(fProgramFile);
            FItems.append(AArguments);
        }
        readIniFile();
        if (!g_state.tempFolderReady) {
            try {
                SetupTempFolder(GetParamValue(u"TEMP"_s));
            } catch (const Exception &) {
                SetupTempFolder(QString());
            }
        }
        bool ok = false;
        const int mask = toInteger(GetParamValue(u"PROCESSAFFINITYMASK"_s), &ok);
        if (ok && mask > 0)
            SetProcessAffinityMask(quint32(mask)); // a mask of processors we lack is ignored
    } catch (...) {
        g_state.instance = nullptr;
        throw;
    }
}

void TApplicationParamList::readIniFile()
{
    QString iniFile = GetParamValue(u"INIFILE"_s);
    if (iniFile.isEmpty() || !QFileInfo(iniFile).isFile()) {
        const QFileInfo program(fProgramFile);
        const QString base = program.path() + u'/' + program.completeBaseName();
        // The INI file keeps its Windows name; a lower-case extension is the Linux habit.
        iniFile = QFileInfo(base + u".INI"_s).isFile() ? base + u".INI"_s : base + u".ini"_s;
    }
    QFile file(iniFile);
    if (!file.open(QIODevice::ReadOnly))
        return;
    bool inSection = false;
    const QString text = decodeText(file.readAll()).text;
    for (const QString &line : text.split(u'\n')) {
        if (line.startsWith(u'[')) {
            inSection = line.trimmed().toUpper() == u"[STARTPARAMS]"_s;
            continue;
        }
        const QString trimmed = line.trimmed();
        if (inSection && !trimmed.isEmpty())
            FItems.append(trimmed);
    }
}

TApplicationParamList::~TApplicationParamList()
{
    if (!fTempFolderDelete.isEmpty() && fTempFolderDelete.contains(braced(g_state.runGUID)))
        QDir(fTempFolderDelete).removeRecursively();
    if (g_state.instance == this)
        g_state.instance = nullptr;
}

void TApplicationParamList::AddRequestedParam(const QString &AName)
{
    const QString name = normalisedName(AName);
    if (name.startsWith(u'$'))
        return;
    if (!fRequestedParams.contains(name, Qt::CaseInsensitive))
        fRequestedParams.append(name);
}

bool TApplicationParamList::GetCheckParam(const QString &Value)
{
    AddRequestedParam(Value);
    const QString wanted = Value.toUpper();
    for (const QString &item : std::as_const(FItems)) {
        QString entry = item.toUpper();
        if (entry.isEmpty() || isPath(item))
            continue;
        if (entry.front() == u'-' || entry.front() == u'/' || entry.front() == u'\\')
            entry.remove(0, 1);
        const qsizetype colon = entry.indexOf(u':');
        if (colon >= 0)
            entry.truncate(colon);
        const qsizetype equals = entry.indexOf(u'=');
        if (equals >= 0)
            entry.truncate(equals);
        if (entry.trimmed() == wanted)
            return true;
    }
    return false;
}

int TApplicationParamList::GetParamIndex(const QString &Param) const
{
    // The key must open the entry: an entry that merely holds it further on is another parameter.
    const QString key = (u'/' + Param + u':').toUpper();
    for (qsizetype i = 0; i < FItems.size(); ++i) {
        if (FItems[i].toUpper().startsWith(key))
            return int(i);
    }
    return -1;
}

QString TApplicationParamList::GetParamValue(const QString &Param)
{
    AddRequestedParam(Param);
    const int i = GetParamIndex(Param);
    if (i < 0)
        return {};
    return FItems[i].mid(Param.size() + 2, 255);
}

int TApplicationParamList::GetParamValueInt(const QString &Param)
{
    const QString value = GetParamValue(Param).trimmed();
    if (value.isEmpty())
        return -1;
    bool ok = false;
    const int number = toInteger(value, &ok);
    if (!ok)
        throw EConvertError(u"'%1' is not a valid integer value"_s.arg(value));
    return number;
}

void TApplicationParamList::SetParamValue(const QString &Param, const QString &Value)
{
    const QString name = Param.trimmed().toUpper();
    int i = GetParamIndex(name);
    if (i < 0) {
        FItems.append(u"$"_s);
        i = int(FItems.size()) - 1;
    }
    FItems[i] = u'/' + name + u':' + Value.trimmed();
}

void TApplicationParamList::DeleteParam(const QString &AParam)
{
    const int i = GetParamIndex(AParam);
    if (i > 0)
        FItems.removeAt(i);
}

QStringList TApplicationParamList::RequestedParams(bool AHiddenValues)
{
    QStringList names = fRequestedParams;
    std::sort(names.begin(), names.end(),
        [](const QString &a, const QString &b) { return a.compare(b, Qt::CaseInsensitive) < 0; });
    const QString indent = u"   "_s;
    const QString gap = u"         "_s;
    const auto wanted = [&](const QString &name) { return AHiddenValues || !name.contains(u'$'); };
    QStringList report { u"Gesetzte abgefragte Parameter:"_s };
    QStringList missing;
    for (const QString &name : std::as_const(names)) {
        if (!wanted(name))
            continue;
        if (!GetCheckParam(name)) {
            missing.append(indent + name);
            continue;
        }
        const QString value = GetParamValue(name);
        if (name.contains(u"PASSWORD"_s))
            report.append(indent + name + gap + u"*********"_s);
        else if (!value.trimmed().isEmpty())
            report.append(indent + name + gap + value);
        else
            report.append(indent + name + gap + u"Flag ist gesetzt"_s);
    }
    report.append(QString());
    report.append(u"Nicht angegebene abgefragte Parameter:"_s);
    report.append(missing);
    return report;
}

QString TApplicationParamList::TempFolder() const
{
    return g_state.tempFolderOverride.isEmpty() ? SystemTempFolder() : g_state.tempFolderOverride;
}

void TApplicationParamList::SetTempFolder(const QString &Value)
{
    const QString folder = withDelimiter(ExpandEnvironmentPath(Value));
    if (!QFileInfo(folder).isDir())
        throw Exception(u"Verzeichnis "_s + folder + u" ist nicht vorhanden"_s);
    g_state.tempFolderOverride = folder;
    if (underDebugger()) {
        if (!TempFolderOrigin().isEmpty())
            setTempEnvironment(TempFolderOrigin());
    } else {
        setTempEnvironment(folder);
    }
}

QString TApplicationParamList::TempFolderOrigin() const
{
    return g_state.originTempFolder.isEmpty() ? TempFolder() : g_state.originTempFolder;
}

void TApplicationParamList::SetupTempFolder(const QString &AValue)
{
    g_state.tempFolderReady = true;
    QString folder = AValue.trimmed();
    if (folder.isEmpty())
        folder = g_state.originTempFolder.trimmed();
    if (folder.isEmpty())
        folder = SystemTempFolder();
    folder = withDelimiter(folder.remove(u'"'));
    const QString guid = braced(g_state.runGUID);
    const bool privateFolder = QFileInfo(fProgramFile).completeBaseName().left(3).toUpper() == u"DS_"_s;
    if (privateFolder)
        folder += guid + u'/';
    if (!QDir().mkpath(folder))
        throw EAbort(u"Der temporäre Ordner %1 lässt sich nicht anlegen."_s.arg(folder));
    if (privateFolder)
        QFile::setPermissions(
            folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QFile probe(folder + guid + u'.' + guid);
    const auto removeProbe = qScopeGuard([&] {
        probe.close();
        probe.remove();
    });
    if (!probe.open(QIODevice::WriteOnly))
        throw EFCreateError(
            u"Der temporäre Ordner %1 ist nicht beschreibbar: %2"_s.arg(folder, probe.errorString()));
    if (underDebugger()) {
        if (!TempFolderOrigin().isEmpty())
            setTempEnvironment(TempFolderOrigin());
    } else {
        setTempEnvironment(folder);
    }
    fTempFolderDelete = folder;
}
