#pragma once
// Format: the platform's printf-like text formatting with typed arguments.
//
// A format specifier is  "%" [index ":"] ["-"] [width] ["." precision] type  where index, width and
// precision are decimal numbers or "*" (taken from the next argument, which must be an integer).
// "%%" is a literal percent sign. Types (upper or lower case):
//   d  signed integer; precision = minimum number of digits, zero-padded
//   u  unsigned integer (negative values as their two's complement of their own width)
//   x  upper-case hexadecimal integer; precision as for d
//   s  string (QString, QChar, QByteArray as UTF-8); precision = maximum number of characters
//   f  fixed-point float, precision = decimals (default 2)
//   n  as f with thousands separators
//   e  scientific float "d.dddE+ddd", precision = significant digits (default 15)
//   g  shortest of fixed and scientific, precision = significant digits (default 15)
// Floats round their decimal representation half away from zero. width pads with blanks on the left,
// or on the right after "-". Arguments beyond those used are ignored.
//
// Errors raise EConvertError: "No argument for format '<format>'" when an argument is missing, and
// "Format '<format>' invalid or incompatible with argument" for a malformed specifier or an argument
// of the wrong kind (an integer for %f, a float for %d, a bool or a null value anywhere, ...).

#include <QChar>
#include <QString>
#include <QVariant>
#include <QVariantList>

struct TFormatSettings
{
    QChar DecimalSeparator = u'.';
    QChar ThousandSeparator = u',';
};

// The settings Format uses by default: the separators of the system locale, read once.
const TFormatSettings &FormatSettings();

QString Format(const QString &AFormat, const QVariantList &Args);
QString Format(const QString &AFormat, const QVariantList &Args, const TFormatSettings &ASettings);
