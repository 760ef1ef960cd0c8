#pragma once
// The system's own text for an error number (errno), as the platform's message table words it.

#include <QString>

// At most 199 characters, the size of the message buffer on Windows.
QString SysErrorMessage(int code);
