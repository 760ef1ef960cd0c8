#pragma once
// The ISO 20022 messages a payment file may be written in, beyond the two the bank schemas cover:
// what each is, whether German banks take it, and which version an upgrade leads to. Data only, so
// that the window and pravik-check explain a refusal in the same words.

#include <QString>

namespace legacy {

enum class MessageKind
{
    CreditTransfer,
    DirectDebit,
    StatusReport,
    AccountReport,
    Statement,
    Notification,
};

enum class MessageStatus
{
    Retired, // German banks no longer take it
    NotYetTaken, // newer than the version German banks take
    NotPaymentOrder, // a bank's report, never sent to a bank as an order
};

struct KnownMessage
{
    QString id; // "pain.001.003.03", taken from the namespace
    MessageKind kind = MessageKind::CreditTransfer;
    MessageStatus status = MessageStatus::Retired;
    QString english; // "credit transfer, German DK format up to 2016"
    QString german; // "Überweisung, deutsches DK-Format bis 2016"
    QString upgradeTo; // the message an upgrade writes, empty when there is none
};

// The message of a document's root namespace ("urn:iso:std:iso:20022:tech:xsd:pain.001.003.03");
// nullopt-like: an empty id when the namespace is not one of the known ones.
KnownMessage knownMessage(const QString &namespaceUri);

// "credit transfer", "direct debit", ... and their German words.
QString kindName(MessageKind kind);
QString statusName(MessageStatus status); // "retired", "not yet taken", "not a payment order"

// One sentence for a person, in English for pravik-check and in German for the window: the message,
// what it is, why banks will not take it and, where there is one, the upgrade. Empty for an unknown
// namespace.
QString refusalDetail(const QString &namespaceUri);
QString refusalDetailGerman(const QString &namespaceUri);

// The namespace URI of a message id.
QString namespaceOf(const QString &messageId);

} // namespace legacy
