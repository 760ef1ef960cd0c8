#pragma once
// The history of checked payment files, so that a file sent twice is noticed: for every checked file
// its MsgId, a hash of its payments and when it was checked, and nothing else of it. One small file,
// check-history.json, in the per-user settings folder (SettingsFolder(), which tests point at a
// folder of their own); at most kMaxEntries entries of the last kKeepDays days. Deleting the file
// forgets everything.
//
// Rules:
// - Lookups work on a snapshot read once (load), so that several threads may read it at once and a
//   run judges every file against the same past.
// - record is a read-modify-write of the whole file under a cross-process lock, written to a
//   temporary file and renamed over the old one; it never throws, a failure is its returned message.
// - A file that cannot be read as a history counts as empty and is replaced at the next record.

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>
#include <vector>

namespace sepa {

class History
{
public:
    struct Entry
    {
        QByteArray messageId;
        QByteArray paymentsHash; // hexadecimal
        QDateTime checked; // UTC
    };

    static constexpr int kMaxEntries = 5000;
    static constexpr int kKeepDays = 400;

    static QString fileName();

    // The store as it is now; empty when there is none or it cannot be read.
    static History load();

    // The earliest entry with this MsgId, or with these payments. Entries of the very same file (same
    // MsgId and payments) checked at or after ignoreSameSince are passed over: a window checking its
    // file again after an edit is not sending it twice. An invalid ignoreSameSince passes over nothing.
    const Entry *findMessageId(const QByteArray &messageId, const QByteArray &paymentsHash,
        const QDateTime &ignoreSameSince = {}) const;
    const Entry *findPayments(const QByteArray &messageId, const QByteArray &paymentsHash,
        const QDateTime &ignoreSameSince = {}) const;

    // Adds entries to the stored history and drops what falls out of its bounds. Returns an empty text,
    // or why the history could not be written.
    static QString record(const std::vector<Entry> &entries);

    const std::vector<Entry> &entries() const { return m_entries; }

private:
    static std::vector<Entry> read(const QString &file);
    const Entry *find(const std::function<bool(const Entry &)> &matches, const QByteArray &messageId,
        const QByteArray &paymentsHash, const QDateTime &ignoreSameSince) const;
    std::vector<Entry> m_entries; // oldest first
};

} // namespace sepa
