#pragma once
// TZelkRegistryOptions (unit Zelk_Registry): under which application name the library's components
// keep their per-user settings below "Software\Zelk Software" in the settings store, and how a
// control is named by its place among its frames and form (ControlPath, in the widgets library).
// Class-level state only.

#include "platform/units.h"

#include <QString>

class QWidget;

class TZelkRegistryOptions
{
public:
    TZelkRegistryOptions() = delete;

    // The root of the library's keys, without trailing delimiter.
    static QString RootKey();
    // StoredApplicationKey while HasApplicationKey, else the application's title now.
    static QString ApplicationKey();
    static bool HasApplicationKey();
    static QString StoredApplicationKey();
    // Makes AKey the application key in force; an empty key goes back to the title.
    static void SetApplicationKey(const QString &AKey);
    // The application's title: the application object's name once it exists (Qt defaults it to the
    // program's file name), before that the program's file name without extension.
    static QString ApplicationTitle();

    // The path of a control through its frames up to its form: "Form\Frame(Name)\", outermost
    // first; empty without a form or frame above it.
    static QString ControlPath(const QWidget *AControl);
    // A form is a window of a main-window or dialog class, or of a class that carries
    // Q_CLASSINFO("ZelkForm", "true"); a panel or frame without parent is none.
    static bool IsForm(const QWidget *AWidget);
    // A frame is a widget whose class carries Q_CLASSINFO("ZelkFrame", "true").
    static bool IsFrame(const QWidget *AWidget);
};

// Captures StoredApplicationKey when the process starts and clears it at the end.
extern const TUnit Zelk_RegistryUnit;
