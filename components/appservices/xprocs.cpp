#include "components/appservices/xprocs.h"

#include "components/appservices/xprocs_params.h"
#include "platform/versionresource.h"

#include <QDateTime>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QSysInfo>
#include <QtEndian>

#include <sys/utsname.h>

#include <cstdlib>
#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

struct TFacts
{
    bool IsMinorVersion95OrAbove = false;
    bool IsNTPlatform = false;
    TFormatSettings StartupFormatSettings;
    int UserLanguage = 0;
    int LanguageNumber = 71000;
    TWindows11Flags Windows11;
};

TFacts g_facts;

TOSVersion parseVersion(const QString &text)
{
    static const QRegularExpression number(u"^(\\d+)(?:\\.(\\d+))?"_s);
    const QRegularExpressionMatch m = number.match(text);
    if (!m.hasMatch())
        return {};
    return { m.captured(1).toInt(), m.captured(2).toInt() };
}

// The variable's value, its name compared with regard to case first, then without, as the
// platform's names are; nullopt when it is not defined.
std::optional<QString> environmentValue(const QString &name)
{
    if (qEnvironmentVariableIsSet(name.toLocal8Bit().constData()))
        return qEnvironmentVariable(name.toLocal8Bit().constData());
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString &key : environment.keys()) {
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return environment.value(key);
    }
    return std::nullopt;
}

void startFacts()
{
    std::srand(unsigned(QDateTime::currentMSecsSinceEpoch()));
    const TOSVersion version = RuntimeOSVersion();
    TFacts facts;
    facts.IsMinorVersion95OrAbove = version.Minor >= 95;
    struct utsname name
    {
    };
    facts.IsNTPlatform = ::uname(&name) == 0;
    const QLocale locale = QLocale::system();
    facts.StartupFormatSettings = FormatSettingsOf(locale);
    facts.UserLanguage = PrimaryLanguageOf(LanguageIdOf(locale));
    facts.LanguageNumber = LanguageNumberOf(facts.UserLanguage);
    g_facts = facts;
    if (IsWindows10OrLater()) {
        // A version resource without fixed information leaves both flags false.
        try {
            g_facts.Windows11 = Windows11FlagsOf(GetFileVersionNumbers(u"%windir%\\explorer.exe"_s));
        } catch (const Exception &) {
        }
    }
}

void start()
{
    TApplicationParamList::InitializeClass();
    startFacts();
}

void finish()
{
    g_facts = TFacts();
    TApplicationParamList::FinalizeClass();
}

} // namespace

const TUnit xProcsUnit = { "xProcs", start, finish };

TOSVersion RuntimeOSVersion()
{
    const TOSVersion product = parseVersion(QSysInfo::productVersion());
    if (product.Major > 0)
        return product;
    return parseVersion(QSysInfo::kernelVersion());
}

bool IsMinorVersion95OrAbove()
{
    return g_facts.IsMinorVersion95OrAbove;
}

bool IsNTPlatform()
{
    return g_facts.IsNTPlatform;
}

const TFormatSettings &StartupFormatSettings()
{
    return g_facts.StartupFormatSettings;
}

int UserLanguage()
{
    return g_facts.UserLanguage;
}

int LanguageNumber()
{
    return g_facts.LanguageNumber;
}

bool IsWindows11()
{
    return g_facts.Windows11.IsWindows11;
}

bool IsWindows11OrLater()
{
    return g_facts.Windows11.IsWindows11OrLater;
}

bool IsVistaOrLater(TOSVersion)
{
    // What the flag stands for (an installed-font list, the current interface fonts) every Linux
    // system has; a distribution's release number says nothing about it.
    return true;
}

bool IsWindows10OrLater(TOSVersion AVersion)
{
    return AVersion.Major >= 10;
}

bool IsVistaOrLater()
{
    return IsVistaOrLater(RuntimeOSVersion());
}

bool IsWindows10OrLater()
{
    return IsWindows10OrLater(RuntimeOSVersion());
}

