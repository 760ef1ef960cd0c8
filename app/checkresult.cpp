#include "checkresult.h"

#include "legacy/messageversions.h"
#include "platform/filename.h"
#include "sepa/rulespass.h"
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

FileCheck checkBytes(
    const QString &name, const std::function<QByteArray()> &read, SchemaCache &cache, RulesRun rules)
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
        std::optional<sepa::RulesPass> rulesPass;
        if (rules.run || rules.payments) {
            rulesPass.emplace(utf8, check.encoding);
            rulesPass->setHistory(rules.run ? rules.history : nullptr);
        }
        const bool valid
            = ValidationEngine::ValidateXMLUtf8(utf8, errors, &cache, rulesPass ? &*rulesPass : nullptr);
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

FileCheck checkFile(const QString &file, SchemaCache &cache, RulesRun rules)
{
    return checkBytes(
        file, [&] { return readFileBytes(file); }, cache, rules);
}

QString standardInputName()
{
    return QStringLiteral("<stdin>");
}

FileCheck checkStandardInput(SchemaCache &cache, RulesRun rules)
{
    const QString name = standardInputName();
    return checkBytes(
        name, [&] { return readStreamBytes(STDIN_FILENO, name); }, cache, rules);
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

void appendKey(QByteArray &out, const char *key)
{
    out += '"';
    out += key;
    out += "\":";
}

void appendRules(QByteArray &out, const std::vector<sepa::Finding> &findings)
{
    out += ',';
    appendKey(out, "rules");
    out += '[';
    for (size_t i = 0; i < findings.size(); ++i) {
        const sepa::Finding &f = findings[i];
        if (i > 0)
            out += ',';
        out += '{';
        appendKey(out, "code");
        appendJsonString(out, f.code);
        out += ',';
        appendKey(out, "severity");
        appendJsonString(out, sepa::severityName(f.severity));
        out += ',';
        appendKey(out, "reason");
        appendJsonString(out, f.english);
        out += ',';
        appendKey(out, "grund");
        appendJsonString(out, f.german);
        out += ',';
        appendKey(out, "line");
        out += QByteArray::number(f.line);
        out += ',';
        appendKey(out, "linepos");
        out += QByteArray::number(f.linePos);
        out += ',';
        appendKey(out, "filepos");
        out += QByteArray::number(f.filePos);
        out += ',';
        appendKey(out, "srcText");
        appendJsonString(out, f.srcText);
        out += '}';
    }
    out += ']';
}

void appendKnownMessage(QByteArray &out, const FileCheck &check)
{
    if (check.detail.isEmpty())
        return;
    const legacy::KnownMessage m = legacy::knownMessage(check.namespaceUri);
    out += ',';
    appendKey(out, "detail");
    appendJsonString(out, check.detail);
    out += ',';
    appendKey(out, "knownMessage");
    out += '{';
    appendKey(out, "id");
    appendJsonString(out, m.id);
    out += ',';
    appendKey(out, "kind");
    appendJsonString(out, legacy::kindName(m.kind));
    out += ',';
    appendKey(out, "status");
    appendJsonString(out, legacy::statusName(m.status));
    if (!m.upgradeTo.isEmpty()) {
        out += ',';
        appendKey(out, "upgradeTo");
        appendJsonString(out, m.upgradeTo);
    }
    out += '}';
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
    appendKnownMessage(out, check);
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
    if (check.rulesRun) {
        appendRules(out, check.findings);
        out += ",\"rulesErrors\":" + QByteArray::number(check.ruleErrors);
        out += ",\"rulesWarnings\":" + QByteArray::number(check.ruleWarnings);
    }
    if (check.rulesUnlisted > 0)
        out += ",\"rulesStoppedEarly\":true,\"rulesUnlisted\":" + QByteArray::number(check.rulesUnlisted);
    out += "}\n";
    return out;
}

} // namespace checker
