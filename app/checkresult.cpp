#include "checkresult.h"

#include "platform/filename.h"
#include "validation/validationengine.h"

#include <functional>
#include <new>
#include <unistd.h>

namespace checker {

QString verdictName(Verdict verdict)
{
    switch (verdict) {
    case Verdict::Valid:
        return QStringLiteral("valid");
    case Verdict::Invalid:
        return QStringLiteral("invalid");
    case Verdict::Refused:
        return QStringLiteral("refused");
    case Verdict::Unreadable:
        return QStringLiteral("unreadable");
    }
    return {};
}

namespace {

FileCheck checkBytes(const QString &name, const std::function<QByteArray()> &read, SchemaCache &cache)
{
    FileCheck check;
    check.file = name;
    try {
        QByteArray utf8;
        {
            // The raw bytes go as soon as the text exists; a UTF-8 file shares them and is not copied.
            const QByteArray bytes = read();
            utf8 = toUtf8Text(bytes, &check.encoding);
        }
        check.read = true;
        std::unique_ptr<TXMLParseErrors> errors;
        const bool valid = ValidationEngine::ValidateXMLUtf8(utf8, errors, &cache);
        if (valid) {
            check.verdict = Verdict::Valid;
        } else {
            check.verdict = Verdict::Invalid;
            if (errors)
                check.errors = std::move(*errors);
        }
    } catch (const ESEPAXMLValidateException &e) {
        check.verdict = Verdict::Refused;
        check.message = e.message();
        if (e.line() > 0)
            check.stop = { e.parserMessage().trimmed(), e.line(), e.linePos(), e.filePos() };
    } catch (const EFOpenError &e) {
        check.verdict = Verdict::Unreadable;
        check.message = e.message();
    } catch (const Exception &e) {
        check.verdict = Verdict::Refused;
        check.message = e.message();
    } catch (const std::bad_alloc &) {
        check.verdict = Verdict::Refused;
        check.message = QStringLiteral("There is not enough memory to check this file.");
    } catch (const std::exception &e) {
        check.verdict = Verdict::Refused;
        check.message = QString::fromLocal8Bit(e.what());
    }
    return check;
}

} // namespace

FileCheck checkFile(const QString &file, SchemaCache &cache)
{
    return checkBytes(
        file, [&] { return readFileBytes(file); }, cache);
}

QString standardInputName()
{
    return QStringLiteral("<stdin>");
}

FileCheck checkStandardInput(SchemaCache &cache)
{
    const QString name = standardInputName();
    return checkBytes(
        name, [&] { return readStreamBytes(STDIN_FILENO, name); }, cache);
}

QString stopText(const FileCheck &check)
{
    if (check.stop.line <= 0)
        return {};
    return QStringLiteral("line %1, position %2: %3")
        .arg(check.stop.line)
        .arg(check.stop.linePos)
        .arg(check.stop.message);
}

QByteArray textReport(const FileCheck &check)
{
    if (check.verdict != Verdict::Valid && check.verdict != Verdict::Invalid)
        return {};
    TTaggedLines lines;
    check.errors.ToStrings(lines); // an empty list gives the valid sentence
    QByteArray out;
    for (const TTaggedLine &line : std::as_const(lines)) {
        out += line.text.toUtf8();
        out += '\n';
    }
    return out;
}

namespace {

void appendJsonString(QByteArray &out, const QString &s)
{
    static const char hex[] = "0123456789abcdef";
    out += '"';
    const QByteArray utf8 = s.toUtf8();
    for (const char ch : utf8) {
        const auto c = uchar(ch);
        switch (c) {
        case '"':
            out += "\\\"";
            break;
        case '\\':
            out += "\\\\";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            if (c < 0x20) {
                out += "\\u00";
                out += hex[c >> 4];
                out += hex[c & 0xF];
            } else {
                out += char(c);
            }
        }
    }
    out += '"';
}

void appendKey(QByteArray &out, const char *key)
{
    out += '"';
    out += key;
    out += "\":";
}

} // namespace

// Written by hand rather than through QJsonObject so that the keys keep a readable order.
QByteArray jsonRecord(const FileCheck &check)
{
    QByteArray out;
    out.reserve(128 + check.errors.size() * 256);
    out += '{';
    appendKey(out, "file");
    appendJsonString(out, displayFileName(check.file));
    if (hasRawBytes(check.file)) {
        // JSON holds Unicode only: a name that is not UTF-8 is given exactly as its bytes.
        out += ',';
        appendKey(out, "fileBytes");
        appendJsonString(out, QString::fromLatin1(encodeFileName(check.file).toBase64()));
    }
    out += ',';
    appendKey(out, "verdict");
    appendJsonString(out, verdictName(check.verdict));
    if (check.read) {
        out += ',';
        appendKey(out, "encoding");
        appendJsonString(out, encodingName(check.encoding));
    }
    if (!check.message.isEmpty()) {
        out += ',';
        appendKey(out, "message");
        appendJsonString(out, displayFileName(check.message));
    }
    if (check.stop.line > 0) {
        out += ',';
        appendKey(out, "stop");
        out += '{';
        appendKey(out, "line");
        out += QByteArray::number(check.stop.line);
        out += ',';
        appendKey(out, "linePos");
        out += QByteArray::number(check.stop.linePos);
        out += ',';
        appendKey(out, "filePos");
        out += QByteArray::number(check.stop.filePos);
        out += ',';
        appendKey(out, "message");
        appendJsonString(out, check.stop.message);
        out += '}';
    }
    out += ',';
    appendKey(out, "errors");
    out += '[';
    for (qsizetype i = 0; i < check.errors.size(); ++i) {
        const TXMLParseErrorItem &e = check.errors.at(i);
        if (i > 0)
            out += ',';
        out += '{';
        appendKey(out, "code");
        out += QByteArray::number(e.FErrorCode);
        out += ',';
        appendKey(out, "reason");
        appendJsonString(out, e.FReason);
        out += ',';
        appendKey(out, "line");
        out += QByteArray::number(e.FLine);
        out += ',';
        appendKey(out, "linepos");
        out += QByteArray::number(e.FLinePos);
        out += ',';
        appendKey(out, "filepos");
        out += QByteArray::number(e.FFilePos);
        out += ',';
        appendKey(out, "xpath");
        appendJsonString(out, e.FXPath);
        out += ',';
        appendKey(out, "srcText");
        appendJsonString(out, e.FSrcText);
        out += '}';
    }
    out += ']';
    if (check.errors.FUnlisted > 0) {
        out += ',';
        appendKey(out, "unlisted");
        out += QByteArray::number(qint64(check.errors.FUnlisted));
    }
    out += "}\n";
    return out;
}

} // namespace checker
