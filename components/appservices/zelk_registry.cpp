#include "components/appservices/zelk_registry.h"

#include "platform/versionresource.h"

#include <QCoreApplication>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace {

bool g_hasApplicationKey = false;
QString g_storedApplicationKey;

// The units start before the application object exists: the key captured here is the program's file
// name, which is what the application's title defaults to.
void startZelkRegistry()
{
    g_hasApplicationKey = false;
    g_storedApplicationKey = TZelkRegistryOptions::ApplicationTitle();
}

void finishZelkRegistry()
{
    g_hasApplicationKey = false;
    g_storedApplicationKey.clear();
}

} // namespace

const TUnit Zelk_RegistryUnit = { "Zelk_Registry", startZelkRegistry, finishZelkRegistry };

QString TZelkRegistryOptions::RootKey()
{
    return u"Software\\Zelk Software"_s;
}

QString TZelkRegistryOptions::ApplicationTitle()
{
    if (QCoreApplication::instance()) {
        const QString name = QCoreApplication::applicationName();
        if (!name.isEmpty())
            return name;
    }
    return QFileInfo(ApplicationFileName()).completeBaseName();
}

QString TZelkRegistryOptions::ApplicationKey()
{
    return g_hasApplicationKey ? g_storedApplicationKey : ApplicationTitle();
}

bool TZelkRegistryOptions::HasApplicationKey()
{
    return g_hasApplicationKey;
}

QString TZelkRegistryOptions::StoredApplicationKey()
{
    return g_storedApplicationKey;
}

void TZelkRegistryOptions::SetApplicationKey(const QString &AKey)
{
    g_hasApplicationKey = !AKey.isEmpty();
    if (g_hasApplicationKey)
        g_storedApplicationKey = AKey;
}
