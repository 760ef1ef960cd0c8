#include "upgradecommand.h"

#include "checker.h"
#include "checkresult.h"

#include "legacy/upgrade.h"
#include "platform/exception.h"
#include "platform/filename.h"
#include "platform/textfile.h"
#include "validation/validationengine.h"

#include <QFileInfo>

#include <new>

namespace checker {

namespace {

void write(std::FILE *f, const QString &text)
{
    const QByteArray bytes = encodeFileName(text); // a name that is not UTF-8 is written as given
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
}

QByteArray notesReport(const std::vector<legacy::UpgradeNote> &notes)
{
    if (notes.empty())
        return QByteArrayLiteral("Upgrade: no notes.\n");
    QByteArray out = "Upgrade: " + QByteArray::number(qsizetype(notes.size()))
        + (notes.size() == 1 ? " note to check\n" : " notes to check\n");
    for (const legacy::UpgradeNote &n : notes) {
        out += QByteArray(70, '-') + '\n';
        out += "Note: " + legacy::noteKindName(n.kind).toUtf8() + '\n';
        out += "Severity: " + sepa::severityName(n.severity).toUtf8() + '\n';
        out += "Reason: " + n.english.toUtf8() + '\n';
        out += "Grund: " + n.german.toUtf8() + '\n';
        out += "SrcText: " + n.srcText.toUtf8() + '\n';
        out += "Line: " + QByteArray::number(n.line) + '\n';
    }
    return out;
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

} // namespace

int runUpgrade(const Options &options, std::FILE *out, std::FILE *err)
{
    const QString name = QStringLiteral("pravik-check");
    const QString source = options.files.first();
    auto refuse = [&](const QString &message) {
        write(err, name + QStringLiteral(": ") + source + QStringLiteral(": ") + message + u'\n');
        return int(SomeRefused);
    };
    legacy::UpgradeResult result;
    try {
        TextEncoding encoding = TextEncoding::Utf8;
        QByteArray utf8 = toUtf8Text(readFileBytes(source), &encoding);
        SchemaCache cache;
        result = legacy::upgrade(utf8, cache);
    } catch (const EFOpenError &e) {
        write(err, name + QStringLiteral(": ") + e.message() + u'\n');
        return SomeRefused;
    } catch (const Exception &e) {
        return refuse(e.message());
    } catch (const std::bad_alloc &) {
        return refuse(QStringLiteral("There is not enough memory to upgrade this file."));
    }

    const QString target
        = options.output.isEmpty() ? legacy::defaultUpgradeName(source, result.to) : options.output;
    QByteArray report = "Upgrade: " + encodeFileName(source) + " (" + result.from.toUtf8() + ") -> "
        + encodeFileName(target) + " (" + result.to.toUtf8() + ")\n";
    report += notesReport(result.notes) + '\n';
    // Positions in the schema report are the upgraded text's, which is written only when it passes.
    report += "Check of the upgraded text:\n";
    // The result's own check, as a check of the written file would report it.
    FileCheck check;
    check.file = target;
    check.read = true;
    check.verdict = result.schemaValid ? Verdict::Valid : Verdict::Invalid;
    check.errors = result.errors;
    check.findings = result.findings;
    check.rulesRun = true;
    report += textReport(check);
    std::fwrite(report.constData(), 1, size_t(report.size()), out);
    std::fflush(out);

    if (!result.passes()) {
        write(err, name + QStringLiteral(": ") + source + QStringLiteral(": ") + result.failure() + u'\n');
        return SomeInvalid;
    }
    if (sameFile(source, target))
        return refuse(QStringLiteral("the upgrade never replaces its source; name another file with -o."));
    // Only a file named on purpose is replaced.
    if (QFileInfo::exists(target) && options.output.isEmpty() && !options.force)
        return refuse(QStringLiteral("%1 exists; name it with -o or add --force to replace it.").arg(target));
    try {
        writeFileAtomically(target, result.text);
    } catch (const Exception &e) {
        write(err, name + QStringLiteral(": ") + e.message() + u'\n');
        return SomeRefused;
    }
    return AllValid;
}

} // namespace checker
