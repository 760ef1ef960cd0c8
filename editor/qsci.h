#pragma once
// QScintilla's headers use Qt's bare signal and slot keywords, which this build switches off.

#include <QObject>

#define signals Q_SIGNALS
#define slots Q_SLOTS
#include <Qsci/qscilexerxml.h>
#include <Qsci/qsciscintilla.h>
#undef signals
#undef slots
