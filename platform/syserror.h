#pragma once
// The system's own text for an error number (errno), as the platform's message table words it.

#include <QString>

// At most 199 characters, like the message buffer the Windows original used.
QString SysErrorMessage(int code);
