#include "syserror.h"

#include <cstring>

QString SysErrorMessage(int code)
{
    char buffer[256];
    // The GNU strerror_r may return a static text instead of filling the buffer.
#if defined(__GLIBC__) && defined(_GNU_SOURCE)
    const char *text = strerror_r(code, buffer, sizeof buffer);
#else
    const char *text = strerror_r(code, buffer, sizeof buffer) == 0 ? buffer : "Unknown error";
#endif
    return QString::fromLocal8Bit(text).left(199);
}
