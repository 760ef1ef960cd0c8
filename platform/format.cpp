#include "platform/format.h"

#include "platform/exception.h"
#include "platform/integraltype.h"

#include <QLocale>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <limits>

namespace {

enum class ArgKind
{
    Integer,
    Float,
    String,
    Other
};

ArgKind kindOf(const QVariant &v)
{
    if (integralType(v.typeId()))
        return ArgKind::Integer;
    switch (v.typeId()) {
    case QMetaType::Double:
    case QMetaType::Float:
        return ArgKind::Float;
    case QMetaType::QString:
    case QMetaType::QChar:
    case QMetaType::QByteArray:
    case QMetaType::Char:
        return ArgKind::String;
    default:
        return ArgKind::Other;
    }
}

// Digits of |v| without leading zeros, and the decimal exponent of the first digit.
struct Decimal
{
    QString digits;
    int exponent = 0;
};

Decimal decimalOf(double v)
{
    char buf[64];
    auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(v), std::chars_format::scientific);
    const QString s = QString::fromLatin1(buf, int(res.ptr - buf));
    const qsizetype e = s.indexOf(u'e');
    Decimal d;
    for (QChar c : s.left(e)) {
        if (c.isDigit())
            d.digits += c;
    }
    d.exponent = s.mid(e + 1).toInt();
    if (d.digits.count(u'0') == d.digits.size()) {
        d.digits = QStringLiteral("0");
        d.exponent = 0;
    }
    return d;
}

// Keeps the first `count` digits, rounding half away from zero. count may be 0 or negative.
void roundDigits(Decimal &d, int count)
{
    if (count >= d.digits.size())
        return;
    if (count < 0) {
        d = { QStringLiteral("0"), 0 };
        return;
    }
    const bool up = d.digits.at(count) >= u'5';
    d.digits.truncate(count);
    if (up) {
        int i = count - 1;
        while (i >= 0 && d.digits.at(i) == u'9') {
            d.digits[i] = u'0';
            --i;
        }
        if (i >= 0) {
            d.digits[i] = QChar(d.digits.at(i).unicode() + 1);
        } else {
            d.digits.prepend(u'1');
            ++d.exponent;
        }
    }
    if (d.digits.isEmpty() || d.digits.count(u'0') == d.digits.size())
        d = { QStringLiteral("0"), 0 };
}

QString digitAt(const Decimal &d, int i)
{
    return i >= 0 && i < d.digits.size() ? QString(d.digits.at(i)) : QStringLiteral("0");
}

QString fixedText(double v, int prec, const TFormatSettings &fs, bool grouped)
{
    Decimal d = decimalOf(v);
    roundDigits(d, d.exponent + 1 + prec);
    QString intPart;
    for (int i = 0; i <= d.exponent; ++i)
        intPart += digitAt(d, i);
    if (intPart.isEmpty())
        intPart = QStringLiteral("0");
    if (grouped) {
        for (qsizetype pos = intPart.size() - 3; pos > 0; pos -= 3)
            intPart.insert(pos, fs.ThousandSeparator);
    }
    QString frac;
    for (int i = 0; i < prec; ++i)
        frac += digitAt(d, d.exponent + 1 + i);
    const bool zero = d.digits == QStringLiteral("0");
    QString out = (v < 0 && !zero) ? QStringLiteral("-") : QString();
    out += intPart;
    if (prec > 0)
        out += fs.DecimalSeparator + frac;
    return out;
}

QString exponentText(int e, int minDigits)
{
    QString n = QString::number(std::abs(e));
    while (n.size() < minDigits)
        n.prepend(u'0');
    return QStringLiteral("E") + (e < 0 ? u'-' : u'+') + n;
}

QString scientificText(double v, int prec, const TFormatSettings &fs, bool trimZeros, int expDigits)
{
    Decimal d = decimalOf(v);
    roundDigits(d, prec);
    QString mant = digitAt(d, 0);
    QString frac;
    for (int i = 1; i < prec; ++i)
        frac += digitAt(d, i);
    if (trimZeros) {
        while (frac.endsWith(u'0'))
            frac.chop(1);
    }
    if (!frac.isEmpty())
        mant += fs.DecimalSeparator + frac;
    const bool zero = d.digits == QStringLiteral("0");
    return ((v < 0 && !zero) ? QStringLiteral("-") : QString()) + mant + exponentText(d.exponent, expDigits);
}

QString generalText(double v, int prec, const TFormatSettings &fs)
{
    if (prec <= 0 || prec > 18)
        prec = 15;
    Decimal d = decimalOf(v);
    roundDigits(d, prec);
    if (d.exponent >= prec || (d.digits != QStringLiteral("0") && d.exponent < -5))
        return scientificText(v, prec, fs, true, 1);
    QString s = fixedText(v, std::max(0, prec - 1 - d.exponent), fs, false);
    if (s.contains(fs.DecimalSeparator)) {
        while (s.endsWith(u'0'))
            s.chop(1);
        if (s.endsWith(fs.DecimalSeparator))
            s.chop(1);
    }
    return s;
}

class Formatter
{
public:
    Formatter(const QString &fmt, const QVariantList &args, const TFormatSettings &fs)
        : m_fmt(fmt)
        , m_args(args)
        , m_fs(fs)
    {
    }

