#include "upgradecommand.h"

#include "checker.h"
#include "checkresult.h"

#include "legacy/upgrade.h"
#include "platform/exception.h"
#include "platform/filename.h"
#include "platform/textfile.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <QFileInfo>

#include <memory>
#include <new>

#ifdef __GLIBC__
#include <malloc.h>
#endif

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
    QString target = options.output;
    // The result is written beside its target as it is produced and checked as a check reads a file,
    // so memory stays the source's and then the result's, never both; it replaces the target only
    // when it passes, otherwise the temporary file goes.
    std::unique_ptr<AtomicFile> file;
    QByteArray notes; // their report, printed before the check's
    try {
        {
            TextEncoding encoding = TextEncoding::Utf8;
            const QByteArray utf8 = toUtf8Text(readFileBytes(source), &encoding);
            const QString to = legacy::upgradeTarget(xmlservices::firstNamespace(utf8));
            if (to.isEmpty())
                legacy::transform(utf8, result.notes); // throws, saying why; before any file is made
            if (target.isEmpty())
                target = legacy::defaultUpgradeName(source, to);
            file = std::make_unique<AtomicFile>(target);
            const legacy::TextSink sink
                = [&](QByteArrayView piece) { file->write(piece.data(), piece.size()); };
            legacy::transform(utf8, sink, result.notes, &result.from, &result.to);
        }
        file->finish();
        notes = notesReport(result.notes);
        std::vector<legacy::UpgradeNote>().swap(result.notes);
#ifdef __GLIBC__
        // The notes were many small blocks; without this their pages stay resident beside the result.
        ::malloc_trim(0);
#endif
        SchemaCache cache;
        legacy::checkUpgraded(readFileBytes(file->writtenPath()), result, cache);
    } catch (const EFOpenError &e) {
        write(err, name + QStringLiteral(": ") + e.message() + u'\n');
        return SomeRefused;
    } catch (const EFCreateError &e) {
        write(err, name + QStringLiteral(": ") + e.message() + u'\n');
        return SomeRefused;
    } catch (const Exception &e) {
        return refuse(e.message());
    } catch (const std::bad_alloc &) {
        return refuse(QStringLiteral("There is not enough memory to upgrade this file."));
    }

    QByteArray report = "Upgrade: " + encodeFileName(source) + " (" + result.from.toUtf8() + ") -> "
        + encodeFileName(target) + " (" + result.to.toUtf8() + ")\n";
    report += notes + '\n';
    notes = QByteArray();
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
        file->commit();
    } catch (const Exception &e) {
        write(err, name + QStringLiteral(": ") + e.message() + u'\n');
        return SomeRefused;
    }
    return AllValid;
}

} // namespace checker
