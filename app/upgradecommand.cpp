#include "upgradecommand.h"

#include "checker.h"
#include "checkresult.h"

#include "legacy/upgrade.h"
#include "platform/exception.h"
#include "platform/filename.h"
#include "platform/textfile.h"
#include "validation/mappedfile.h"
#include "validation/validationengine.h"
#include "validation/xmlservices.h"

#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>
#include <QThread>

#include <memory>
#include <new>

namespace checker {

namespace {

void write(std::FILE *f, const QString &text)
{
    const QByteArray bytes = encodeFileName(text); // a name that is not UTF-8 is written as given
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), f);
}

QByteArray noteText(const legacy::UpgradeNote &n)
{
    QByteArray out = QByteArray(70, '-') + '\n';
    out += "Note: " + legacy::noteKindName(n.kind).toUtf8() + '\n';
    out += "Severity: " + sepa::severityName(n.severity).toUtf8() + '\n';
    out += "Reason: " + n.english.toUtf8() + '\n';
    out += "Grund: " + n.german.toUtf8() + '\n';
    out += "SrcText: " + n.srcText.toUtf8() + '\n';
    out += "Line: " + QByteArray::number(n.line) + '\n';
    return out;
}

// The notes' report as the notes come, printed after the upgrade under their count: a file with many
// changed addresses has as many notes, so past a small size their text goes to a temporary file
// instead of staying in memory.
class NotesSpool
{
public:
    void add(const legacy::UpgradeNote &note)
    {
        ++m_count;
        m_text += noteText(note);
        if (m_text.size() >= kInMemory)
            spill();
    }

    // "Upgrade: N notes to check" and the notes, in the order they came.
    void print(std::FILE *out)
    {
        const QByteArray head = m_count == 0 ? QByteArrayLiteral("Upgrade: no notes.\n")
                                             : "Upgrade: " + QByteArray::number(m_count)
                + (m_count == 1 ? " note to check\n" : " notes to check\n");
        std::fwrite(head.constData(), 1, size_t(head.size()), out);
        if (m_file) {
            m_file->seek(0);
            QByteArray piece;
            while (!(piece = m_file->read(qint64(1) << 16)).isEmpty())
                std::fwrite(piece.constData(), 1, size_t(piece.size()), out);
        }
        std::fwrite(m_text.constData(), 1, size_t(m_text.size()), out);
        m_text.clear();
    }

private:
    static constexpr qsizetype kInMemory = qsizetype(1) << 20;

    void spill()
    {
        if (!m_file) {
            m_file = std::make_unique<QTemporaryFile>();
            if (!m_file->open())
                throw EFCreateError(QStringLiteral("Cannot keep the upgrade's notes in a temporary file: %1.")
                                        .arg(m_file->errorString()));
        }
        if (m_file->write(m_text) != m_text.size())
            throw EFCreateError(QStringLiteral("Cannot keep the upgrade's notes in a temporary file: %1.")
                                    .arg(m_file->errorString()));
        m_text.clear();
    }

    qsizetype m_count = 0;
    QByteArray m_text; // the notes not yet spilled
    std::unique_ptr<QTemporaryFile> m_file;
};

// A result kept although it failed says so at its end, where the line numbers of its report stay
// true, also when it is renamed.
void markFailed(const QString &path)
{
    QFile f(path);
    const QByteArray mark = "<!-- pravik-check: this upgraded file did NOT pass the check (see its report); "
                            "correct it and check it again before it goes to a bank. -->\n";
    if (!f.open(QIODevice::WriteOnly | QIODevice::Append) || f.write(mark) != mark.size() || !f.flush())
        throw EFCreateError(QStringLiteral("Cannot save \"%1\": %2.").arg(path, f.errorString()));
}

bool sameFile(const QString &a, const QString &b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return fa.absoluteFilePath() == fb.absoluteFilePath();
}

} // namespace

QString keptFailedName(const QString &target)
{
    QString name = target;
    if (name.endsWith(QStringLiteral(".xml"), Qt::CaseInsensitive))
        name.chop(4);
    return name + QStringLiteral(".failed.xml");
}