int LanguageIdOf(const QLocale &ALocale)
{
    struct Entry
    {
        QLocale::Language language;
        int primary;
    };
    // The platform's primary language ids (LANG_*), for the languages a user is likely to run.
    static constexpr Entry primaries[] = {
        { QLocale::Arabic, 0x01 },
        { QLocale::Bulgarian, 0x02 },
        { QLocale::Catalan, 0x03 },
        { QLocale::Chinese, 0x04 },
        { QLocale::Czech, 0x05 },
        { QLocale::Danish, 0x06 },
        { QLocale::German, 0x07 },
        { QLocale::Greek, 0x08 },
        { QLocale::English, 0x09 },
        { QLocale::Spanish, 0x0A },
        { QLocale::Finnish, 0x0B },
        { QLocale::French, 0x0C },
        { QLocale::Hebrew, 0x0D },
        { QLocale::Hungarian, 0x0E },
        { QLocale::Icelandic, 0x0F },
        { QLocale::Italian, 0x10 },
        { QLocale::Japanese, 0x11 },
        { QLocale::Korean, 0x12 },
        { QLocale::Dutch, 0x13 },
        { QLocale::NorwegianBokmal, 0x14 },
        { QLocale::Polish, 0x15 },
        { QLocale::Portuguese, 0x16 },
        { QLocale::Romanian, 0x18 },
        { QLocale::Russian, 0x19 },
        { QLocale::Croatian, 0x1A },
        { QLocale::Slovak, 0x1B },
        { QLocale::Swedish, 0x1D },
        { QLocale::Turkish, 0x1F },
        { QLocale::Ukrainian, 0x22 },
        { QLocale::Slovenian, 0x24 },
    };
    struct Sub
    {
        QLocale::Language language;
        QLocale::Territory territory;
        int sub;
    };
    // Sub-languages other than the default one (1).
    static constexpr Sub subs[] = {
        { QLocale::German, QLocale::Switzerland, 2 },
        { QLocale::German, QLocale::Austria, 3 },
        { QLocale::German, QLocale::Luxembourg, 4 },
        { QLocale::German, QLocale::Liechtenstein, 5 },
        { QLocale::English, QLocale::UnitedKingdom, 2 },
        { QLocale::English, QLocale::Australia, 3 },
        { QLocale::English, QLocale::Canada, 4 },
        { QLocale::French, QLocale::Belgium, 2 },
        { QLocale::French, QLocale::Canada, 3 },
        { QLocale::French, QLocale::Switzerland, 4 },
        { QLocale::Italian, QLocale::Switzerland, 2 },
        { QLocale::Portuguese, QLocale::Portugal, 2 },
        { QLocale::Spanish, QLocale::Mexico, 2 },
        { QLocale::Dutch, QLocale::Belgium, 2 },
    };
    for (const Entry &entry : primaries) {
        if (entry.language != ALocale.language())
            continue;
        int sub = 1;
        for (const Sub &s : subs) {
            if (s.language == ALocale.language() && s.territory == ALocale.territory())
                sub = s.sub;
        }
        return sub << 10 | entry.primary;
    }
    return 0;
}

int PrimaryLanguageOf(int ALanguageId)
{
    return ALanguageId & 0x3FF;
}

int LanguageNumberOf(int AUserLanguage)
{
    switch (AUserLanguage) {
    case 7:
        return 70000;
    case 9:
        return 71000;
    case 10:
        return 72000;
    case 25:
        return 73000;
    case 16:
        return 74000;
    case 12:
        return 75000;
    case 22:
        return 76000;
    default:
        return 71000;
    }
}

TFormatSettings FormatSettingsOf(const QLocale &ALocale)
{
    TFormatSettings settings;
    const QString decimal = ALocale.decimalPoint();
    const QString group = ALocale.groupSeparator();
    if (decimal.size() == 1)
        settings.DecimalSeparator = decimal.front();
    if (group.size() == 1)
        settings.ThousandSeparator = group.front();
    return settings;
}

TWindows11Flags Windows11FlagsOf(const TFileVersionNumbers &AExplorer)
{
    const int M = AExplorer.Major;
    const int m = AExplorer.Minor;
    const int B = AExplorer.Build;
    TWindows11Flags flags;
    flags.IsWindows11 = M == 10 && m == 0 && B >= 22000;
    flags.IsWindows11OrLater = (M == 10 && m == 0 && B >= 22000) || (M == 10 && m > 0) || (M > 11 && m > 0);
    return flags;
}

QString ExpandEnvironmentPath(const QString &AText)
{
    QString text = trimControls(AText);
    if (text.size() > 1 && text.front() == u'"' && text.back() == u'"')
        text = text.mid(1, text.size() - 2);
    if (!text.contains(u'%'))
        return text;
    // As the platform expands: an undefined name is copied with its opening percent sign and the
    // scan goes on at its closing one, which may open the next name.
    QString result;
    qsizetype i = 0;
    while (i < text.size()) {
        const qsizetype open = text.indexOf(u'%', i);
        if (open < 0) {
            result += QStringView(text).mid(i);
            break;
        }
        result += QStringView(text).mid(i, open - i);
        const qsizetype close = text.indexOf(u'%', open + 1);
        if (close < 0) {
            result += QStringView(text).mid(open);
            break;
        }
        const QString name = text.mid(open + 1, close - open - 1);
        const std::optional<QString> value = name.isEmpty() ? std::nullopt : environmentValue(name);
        if (value) {
            result += *value;
            i = close + 1;
        } else {
            result += u'%' + name;
            i = close;
        }
    }
    return result;
}

TFileVersionNumbers GetFileVersionNumbers(const QString &AFileName)
{
    const QString fileName = ExpandEnvironmentPath(AFileName);
    TFileVersionNumbers numbers;
    int error = 0;
    const std::unique_ptr<TDataModule> module = TDataModule::Load(fileName, &error);
    if (!module)
        return numbers;
    const std::optional<QByteArray> resource = FindVersionResource(*module);
    if (!resource)
        return numbers;
    // Root block: 6 bytes of header, the key "VS_VERSION_INFO" with its zero in UTF-16, padded to 40;
    // then the fixed file information, whose first word is its signature.
    constexpr int valueOffset = 40;
    constexpr int fixedSize = 52;
    const QByteArray &r = *resource;
    const auto word = [&](int offset) { return qFromLittleEndian<quint32>(r.constData() + offset); };
    if (r.size() < valueOffset + fixedSize || qFromLittleEndian<quint16>(r.constData() + 2) < fixedSize
        || word(valueOffset) != 0xFEEF04BDu)
        throw EConvertError(u"The version resource of %1 carries no fixed file information"_s.arg(fileName));
    const quint32 ms = word(valueOffset + 8);
    const quint32 ls = word(valueOffset + 12);
    numbers.Major = int(ms >> 16);
    numbers.Minor = int(ms & 0xFFFF);
    numbers.Build = int(ls >> 16);
    numbers.Revision = int(ls & 0xFFFF);
    return numbers;
}
