#pragma once
// Start-up facts of the process (unit xProcs): the running system's version flags, the user's
// language and format settings, captured once when the unit starts and read-only afterwards; and the
// small routines other units use: environment expansion in paths and the version numbers of a
// module. Windows facts take their nearest Linux meaning; the rules that derive them are separate
// functions so that tests feed them any input.

#include "platform/format.h"
#include "platform/textformat.h"
#include "platform/units.h"

#include <QLocale>
#include <QString>

struct TFileVersionNumbers
{
    int Major = 0;
    int Minor = 0;
    int Build = 0;
    int Revision = 0;
};

// The running system's version as the runtime knows it: the distribution's release number
// (QSysInfo::productVersion, "12" for Debian 12), else the kernel's release when the distribution
// gives no number.
struct TOSVersion
{
    int Major = 0;
    int Minor = 0;
};
TOSVersion RuntimeOSVersion();

// Facts read when the unit starts; before that and after it finishes they hold their defaults.
bool IsMinorVersion95OrAbove();
bool IsNTPlatform();
const TFormatSettings &StartupFormatSettings();
int UserLanguage();
int LanguageNumber();
bool IsWindows11();
bool IsWindows11OrLater();

// The running system has what version 6.0 of the Windows line brought (true on every Linux system,
// whatever its number) / its major version is at least 10.
bool IsVistaOrLater();
bool IsWindows10OrLater();
bool IsVistaOrLater(TOSVersion AVersion);
bool IsWindows10OrLater(TOSVersion AVersion);

// The rules behind the facts.
// The platform's language id of a locale: primary language in the low ten bits, sub-language above
// (de_CH gives 0807 hexadecimal); 0 (neutral) for a language without an id in our table.
int LanguageIdOf(const QLocale &ALocale);
int PrimaryLanguageOf(int ALanguageId); // the id masked with 3FF hexadecimal
int LanguageNumberOf(int AUserLanguage); // 70000 German, 71000 English and any other, ...
TFormatSettings FormatSettingsOf(const QLocale &ALocale);
struct TWindows11Flags
{
    bool IsWindows11 = false;
    bool IsWindows11OrLater = false;
};
TWindows11Flags Windows11FlagsOf(const TFileVersionNumbers &AExplorer);

// Trims blanks and control characters, removes one pair of enclosing double quotes, and replaces
// every %NAME% of a defined environment variable by its value; an undefined one stays as it is,
// percent signs included.
QString ExpandEnvironmentPath(const QString &AText);

// The file version of a module's version resource (Major.Minor.Build.Revision), the name expanded
// first; all zero for a module without one or a file that is no module. Raises EConvertError when
// the resource carries no fixed file information.
TFileVersionNumbers GetFileVersionNumbers(const QString &AFileName);

// Starts with the process: the start-parameter class state (run GUID, ORIGIN_TEMP), then the facts
// above in their order. See also xProcsDisplayUnit for the display's share.
extern const TUnit xProcsUnit;
