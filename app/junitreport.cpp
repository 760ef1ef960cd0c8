#include "junitreport.h"

#include "paymentsoutput.h"

#include "platform/filename.h"

#include <QSysInfo>

namespace checker {

namespace {

bool isXmlChar(char32_t c)
{
    return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) || (c >= 0xE000 && c <= 0xFFFD)
        || (c >= 0x10000 && c <= 0x10FFFF);
}

// Escaped for element content, or for an attribute value in double quotes: there line breaks and
// tabs are written as references, so that a parser gives them back instead of turning them to spaces.
QByteArray escaped(const QString &s, bool attribute)
{
    QString out;
    out.reserve(s.size() + 16);
    for (qsizetype i = 0; i < s.size(); ++i) {
        char32_t c = s.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < s.size() && s.at(i + 1).isLowSurrogate()) {
            c = QChar::surrogateToUcs4(s.at(i), s.at(i + 1));
            ++i;
        }
        switch (c) {
        case u'&':
            out += u"&amp;";
            continue;
        case u'<':
            out += u"&lt;";
            continue;
        case u'>':
            out += u"&gt;";
            continue;
        case u'"':
            out += attribute ? u"&quot;" : u"\"";
            continue;
        case u'\n':
            out += attribute ? u"&#10;" : u"\n";
            continue;
        case u'\r':
            out += u"&#13;"; // a literal CR would be read back as a line feed
            continue;
        case u'\t':
            out += attribute ? u"&#9;" : u"\t";
            continue;
        default:
            break;
        }
        if (!isXmlChar(c) || (c >= 0xD800 && c <= 0xDFFF))
            out += QStringLiteral("\\u%1").arg(uint(c), 4, 16, QLatin1Char('0'));
        else
            out += QString::fromUcs4(&c, 1);
    }
    return out.toUtf8();
}

QByteArray attribute(const char *name, const QString &value)
{
    return QByteArray(" ") + name + "=\"" + escaped(value, true) + '"';
}

// A schema error's or a finding's <failure>: where and why in its message, the details as its body.
QByteArray failure(int line, int linePos, const QString &reason, const QString &type, const QString &body)
{
    return "      <failure"
        + attribute("message", QStringLiteral("Line %1, position %2: %3").arg(line).arg(linePos).arg(reason))
        + attribute("type", type) + '>' + escaped(body, false) + "</failure>\n";
}

QByteArray secondsText(double seconds)
{
    return QByteArray::number(qMax(seconds, 0.0), 'f', 3);
}

} // namespace

QByteArray junitTestCase(const FileCheck &check, double seconds, bool rulesStrict)
{
    const QString name = displayFileName(check.file);
    QByteArray out = "    <testcase" + attribute("name", name)
        + attribute("classname", QStringLiteral("pravik-check")) + " time=\"" + secondsText(seconds) + '"';

    if (check.verdict == Verdict::Valid && !check.rulesRun) {
        out += "/>\n";
        return out;
    }
    out += ">\n";
    if (check.verdict == Verdict::Refused || check.verdict == Verdict::Unreadable) {
        QString message = displayFileName(check.message);
        if (const QString stop = stopText(check); !stop.isEmpty())
            message += u' ' + stop.at(0).toUpper() + stop.mid(1);
        out += "      <error" + attribute("type", verdictName(check.verdict)) + attribute("message", message)
            + "/>\n";
    } else {
        // The body is the error's report lines without their separator, as the window shows them.
        TTaggedLines lines;
        check.errors.ToStrings(lines, [](int32_t, int32_t) {});
        qsizetype line = 0;
        for (const TXMLParseErrorItem &e : check.errors) {
            ++line; // the separator
            QString body;
            const int tag = lines.at(line).tag;
            while (line < lines.size() && lines.at(line).tag == tag) {
                body += lines.at(line).text + u'\n';
                ++line;
            }
            out += failure(e.FLine, e.FLinePos, e.FReason, QString::number(e.FErrorCode), body);
        }
        QString output;
        if (check.errors.FUnlisted > 0 && !lines.isEmpty())
            output = lines.last().text + u'\n';
        if (check.rulesRun) {
            if (rulesStrict) {
                for (const sepa::Finding &f : check.findings) {
                    if (f.severity != sepa::Severity::Error)
                        continue;
                    out += failure(f.line, f.linePos, f.english, f.code,
                        QStringLiteral("%1\nSrcText: %2\n").arg(f.german, f.srcText));
                }
            }
            output += QString::fromUtf8(rulesReport(check));
        }
        if (output.endsWith(u'\n'))
            output.chop(1);
        if (!output.isEmpty())
            out += "      <system-out>" + escaped(output, false) + "</system-out>\n";
    }
    out += "    </testcase>\n";
    return out;
}

JUnitReport::JUnitReport(const QDateTime &started)
    : fStarted(started)
{
}

void JUnitReport::add(Verdict verdict, bool failed, const QByteArray &testCase)
{
    ++fTests;
    if (verdict == Verdict::Invalid || (verdict == Verdict::Valid && failed))
        ++fFailures;
    else if (verdict == Verdict::Refused || verdict == Verdict::Unreadable)
        ++fErrors;
    fCases += testCase;
}

QByteArray JUnitReport::document(double seconds) const
{
    const QByteArray counts = " tests=\"" + QByteArray::number(fTests) + "\" failures=\""
        + QByteArray::number(fFailures) + "\" errors=\"" + QByteArray::number(fErrors) + '"';
    const QByteArray time = " time=\"" + secondsText(seconds) + '"';
    QByteArray out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    out += "<testsuites" + attribute("name", QStringLiteral("pravik-check")) + counts + time + ">\n";
    out += "  <testsuite" + attribute("name", QStringLiteral("pravik-check")) + counts + " skipped=\"0\""
        + time + attribute("timestamp", fStarted.toString(Qt::ISODate))
        + attribute("hostname", QSysInfo::machineHostName()) + ">\n";
    out += fCases;
    out += "  </testsuite>\n</testsuites>\n";
    return out;
}

JUnitReporter::JUnitReporter(const QDateTime &started, bool rulesStrict, bool summary)
    : fReport(started)
    , fRulesStrict(rulesStrict)
    , fSummary(summary)
{
}

QByteArray JUnitReporter::part(const FileOutcome &outcome) const
{
    QByteArray testCase = junitTestCase(outcome.check, outcome.seconds, fRulesStrict);
    if (fSummary && outcome.check.payments)
        return withJUnitSummary(std::move(testCase), *outcome.check.payments);
    return testCase;
}

QByteArray JUnitReporter::add(const FileOutcome &outcome, QByteArray &&part)
{
    fReport.add(outcome.check.verdict, fRulesStrict && outcome.check.hasRuleErrors(), part);
    return {};
}

QByteArray JUnitReporter::end(double seconds)
{
    return fReport.document(seconds);
}

} // namespace checker
