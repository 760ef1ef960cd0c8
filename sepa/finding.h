#pragma once
// What the SEPA rules report: a finding names its rule by a stable code, says what is wrong in German
// and in English and points at the element concerned, with positions counted as the schema report
// counts them (line and position in the line from 1, in UTF-16 units; offset in the text from 0,
// every line break counted as CR LF).

#include <QString>
#include <cstdint>
#include <span>

namespace sepa {

enum class Severity
{
    Warning, // the bank will probably take the file, but it is very likely not what was meant
    Error, // the bank rejects the file or executes it wrongly
};

// "error", "warning".
QString severityName(Severity severity);

// One rule: its code, its severity and its texts with placeholders %1, %2, ... A placeholder may be
// followed by "{one|more}": the first form when its argument is "1", else the second.
struct Rule
{
    const char *code;
    Severity severity;
    const char *german;
    const char *english;
};

enum class RuleId
{
    FileEncoding,
    FileByteOrderMark,
    FileEncodingDeclared,
    TextCharset,
    IbanCountry,
    IbanLength,
    IbanCheckDigits,
    IbanLowerCase,
    IbanOutsideSepa,
    BicFormat,
    BicIbanCountry,
    CreditorIdFormat,
    CreditorIdLength,
    CreditorIdCheckDigits,
    CreditorReferenceCheckDigits,
    LeiCheckDigits,
    GroupNumberOfTransactions,
    GroupControlSum,
    PaymentNumberOfTransactions,
    PaymentControlSum,
    DuplicatePaymentInformationId,
    DuplicateEndToEndId,
    DuplicateInstructionId,
    DuplicateMandateId,
    ExecutionDateBeforeCreation,
    ExecutionDateFarAhead,
    CollectionDateBeforeCreation,
    CollectionDateFarAhead,
    MandateSignedAfterCollection,
    CollectionDateNotBusinessDay,
    MandateSignedAfterCreation,
    DebtorIbanIsCreditorIban,
    CreationDateOld,
    CreationDateFuture,
    MessageIdCheckedBefore,
    PaymentsCheckedBefore,
    PaymentDuplicate,
    EndToEndIdAmounts,
};

// Every rule, in the order of RuleId.
std::span<const Rule> rules();
const Rule &rule(RuleId id);

struct Finding
{
    QString code;
    Severity severity = Severity::Error;
    QString german;
    QString english;
    int32_t line = 1;
    int32_t linePos = 1;
    int32_t filePos = 0;
    QString srcText; // the line the element stands on, trimmed, or an excerpt of a very long one
};

} // namespace sepa
