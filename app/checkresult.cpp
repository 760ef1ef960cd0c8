#include "checkresult.h"

#include "legacy/messageversions.h"
#include "platform/filename.h"
#include "sepa/rulespass.h"
#include "validation/chunkedvalidation.h"
#include "validation/mappedfile.h"
#include "validation/validationengine.h"

#include <algorithm>
#include <functional>
#include <new>
#include <optional>
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

FileCheck checkBytes(const QString &name, const std::function<QByteArray()> &read, SchemaCache &cache,
    RulesRun rules, int jobs)
{
    FileCheck check;
    check.file = name;
    try {
        QByteArray utf8;
        {
            // The raw bytes go as soon as the text exists; a UTF-8 file shares them and is not copied.
            const QByteArray bytes = read();
            // The schema compiles while the text is checked; the namespace is probed again on the
            // text, so a guess from the raw bytes that is wrong only costs time.
            utf8 = xmlservices::toUtf8TextOnThreads(bytes, &check.encoding, jobs, [&] {
                const QString ns = xmlservices::firstNamespace(bytes);
                if (!ns.isEmpty())
                    cache.schema(ValidationEngine::resourceNameForNamespace(ns));
            });
        }
        check.read = true;
        std::unique_ptr<TXMLParseErrors> errors;
        std::optional<sepa::RulesPass> rulesPass;
        if (rules.run || rules.payments) {
            rulesPass.emplace(utf8, check.encoding);
            rulesPass->setHistory(rules.run ? rules.history : nullptr);
        }
        const bool valid = ValidationEngine::ValidateXMLUtf8(
            utf8, errors, &cache, rulesPass ? &*rulesPass : nullptr, xmlservices::ChunkedRun { jobs, 0, {} });
        if (rulesPass && rules.payments) {
            std::vector<sepa::Finding> findings = rulesPass->finish();
            check.payments = std::make_shared<const sepa::Payments>(rulesPass->takePayments());
            if (rules.run)
                check.findings = std::move(findings);
        }
        if (rulesPass && rules.run) {
            if (!rules.payments)
                check.findings = rulesPass->finish();
            check.ruleErrors = rulesPass->errorCount();
            check.ruleWarnings = rulesPass->warningCount();
            check.rulesUnlisted = rulesPass->unlisted();
            check.historyEntry = rulesPass->historyEntry();
            check.rulesRun = true;
        }
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
        check.namespaceUri = e.namespaceUri();
        check.detail = legacy::refusalDetail(check.namespaceUri);
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

FileCheck checkFile(const QString &file, SchemaCache &cache, RulesRun rules, int jobs)
{
    MappedFile mapped;
    FileCheck check = checkBytes(
        file, [&] { return mapped.open(file); }, cache, rules, jobs);
    if (mapped.changedWhileRead()) {
        check = FileCheck();
        check.file = file;
        check.message = MappedFile::changedMessage(file);
    }
    return check;
}

QString standardInputName()
{
    return QStringLiteral("<stdin>");
}

FileCheck checkStandardInput(SchemaCache &cache, RulesRun rules, int jobs)
{
    const QString name = standardInputName();
    return checkBytes(
        name, [&] { return readStreamBytes(STDIN_FILENO, name); }, cache, rules, jobs);
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
    if (check.rulesRun)
        out += '\n' + rulesReport(check);
    return out;
}

QByteArray rulesReport(const FileCheck &check)
{
    const qsizetype errors = check.ruleErrors;
    const qsizetype warnings = check.ruleWarnings;
    if (errors + warnings == 0)
        return QByteArrayLiteral("SEPA rules: no findings.\n");
    auto counted = [](qsizetype n, const char *what) {
        return QByteArray::number(n) + ' ' + what + (n == 1 ? "" : "s");
    };
    QByteArray out = "SEPA rules: " + counted(errors + warnings, "finding") + " (" + counted(errors, "error")
        + ", " + counted(warnings, "warning") + ")"
        + (check.rulesUnlisted > 0 ? "; " + QByteArray::number(check.rulesUnlisted)
                    + " not listed, the list keeps errors before warnings"
                                   : QByteArray())
        + '\n';
    for (const sepa::Finding &f : check.findings) {
        out += QByteArray(70, '-') + '\n';
        out += "Rule: " + f.code.toUtf8() + '\n';
        out += "Severity: " + sepa::severityName(f.severity).toUtf8() + '\n';
        out += "Reason: " + reportField(f.english).toUtf8() + '\n';
        out += "Grund: " + reportField(f.german).toUtf8() + '\n';
        out += "SrcText: " + reportField(f.srcText).toUtf8() + '\n';
        out += "Line: " + QByteArray::number(f.line) + '\n';
        out += "LinePos: " + QByteArray::number(f.linePos) + '\n';
        out += "FilePos: " + QByteArray::number(f.filePos) + '\n';
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

// The parser's stop has always spelt its position keys in camel case, the errors and findings not.
enum class PositionKeys
{
    Lower,
    Camel
};

// One JSON object written member by member, in the order they are given, with the commas between.
class JsonObject
{
public:
    explicit JsonObject(QByteArray &out)
        : fOut(out)
    {
        fOut += '{';
    }
    JsonObject(const JsonObject &) = delete;
    JsonObject &operator=(const JsonObject &) = delete;

    // The next member's key; the caller writes its value.
    QByteArray &key(const char *name)
    {
        if (!fFirst)
            fOut += ',';
        fFirst = false;
        fOut += '"';
        fOut += name;
        fOut += "\":";
        return fOut;
    }
    void string(const char *name, const QString &value) { appendJsonString(key(name), value); }
    void number(const char *name, qint64 value) { key(name) += QByteArray::number(value); }
    void position(qint32 line, qint32 linePos, qint32 filePos, PositionKeys keys = PositionKeys::Lower)
    {
        const bool camel = keys == PositionKeys::Camel;
        number("line", line);
        number(camel ? "linePos" : "linepos", linePos);
        number(camel ? "filePos" : "filepos", filePos);
    }
    void close() { fOut += '}'; }

private:
    QByteArray &fOut;
    bool fFirst = true;
};

// "[item,item]" under name, each item an object filled by write.
template <typename List, typename Write>
void appendArray(JsonObject &object, const char *name, const List &items, Write write)
{
    QByteArray &out = object.key(name);
    out += '[';
    bool first = true;
    for (const auto &item : items) {
        if (!first)
            out += ',';
        first = false;
        JsonObject o(out);
        write(o, item);
        o.close();
    }
    out += ']';
}

void appendKnownMessage(JsonObject &record, const FileCheck &check)
{
    if (check.detail.isEmpty())
        return;
    const legacy::KnownMessage m = legacy::knownMessage(check.namespaceUri);
    record.string("detail", check.detail);
    JsonObject o(record.key("knownMessage"));
    o.string("id", m.id);
    o.string("kind", legacy::kindName(m.kind));
    o.string("status", legacy::statusName(m.status));
    if (!m.upgradeTo.isEmpty())
        o.string("upgradeTo", m.upgradeTo);
    o.close();
}

} // namespace

// Written by hand rather than through QJsonObject so that the keys keep a readable order.
QByteArray jsonRecord(const FileCheck &check)
{
    QByteArray out;
    out.reserve(128 + check.errors.size() * 256);
    JsonObject record(out);
    record.string("file", displayFileName(check.file));
    if (hasRawBytes(check.file)) {
        // JSON holds Unicode only: a name that is not UTF-8 is given exactly as its bytes.
        record.string("fileBytes", QString::fromLatin1(encodeFileName(check.file).toBase64()));
    }
    record.string("verdict", verdictName(check.verdict));
    if (check.read)
        record.string("encoding", encodingName(check.encoding));
    if (!check.message.isEmpty())
        record.string("message", displayFileName(check.message));
    if (check.stop.line > 0) {
        JsonObject stop(record.key("stop"));
        stop.position(check.stop.line, check.stop.linePos, check.stop.filePos, PositionKeys::Camel);
        stop.string("message", check.stop.message);
        stop.close();
    }
    appendKnownMessage(record, check);
    appendArray(record, "errors", check.errors, [](JsonObject &o, const TXMLParseErrorItem &e) {
        o.number("code", e.FErrorCode);
        o.string("reason", e.FReason);
        o.position(e.FLine, e.FLinePos, e.FFilePos);
        o.string("xpath", e.FXPath);
        o.string("srcText", e.FSrcText);
    });
    if (check.errors.FUnlisted > 0)
        record.number("unlisted", check.errors.FUnlisted);
    if (check.rulesRun) {
        appendArray(record, "rules", check.findings, [](JsonObject &o, const sepa::Finding &f) {
            o.string("code", f.code);
            o.string("severity", sepa::severityName(f.severity));
            o.string("reason", f.english);
            o.string("grund", f.german);
            o.position(f.line, f.linePos, f.filePos);
            o.string("srcText", f.srcText);
        });
        record.number("rulesErrors", check.ruleErrors);
        record.number("rulesWarnings", check.ruleWarnings);
    }
    if (check.rulesUnlisted > 0) {
        record.key("rulesStoppedEarly") += "true";
        record.number("rulesUnlisted", check.rulesUnlisted);
    }
    record.close();
    out += '\n';
    return out;
}

} // namespace checker
