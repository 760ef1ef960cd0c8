#include "history.h"

#include "platform/settingsstore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLockFile>
#include <QSaveFile>

#include <algorithm>

namespace sepa {

namespace {

const QLatin1StringView kFormat("pravik-check-history");
constexpr int kLockTimeoutMs = 10000;
// A MsgId has at most 35 characters and a hash 64; anything longer is not ours.
constexpr qsizetype kMaxField = 128;

bool sameFileSince(const History::Entry &e, const QByteArray &messageId, const QByteArray &paymentsHash,
    const QDateTime &since)
{
    return since.isValid() && e.checked >= since && e.messageId == messageId
        && e.paymentsHash == paymentsHash;
}

} // namespace

QString History::fileName()
{
    return SettingsFolder() + QStringLiteral("/check-history.json");
}

std::vector<History::Entry> History::read(const QString &file)
{
    std::vector<Entry> entries;
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        return entries;
    // Bounded by kMaxEntries, so a few hundred kilobytes; a larger file is not ours.
    if (f.size() > qint64(kMaxEntries) * 512)
        return entries;
    const QJsonDocument doc = QJsonDocument::fromJson(f.readAll());
    if (!doc.isObject() || doc.object().value(QLatin1StringView("format")).toString() != kFormat)
        return entries;
    for (const QJsonValue &v : doc.object().value(QLatin1StringView("entries")).toArray()) {
        const QJsonObject o = v.toObject();
        Entry e;
        e.messageId = o.value(QLatin1StringView("msgId")).toString().toUtf8();
        e.paymentsHash = o.value(QLatin1StringView("payments")).toString().toLatin1();
        e.checked = QDateTime::fromString(o.value(QLatin1StringView("checked")).toString(), Qt::ISODate);
        if (!e.checked.isValid() || e.messageId.size() > kMaxField || e.paymentsHash.size() > kMaxField)
            continue;
        entries.push_back(std::move(e));
    }
    return entries;
}

History History::load()
{
    History h;
    h.m_entries = read(fileName());
    return h;
}

const History::Entry *History::findMessageId(
    const QByteArray &messageId, const QByteArray &paymentsHash, const QDateTime &ignoreSameSince) const
{
    return find(
        [&](const Entry &e) { return e.messageId == messageId; }, messageId, paymentsHash, ignoreSameSince);
}

const History::Entry *History::findPayments(
    const QByteArray &messageId, const QByteArray &paymentsHash, const QDateTime &ignoreSameSince) const
{
    return find([&](const Entry &e) { return e.paymentsHash == paymentsHash; }, messageId, paymentsHash,
        ignoreSameSince);
}

const History::Entry *History::find(const std::function<bool(const Entry &)> &matches,
    const QByteArray &messageId, const QByteArray &paymentsHash, const QDateTime &ignoreSameSince) const
{
    if (messageId.isEmpty() || paymentsHash.isEmpty())
        return nullptr;
    for (const Entry &e : m_entries) {
        if (matches(e) && !sameFileSince(e, messageId, paymentsHash, ignoreSameSince))
            return &e;
    }
    return nullptr;
}

QString History::record(const std::vector<Entry> &entries)
{
    if (entries.empty())
        return {};
    const QString file = fileName();
    if (!QDir().mkpath(QFileInfo(file).absolutePath()))
        return QStringLiteral("the folder of %1 cannot be made").arg(file);
    QLockFile lock(file + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockTimeoutMs))
        return QStringLiteral("%1 is locked by another program").arg(file);

    std::vector<Entry> all = read(file);
    for (const Entry &e : entries) {
        if (e.checked.isValid() && e.messageId.size() <= kMaxField && e.paymentsHash.size() <= kMaxField)
            all.push_back(e);
    }
    std::stable_sort(
        all.begin(), all.end(), [](const Entry &a, const Entry &b) { return a.checked < b.checked; });
    const QDateTime oldest = all.back().checked.addDays(-kKeepDays);
    all.erase(all.begin(),
        std::find_if(all.begin(), all.end(), [&](const Entry &e) { return e.checked >= oldest; }));
    if (all.size() > size_t(kMaxEntries))
        all.erase(all.begin(), all.end() - kMaxEntries);

    QJsonArray array;
    for (const Entry &e : all) {
        array.append(QJsonObject { { QStringLiteral("msgId"), QString::fromUtf8(e.messageId) },
            { QStringLiteral("payments"), QString::fromLatin1(e.paymentsHash) },
            { QStringLiteral("checked"), e.checked.toUTC().toString(Qt::ISODate) } });
    }
    const QJsonObject root { { QStringLiteral("format"), QString(kFormat) },
        { QStringLiteral("entries"), array } };
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(QJsonDocument(root).toJson(QJsonDocument::Compact)) < 0
        || !out.commit())
        return QStringLiteral("%1 cannot be written: %2").arg(file, out.errorString());
    return {};
}

} // namespace sepa
