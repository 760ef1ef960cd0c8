#include "components/appservices/zelk_registry.h"

#include <QMetaClassInfo>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

bool carries(const QWidget *widget, const char *marker)
{
    const QMetaObject *meta = widget->metaObject();
    const int index = meta->indexOfClassInfo(marker);
    return index >= 0 && qstrcmp(meta->classInfo(index).value(), "true") == 0;
}

} // namespace

bool TZelkRegistryOptions::IsForm(const QWidget *AWidget)
{
    // A panel or frame without parent is a window to Qt as well, but it is still no form.
    if (!AWidget || !AWidget->isWindow() || IsFrame(AWidget))
        return false;
    return AWidget->inherits("QMainWindow") || AWidget->inherits("QDialog") || carries(AWidget, "ZelkForm");
}

bool TZelkRegistryOptions::IsFrame(const QWidget *AWidget)
{
    return AWidget && carries(AWidget, "ZelkFrame");
}

QString TZelkRegistryOptions::ControlPath(const QWidget *AControl)
{
    QString path;
    for (const QWidget *parent = AControl ? AControl->parentWidget() : nullptr; parent;
         parent = parent->parentWidget()) {
        const QMetaObject *meta = parent->metaObject();
        if (IsForm(parent)) {
            path.prepend(QLatin1StringView(meta->className()) + u'\\');
            break;
        }
        if (IsFrame(parent))
            path.prepend(QLatin1StringView(meta->className()) + u'(' + parent->objectName() + u")\\"_s);
        // Another window (a tool window of the form) ends the path as well.
        if (parent->isWindow())
            break;
    }
    return path;
}