int runUpgrade(const Options &options, std::FILE *out, std::FILE *err)
{
    const QString name = QStringLiteral("pravik-check");
    const QString source = options.files.first();
    auto refuse = [&](const QString &message) {
        write(err, name + QStringLiteral(": ") + source + QStringLiteral(": ") + message + u'\n');
        return int(SomeRefused);
    };
    QString from, to;
    QString target = options.output;
    // The source is mapped, the result written beside its target as it is produced and the notes
    // spooled, so that memory holds the source and a piece of the result; then the written file is
    // checked as a check of it would be (in parts on several threads), and it replaces the target
    // only when it passes. Otherwise the temporary file goes.
    std::unique_ptr<AtomicFile> file;
    NotesSpool notes;
    FileCheck check;
    try {
        {
            MappedFile mapped;
            TextEncoding encoding = TextEncoding::Utf8;
            const QByteArray utf8 = toUtf8Text(mapped.open(source), &encoding);
            to = legacy::upgradeTarget(xmlservices::firstNamespace(utf8));
            if (to.isEmpty()) {
                std::vector<legacy::UpgradeNote> none;
                legacy::transform(utf8, none); // throws, saying why; before any file is made
            }
            if (target.isEmpty())
                target = legacy::defaultUpgradeName(source, to);
            file = std::make_unique<AtomicFile>(target);
            legacy::transform(
                utf8, [&](QByteArrayView piece) { file->write(piece.data(), piece.size()); },
                [&](legacy::UpgradeNote &&n) { notes.add(n); }, &from, &to);
            if (mapped.changedWhileRead())
                return refuse(MappedFile::changedMessage(source));
        }
        file->finish();
        SchemaCache cache;
        const int jobs = options.jobs > 0 ? options.jobs : QThread::idealThreadCount();
        check = checkFile(file->writtenPath(), cache, RulesRun { true, nullptr, false }, jobs);
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
    // A source that is not XML enough may still be rewritten: its result is then refused as one.
    if (check.verdict == Verdict::Refused && check.stop.line > 0)
        return refuse(
            QStringLiteral("The file is not well-formed XML (line %1, position %2: %3); it cannot be "
                           "upgraded.")
                .arg(check.stop.line)
                .arg(check.stop.linePos)
                .arg(check.stop.message));
    if (check.verdict == Verdict::Refused || check.verdict == Verdict::Unreadable)
        return refuse(check.message);
    check.file = target;

    QByteArray head = "Upgrade: " + encodeFileName(source) + " (" + from.toUtf8() + ") -> "
        + encodeFileName(target) + " (" + to.toUtf8() + ")\n";
    std::fwrite(head.constData(), 1, size_t(head.size()), out);
    try {
        notes.print(out);
    } catch (const Exception &e) {
        return refuse(e.message());
    }
    // Positions in the schema report are the upgraded text's, which is written only when it passes.
    // The result's own check, as a check of the written file with the rules would report it.
    const QByteArray report = "\nCheck of the upgraded text:\n" + textReport(check);
    std::fwrite(report.constData(), 1, size_t(report.size()), out);
    std::fflush(out);

    const bool passes = check.verdict == Verdict::Valid && !check.hasRuleErrors();
    if (!passes) {
        const QString why = check.verdict != Verdict::Valid
            ? QStringLiteral("The upgraded file would not pass the bank schema (%1 error(s))")
                  .arg(check.errors.size() + qsizetype(check.errors.FUnlisted))
            : QStringLiteral("The upgraded file breaks SEPA rules the bank checks");
        auto fail = [&](const QString &what) {
            write(err, name + QStringLiteral(": ") + source + QStringLiteral(": ") + why + what + u'\n');
            return int(SomeInvalid);
        };
        if (!options.keepFailed)
            return fail(QStringLiteral("; nothing was written."));
        // Kept to be corrected by hand, under a name that says so and never the target's.
        const QString kept = keptFailedName(target);
        if (sameFile(source, kept))
            return refuse(
                QStringLiteral("the upgrade never replaces its source; name another file with -o."));
        if (QFileInfo::exists(kept) && !options.force)
            return fail(QStringLiteral("; %1 exists, add --force to replace it.").arg(kept));
        try {
            markFailed(file->writtenPath());
            file->commitAs(kept);
        } catch (const Exception &e) {
            write(err, name + QStringLiteral(": ") + e.message() + u'\n');
            return SomeRefused;
        }
        return fail(
            QStringLiteral("; it was written as %1 to be corrected by hand, not for a bank.").arg(kept));
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
