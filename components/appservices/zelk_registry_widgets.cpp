#include "components/appservices/zelk_registry.h"

#include <QMetaClassInfo>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace {

// A form is a window of a class designed as one: a main window, a dialog, or a class of the program
// itself. A bare Qt container without parent is a window to Qt too, but a panel not yet placed on
// a form is no form.
bool isForm(const QWidget *widget)
{
    if (!widget->isWindow())
        return false;
    if (widget->inherits("QMainWindow") || widget->inherits("QDialog"))
        return true;
    const char *name = widget->metaObject()->className();
    const bool qtClass = name[0] == 'Q' && name[1] >= 'A' && name[1] <= 'Z';
    return !qtClass;
}

} // namespace

QString TZelkRegistryOptions::ControlPath(const QWidget *AControl)
{
    QString path;
    for (const QWidget *parent = AControl ? AControl->parentWidget() : nullptr; parent;
         parent = parent->parentWidget()) {
        const QMetaObject *meta = parent->metaObject();
        if (isForm(parent)) {
            path.prepend(QLatin1StringView(meta->className()) + u'\\');
            break;
        }
        if (parent->isWindow())
            break;
        const int marker = meta->indexOfClassInfo("ZelkFrame");
        if (marker >= 0 && qstrcmp(meta->classInfo(marker).value(), "true") == 0)
            path.prepend(QLatin1StringView(meta->className()) + u'(' + parent->objectName() + u")\\"_s);
    }
    return path;
}
