#pragma once
// TApplicationParamList (unit xProcs): the process's start parameters, the command-line arguments
// followed by the lines of the "[STARTPARAMS]" section of the INI file beside the program. Look-ups
// ignore case and remember every name asked for, for the report RequestedParams. Its creation also
// takes charge of the temporary folder: it chooses it, proves it writable with a probe file, points
// TEMP, TMP and TMPDIR at it, and a program whose name begins with "DS_" gets a private folder per
// run, owner-only, removed again when the list goes. "/PROCESSAFFINITYMASK:n" binds every thread of
// the process, and so every thread started later, to the processors of the mask n.
//
// Syntax: a value is "/NAME:value"; a switch is NAME, optionally after one "/", "-" or "\" and
// before ":" or "=" and more text. Names beginning with "$" are answered but never reported.
// A path is no switch: an entry beginning with "/" whose part before the first ":" or "=" holds a
// further "/" ("/home/anna/file.xml"), or that has neither and names an existing file or folder
// ("/tmp"), is never taken for one. "/NAME" that names nothing on disk stays the switch NAME.
// Look-ups never raise; GetParamValueInt raises for a value that is not a number.

#include "platform/exception.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <memory>

// A failure that has already been reported, or needs no report: the caller stops quietly.
class EAbort : public Exception
{
public:
    using Exception::Exception;
};

class TApplicationParamList
{
public:
    // The process's own: arguments from the command line, the program from the running executable.
    TApplicationParamList();
    // Arguments without the program itself; AProgramFile stands for the running executable (tests).
    TApplicationParamList(const QStringList &AArguments, const QString &AProgramFile);
    ~TApplicationParamList();
    TApplicationParamList(const TApplicationParamList &) = delete;
    TApplicationParamList &operator=(const TApplicationParamList &) = delete;

    const QStringList &Strings() const { return FItems; }
    int Count() const { return int(FItems.size()); }

    bool GetCheckParam(const QString &Value);
    QString GetParamValue(const QString &Param);
    int GetParamValueInt(const QString &Param);
    int GetParamIndex(const QString &Param) const;
    void SetParamValue(const QString &Param, const QString &Value);
    void DeleteParam(const QString &AParam);
    // The report of the names asked for; AHiddenValues includes the "$" names.
    QStringList RequestedParams(bool AHiddenValues);
    // The names asked for, in the order of their first request.
    const QStringList &RequestedNames() const { return fRequestedParams; }

    QString TempFolder() const;
    // Raises "Verzeichnis <folder> ist nicht vorhanden" for a folder that does not exist.
    void SetTempFolder(const QString &Value);
    QString TempFolderOrigin() const;
    // The folder set up at creation, with a trailing "/"; empty before.
    QString TempFolderSetUp() const { return fTempFolderDelete; }

    // Class state, set up by the unit xProcs when the process starts and cleared when it ends.
    static void InitializeClass();
    static void FinalizeClass();
    static QUuid RunGUID();
    static QString OriginTempFolder();
    static bool TempFolderReady();
    // The instance, or null.
    static TApplicationParamList *Instance();

private:
    void create(const QStringList &AArguments, bool AHasArguments);
    void readIniFile();
    void AddRequestedParam(const QString &AName);
    void SetupTempFolder(const QString &AValue);

    QStringList FItems;
    QString fProgramFile;
    QString fTempFolderDelete;
    QStringList fRequestedParams;
};

// The instance, created on first call (with its temporary-folder handling).
TApplicationParamList &ApplicationParamList();
// The value of the parameter as a number; -1 when it is missing or not a number.
int GetParamInteger(const QString &AName);
// The system's temporary folder: %TMP%, else %TEMP%, else TMPDIR, else /tmp; never a text with
// an unexpanded variable in it.
QString SystemTempFolder();
// Binds every thread of the process to the processors of AMask (bit n: processor n); threads
// started later inherit it from the thread that starts them. False when some thread refused it (a
// mask naming none of our processors).
bool SetProcessAffinityMask(quint32 AMask);
