#pragma once
// Form resources: the non-visual components of a window, stored as a small JSON document and read
// into an existing owner, so that texts like message objects come from the resource, not from code.
//
// Layout (UTF-8 JSON):
//   { "format": "pravik-form", "version": 1, "name": "<form name, informational>",
//     "components": [ <component>, ... ] }
//   <component> = { "class": "<registered class>", "name": "<component name>",
//                   "properties": { "<Q_PROPERTY name>": <value>, ... },
//                   "children": [ <component>, ... ] }
// Only "class" is required. Properties are the component's stored, writable Q_PROPERTYs: strings as
// JSON strings, numbers as numbers, bools as bools, enums as their key names ("a|b" for flags),
// string lists as arrays, notify events (TNotifyEvent) as the name of a method of the method root.
//
// Reading creates every component with the given owner, sets its name and properties, calls
// SetParentComponent with the enclosing component (the owner at the top level), then reads its
// children; when all are read, each gets Loaded(). A failure raises EReadError (or
// EClassNotFound, EComponentError) and frees every component of that read, leaving the owner as it
// was. Writing hands the owner's GetChildren to the writer and each component's GetChildren for
// its nested children, and writes only the properties that differ from a new instance of the class.

#include "platform/component.h"
#include "platform/exception.h"

#include <QByteArray>
#include <QString>

class QObject;

class EReadError : public Exception
{
public:
    using Exception::Exception;
};

// Reads a form document from a file or Qt resource path (e.g. ":/forms/Pravik_MAIN.form") into
// Owner. MethodRoot resolves event handlers: a method `void name(TComponent *)` that is a slot or
// Q_INVOKABLE. Raises EFOpenError when the resource does not exist.
void ReadComponentResource(TComponent *Owner, const QString &ResourcePath, QObject *MethodRoot = nullptr);
// As ReadComponentResource, from the document's bytes; SourceName prefixes error messages.
void ReadComponentData(TComponent *Owner, const QByteArray &Data, const QString &SourceName = QString(),
    QObject *MethodRoot = nullptr);

// The form document of Root's components (indented JSON). Raises EClassNotFound for a component of
// an unregistered class.
QByteArray WriteComponentData(TComponent *Root);
// Writes the document to a file; raises EFCreateError when it cannot be written.
void WriteComponentResFile(const QString &FileName, TComponent *Root);

// The component named AName and of class T that a form read into Owner, the way a window binds its
// form's components after ReadComponentResource; raises EReadError when there is none.
template <class T> T *FormComponent(TComponent *Owner, const QString &AName)
{
    T *c = Owner->FindComponent<T>(AName);
    if (!c)
        throw EReadError(QStringLiteral("The form has no component %1 of class %2")
                             .arg(AName, QLatin1String(T::staticMetaObject.className())));
    return c;
}
