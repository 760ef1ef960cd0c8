#pragma once
// The general exception base of Pravik: every failure the program reports to its user is one of
// these, carrying the message that the application's exception handler shows.

#include <QString>
#include <exception>
#include <string>

class Exception : public std::exception
{
public:
    explicit Exception(QString message);
    ~Exception() override;

    const QString &message() const noexcept { return m_message; }
    const char *what() const noexcept override { return m_utf8.c_str(); }
    // More about the error in full, shown below the message in its error box; empty when none.
    const QString &details() const noexcept { return m_details; }
    void setDetails(QString details) { m_details = std::move(details); }

private:
    QString m_message;
    QString m_details;
    std::string m_utf8;
};

// A value could not be converted or formatted (bad format string, missing or mistyped argument).
class EConvertError : public Exception
{
public:
    using Exception::Exception;
};

// An index or other argument lies outside the range an operation accepts.
class EArgumentOutOfRangeException : public Exception
{
public:
    using Exception::Exception;
};

// A file could not be opened or read.
class EFOpenError : public Exception
{
public:
    using Exception::Exception;
};

// A file could not be created or written.
class EFCreateError : public Exception
{
public:
    using Exception::Exception;
};

// A list or dictionary operation found no such item, or a duplicate where none is allowed.
class EListError : public Exception
{
public:
    using Exception::Exception;
};
