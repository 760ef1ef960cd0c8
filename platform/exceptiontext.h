#pragma once
// What the program says about an exception it caught: its message and the name of its class, the
// same wherever one is reported (the units, the error box, queued calls, the dialog history, worker
// threads' names).

#include <QString>

#include <exception>
#include <typeinfo>

// The message of an exception: Exception's own message, what() of any other.
QString ExceptionMessage(const std::exception &e);
// The message of the exception being handled, for use inside a catch block: ExceptionMessage, "Out
// of memory." for std::bad_alloc, IfUnknown for anything that is no std::exception.
QString CurrentExceptionMessage(const QString &IfUnknown = QStringLiteral("unknown error"));
// The details of the exception being handled (Exception::details); empty for any other.
QString CurrentExceptionDetails();

// The C++ name of a type as written in the source, with its namespaces ("std::runtime_error");
// the compiler's own name where it cannot be demangled.
QString DemangledTypeName(const std::type_info &Type);
