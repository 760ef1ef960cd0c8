#include "platform/exceptiontext.h"

#include "platform/exception.h"

#include <new>

#if defined(__GNUG__)
#include <cstdlib>
#include <cxxabi.h>
#include <memory>
#endif

QString ExceptionMessage(const std::exception &e)
{
    if (const auto *own = dynamic_cast<const Exception *>(&e))
        return own->message();
    return QString::fromLocal8Bit(e.what());
}

QString CurrentExceptionMessage(const QString &IfUnknown)
{
    try {
        throw;
    } catch (const std::bad_alloc &) {
        return QStringLiteral("Out of memory.");
    } catch (const std::exception &e) {
        return ExceptionMessage(e);
    } catch (...) {
        return IfUnknown;
    }
}

QString CurrentExceptionDetails()
{
    try {
        throw;
    } catch (const Exception &e) {
        return e.details();
    } catch (...) {
        return QString();
    }
}

QString DemangledTypeName(const std::type_info &Type)
{
#if defined(__GNUG__)
    int status = 0;
    const std::unique_ptr<char, void (*)(void *)> demangled(
        abi::__cxa_demangle(Type.name(), nullptr, nullptr, &status), std::free);
    if (status == 0 && demangled)
        return QString::fromLatin1(demangled.get());
#endif
    return QString::fromLatin1(Type.name());
}