    QString run()
    {
        QString out;
        out.reserve(m_fmt.size());
        while (m_pos < m_fmt.size()) {
            const QChar c = m_fmt.at(m_pos++);
            if (c != u'%') {
                out += c;
                continue;
            }
            if (m_pos < m_fmt.size() && m_fmt.at(m_pos) == u'%') {
                out += u'%';
                ++m_pos;
                continue;
            }
            out += specifier();
        }
        return out;
    }

private:
    [[noreturn]] void invalid() const
    {
        throw EConvertError(QStringLiteral("Format '%1' invalid or incompatible with argument").arg(m_fmt));
    }

    const QVariant &nextArg()
    {
        if (m_argIndex < 0 || m_argIndex >= m_args.size())
            throw EConvertError(QStringLiteral("No argument for format '%1'").arg(m_fmt));
        return m_args.at(m_argIndex++);
    }

    QChar peek() const { return m_pos < m_fmt.size() ? m_fmt.at(m_pos) : QChar(); }

    // A decimal number, "*" (from the arguments) or nothing (-1).
    int number()
    {
        if (peek() == u'*') {
            ++m_pos;
            const QVariant &a = nextArg();
            if (kindOf(a) != ArgKind::Integer)
                invalid();
            return int(std::clamp<qlonglong>(a.toLongLong(), -1, std::numeric_limits<int>::max()));
        }
        if (!peek().isDigit())
            return -1;
        qlonglong n = 0;
        while (peek().isDigit()) {
            n = std::min<qlonglong>(n * 10 + peek().digitValue(), std::numeric_limits<int>::max());
            ++m_pos;
        }
        return int(n);
    }

    QString specifier()
    {
        int width = number();
        if (peek() == u':') {
            ++m_pos;
            m_argIndex = width;
            width = -1;
        }
        bool left = false;
        if (peek() == u'-') {
            left = true;
            ++m_pos;
        }
        if (width < 0)
            width = number();
        int prec = -1;
        if (peek() == u'.') {
            ++m_pos;
            prec = number();
            if (prec < 0)
                prec = 0;
        }
        if (m_pos >= m_fmt.size())
            invalid();
        const QChar type = m_fmt.at(m_pos++).toLower();
        QString text = convert(type, prec);
        if (width > text.size())
            text = left ? text.leftJustified(width) : text.rightJustified(width);
        return text;
    }

    QString convert(QChar type, int prec)
    {
        if (type == u'd' || type == u'u' || type == u'x')
            return integerText(type, prec);
        if (type == u's') {
            const QVariant &a = nextArg();
            if (kindOf(a) != ArgKind::String)
                invalid();
            QString s
                = a.typeId() == QMetaType::QByteArray ? QString::fromUtf8(a.toByteArray()) : a.toString();
            return prec >= 0 ? s.left(prec) : s;
        }
        if (type == u'f' || type == u'n' || type == u'e' || type == u'g') {
            const QVariant &a = nextArg();
            if (kindOf(a) != ArgKind::Float)
                invalid();
            const double v = a.toDouble();
            if (std::isnan(v))
                return QStringLiteral("NAN");
            if (std::isinf(v))
                return v < 0 ? QStringLiteral("-INF") : QStringLiteral("INF");
            if (type == u'e')
                return scientificText(v, prec < 0 ? 15 : std::clamp(prec, 1, 18), m_fs, false, 3);
            if (type == u'g')
                return generalText(v, prec, m_fs);
            return fixedText(v, prec < 0 ? 2 : std::min(prec, 18), m_fs, type == u'n');
        }
        invalid();
    }

    QString integerText(QChar type, int prec)
    {
        const QVariant &a = nextArg();
        if (kindOf(a) != ArgKind::Integer)
            invalid();
        const IntegralType kind = *integralType(a.typeId());
        const bool wide = kind.bits > 32;
        const bool isUnsignedType = !kind.isSigned;
        QString digits;
        bool negative = false;
        if (type == u'd' && !isUnsignedType) {
            const qlonglong v = a.toLongLong();
            negative = v < 0;
            digits = QString::number(v).remove(u'-');
        } else {
            qulonglong v = isUnsignedType ? a.toULongLong() : qulonglong(a.toLongLong());
            if (!isUnsignedType && !wide)
                v &= 0xFFFFFFFFull;
            digits = QString::number(v, type == u'x' ? 16 : 10).toUpper();
        }
        if (prec > digits.size())
            digits = digits.rightJustified(prec, u'0');
        return negative ? QStringLiteral("-") + digits : digits;
    }

    const QString &m_fmt;
    const QVariantList &m_args;
    const TFormatSettings &m_fs;
    qsizetype m_pos = 0;
    qsizetype m_argIndex = 0;
};

} // namespace

const TFormatSettings &FormatSettings()
{
    static const TFormatSettings settings = [] {
        const QLocale locale = QLocale::system();
        TFormatSettings fs;
        if (!locale.decimalPoint().isEmpty())
            fs.DecimalSeparator = locale.decimalPoint().front();
        if (!locale.groupSeparator().isEmpty())
            fs.ThousandSeparator = locale.groupSeparator().front();
        return fs;
    }();
    return settings;
}

QString Format(const QString &AFormat, const QVariantList &Args)
{
    return Format(AFormat, Args, FormatSettings());
}

QString Format(const QString &AFormat, const QVariantList &Args, const TFormatSettings &ASettings)
{
    return Formatter(AFormat, Args, ASettings).run();
}
