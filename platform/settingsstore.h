#pragma once
// The per-user settings store, the counterpart of the registry of the current user. Keys are paths
// below the root ("Software\Zelk Software\Scaling"), compared without regard to case; a key holds
// named string values, its unnamed default value under the empty name. Integers are stored as their
// decimal text, as the library has always kept them.
//
// One file per user: <folder>/settings.json, where <folder> is, in this order, the folder given to
// SetSettingsFolder (tests), the environment variable PRAVIK_SETTINGS_DIR, or "zelk-software" in
// the XDG config folder (QStandardPaths::GenericConfigLocation).
//
// Rules:
// - Every change is a read-modify-write of the whole file under a cross-process lock (QLockFile,
//   settings.json.lock), written to a temporary file and renamed over the old one (QSaveFile): a
//   reader sees the old file or the new one, never half of one, and processes writing at once lose
//   none of each other's values.
// - A file that cannot be read as settings is renamed aside to settings.json.damaged-<time>, with a
//   warning naming both files; the store goes on empty. Its content is never overwritten.
// - A folder the store makes (and any missing folder above it) is made owner-only; a folder that
//   exists keeps its mode. A folder the user may not write raises ERegistryException saying so.
// - A lock that cannot be had within ten seconds, or a file that cannot be written, raises
//   ERegistryException naming the file.

#include "platform/exception.h"

#include <QString>
#include <QStringList>

class ERegistryException : public Exception
{
public:
    using Exception::Exception;
};

// The folder and the file of the store as they are now chosen.
QString SettingsFolder();
QString SettingsFileName();
// Points the store at a folder of its own (tests); an empty text goes back to the environment's
// choice. Not for use while another thread works on the store.
void SetSettingsFolder(const QString &folder);

struct TRegKeyInfo
{
    int NumSubKeys = 0;
    int NumValues = 0;
};

// A cursor on the store, as the platform's registry class is: open a key, then read and write its
// values. Every call reads the file afresh, so the values of other processes are seen at once.
class TRegistry
{
public:
    // A key starting with "\" is taken from the root, any other below the key now open. A trailing
    // "\" and empty parts are ignored. CanCreate makes the key (and the keys above it) when missing.
    // Returns false when the key does not exist and may not be created.
    bool OpenKey(const QString &Key, bool CanCreate);
    void CloseKey();
    bool KeyExists(const QString &Key) const;
    // The path of the key now open without leading "\"; empty when none is.
    QString CurrentPath() const { return m_path; }

    bool ValueExists(const QString &Name) const;
    // The value's text; empty when it is missing.
    QString ReadString(const QString &Name) const;
    // The value as a decimal number; ADefault when it is missing or not a number.
    int ReadInteger(const QString &Name, int ADefault) const;
    void WriteString(const QString &Name, const QString &Value);
    void WriteInteger(const QString &Name, int Value);
    // False when there was no such value.
    bool DeleteValue(const QString &Name);
    // Deletes the key with all keys below it; false when there was none.
    bool DeleteKey(const QString &Key);
    // Names in the order they were first written.
    QStringList GetValueNames() const;
    TRegKeyInfo GetKeyInfo() const;

private:
    QString resolve(const QString &Key) const;
    void requireOpen() const;

    QString m_path;
    bool m_open = false;
};
