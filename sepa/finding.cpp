#include "finding.h"

#include <iterator>

namespace sepa {

namespace {

// The codes are part of pravik-check's output: they never change once released.
constexpr Rule kRules[] = {
    { "FILE-ENCODING", Severity::Error, "Die Datei ist als %1 gespeichert; SEPA-Dateien müssen UTF-8 sein.",
        "The file is stored as %1; SEPA files must be UTF-8." },
    { "FILE-BOM", Severity::Error,
        "Die Datei beginnt mit einer Byte-Order-Mark (BOM), die SEPA-Dateien nicht tragen dürfen.",
        "The file begins with a byte-order mark, which SEPA files must not carry." },
    { "FILE-ENCODING-DECLARED", Severity::Error,
        "Die XML-Deklaration nennt die Kodierung %1, die Datei ist aber als %2 gespeichert; die Bank liest "
        "Umlaute dann falsch. SEPA-Dateien sind UTF-8 und erklären encoding=\"UTF-8\".",
        "The XML declaration names the encoding %1, but the file is stored as %2; the bank then reads "
        "umlauts wrongly. SEPA files are UTF-8 and declare encoding=\"UTF-8\"." },
    { "TEXT-CHARSET", Severity::Error, "Das Zeichen %1 in <%2> gehört nicht zum Zeichensatz der DK.",
        "The character %1 in <%2> is not in the DK character set." },
    { "IBAN-COUNTRY", Severity::Error, "IBAN %1: Für das Land %2 gibt es im IBAN-Register keine IBAN.",
        "IBAN %1: the IBAN registry has no IBAN for the country %2." },
    { "IBAN-LENGTH", Severity::Error, "IBAN %1 hat %2 Zeichen; eine IBAN aus %3 hat %4.",
        "IBAN %1 has %2 characters; an IBAN of %3 has %4." },
    { "IBAN-CHECKDIGITS", Severity::Error,
        "IBAN %1: Die Prüfziffern stimmen nicht (Rest modulo 97 ist %2 statt 1); vermutlich ist sie "
        "vertippt.",
        "IBAN %1: the check digits are wrong (remainder modulo 97 is %2, not 1); it is probably mistyped." },
    { "IBAN-LOWERCASE", Severity::Error,
        "IBAN %1 enthält Kleinbuchstaben; in Zahlungsdateien steht die IBAN in Großbuchstaben.",
        "IBAN %1 holds lower-case letters; payment files carry IBANs in capitals." },
    { "IBAN-NON-SEPA", Severity::Warning,
        "IBAN %1 gehört zum Land %2, das nicht zum SEPA-Raum gehört; SEPA-Zahlungen dorthin sind nicht "
        "möglich.",
        "IBAN %1 belongs to the country %2, which is outside the SEPA scheme area; SEPA payments cannot "
        "reach it." },
    { "BIC-FORMAT", Severity::Error,
        "BIC %1 ist nicht aufgebaut aus Institut (4), Land (2), Ort (2) und wahlweise Filiale (3).",
        "BIC %1 is not made of institution (4), country (2), location (2) and optionally branch (3)." },
    { "BIC-IBAN-COUNTRY", Severity::Warning, "BIC %1 gehört zum Land %2, die IBAN %3 desselben Kontos zu %4.",
        "BIC %1 belongs to the country %2, the IBAN %3 of the same account to %4." },
    { "CI-FORMAT", Severity::Error,
        "Gläubiger-Identifikationsnummer %1 ist nicht aufgebaut aus Land, Prüfziffern, Geschäftsbereich und "
        "nationaler Kennung.",
        "Creditor identifier %1 is not made of country, check digits, business code and national "
        "identifier." },
    { "CI-LENGTH", Severity::Error,
        "Gläubiger-Identifikationsnummer %1 hat %2 Zeichen; eine deutsche hat 18.",
        "Creditor identifier %1 has %2 characters; a German one has 18." },
    { "CI-CHECKDIGITS", Severity::Error,
        "Gläubiger-Identifikationsnummer %1: Die Prüfziffern stimmen nicht (richtig wäre %2).",
        "Creditor identifier %1: the check digits are wrong (they would be %2)." },
    { "RF-CHECKDIGITS", Severity::Error,
        "Strukturierte Gläubigerreferenz %1: Die Prüfziffern nach ISO 11649 stimmen nicht (richtig wäre %2).",
        "Structured creditor reference %1: the ISO 11649 check digits are wrong (they would be %2)." },
    { "LEI-CHECKDIGITS", Severity::Error,
        "LEI %1: Die Prüfziffern nach ISO 17442 stimmen nicht (richtig wäre %2).",
        "LEI %1: the ISO 17442 check digits are wrong (they would be %2)." },
    { "GRPHDR-NBOFTXS", Severity::Error,
        "NbOfTxs im Gruppenkopf nennt %1{ Transaktion| Transaktionen}; die Datei enthält %2.",
        "NbOfTxs of the group header says %1{ transaction| transactions}; the file holds %2." },
    { "GRPHDR-CTRLSUM", Severity::Error,
        "CtrlSum im Gruppenkopf nennt %1; die Beträge der Transaktionen ergeben zusammen %2.",
        "CtrlSum of the group header says %1; the amounts of the transactions add up to %2." },
    { "PMTINF-NBOFTXS", Severity::Error,
        "NbOfTxs des Sammlers %3 nennt %1{ Transaktion| Transaktionen}; er enthält %2.",
        "NbOfTxs of payment information %3 says %1{ transaction| transactions}; it holds %2." },
    { "PMTINF-CTRLSUM", Severity::Error,
        "CtrlSum des Sammlers %3 nennt %1; die Beträge seiner Transaktionen ergeben zusammen %2.",
        "CtrlSum of payment information %3 says %1; the amounts of its transactions add up to %2." },
    { "DUPLICATE-PMTINFID", Severity::Error,
        "PmtInfId %1 steht schon in Zeile %2; sie muss in der Datei eindeutig sein.",
        "PmtInfId %1 already stands in line %2; it must be unique within the file." },
    { "DUPLICATE-ENDTOENDID", Severity::Warning,
        "EndToEndId %1 steht schon in Zeile %2; wird dieselbe Zahlung doppelt ausgeführt?",
        "EndToEndId %1 already stands in line %2; is the same payment made twice?" },
    { "DUPLICATE-INSTRID", Severity::Warning,
        "InstrId %1 steht schon in Zeile %2; sie sollte eindeutig sein.",
        "InstrId %1 already stands in line %2; it should be unique." },
    { "DUPLICATE-MNDTID", Severity::Warning,
        "Mandat %1 wird in diesem Sammler schon in Zeile %2 eingezogen; wird doppelt abgebucht?",
        "Mandate %1 is already collected in this payment information, in line %2; is it debited twice?" },
    { "EXECUTION-DATE-PAST", Severity::Warning,
        "Ausführungsdatum %1 liegt vor dem Erstellungsdatum der Datei (%2); die Bank führt frühestens am "
        "nächsten Geschäftstag aus.",
        "Requested execution date %1 is before the file's creation date (%2); the bank executes on the "
        "next business day at the earliest." },
    { "EXECUTION-DATE-FAR", Severity::Warning,
        "Ausführungsdatum %1 liegt mehr als %3 Tage nach dem Erstellungsdatum der Datei (%2).",
        "Requested execution date %1 is more than %3 days after the file's creation date (%2)." },
    { "COLLECTION-DATE-PAST", Severity::Error,
        "Fälligkeitsdatum %1 liegt vor dem Erstellungsdatum der Datei (%2).",
        "Requested collection date %1 is before the file's creation date (%2)." },
    { "COLLECTION-DATE-FAR", Severity::Warning,
        "Fälligkeitsdatum %1 liegt mehr als %3 Tage nach dem Erstellungsdatum der Datei (%2); Lastschriften "
        "werden höchstens %3 Kalendertage vor Fälligkeit eingereicht.",
        "Requested collection date %1 is more than %3 days after the file's creation date (%2); direct "
        "debits are presented at most %3 calendar days before they fall due." },
    { "MANDATE-SIGNED-AFTER-COLLECTION", Severity::Error,
        "Mandat %1 ist am %2 unterschrieben, nach dem Fälligkeitsdatum %3.",
        "Mandate %1 was signed on %2, after the collection date %3." },
    { "COLLECTION-DATE-HOLIDAY", Severity::Warning,
        "Fälligkeitsdatum %1 ist kein TARGET2-Geschäftstag (%2); die Lastschrift wird frühestens am nächsten "
        "Geschäftstag fällig.",
        "Requested collection date %1 is no TARGET2 business day (%3); the direct debit falls due on the "
        "next business day at the earliest." },
    { "MANDATE-SIGNED-AFTER-CREATION", Severity::Error,
        "Mandat %1 ist am %2 unterschrieben, nach dem Erstellungsdatum der Datei (%3).",
        "Mandate %1 was signed on %2, after the file's creation date (%3)." },
    { "DEBTOR-IS-CREDITOR", Severity::Warning,
        "Die IBAN %1 des Zahlungspflichtigen ist die des Gläubigers; zieht der Gläubiger von sich selbst "
        "ein?",
        "The debtor's IBAN %1 is the creditor's own; does the creditor collect from itself?" },
    { "CREATION-DATE-OLD", Severity::Warning,
        "Die Datei ist am %1 erstellt, vor mehr als %2 Tagen; ist es eine alte Datei?",
        "The file was created on %1, more than %2 days ago; is it an old file?" },
    { "CREATION-DATE-FUTURE", Severity::Warning,
        "Die Datei ist laut CreDtTm am %1 erstellt, nach der Uhr dieses Rechners in der Zukunft.",
        "CreDtTm says the file was created at %1, which is in the future by this computer's clock." },
    { "MSGID-CHECKED-BEFORE", Severity::Warning,
        "Eine Datei mit der MsgId %1 wurde schon am %2 geprüft; Banken weisen eine zweite Datei mit "
        "derselben "
        "MsgId ab. Wird die Datei zweimal gesendet?",
        "A file with the MsgId %1 was already checked on %2; banks refuse a second file with the same MsgId. "
        "Is the file sent twice?" },
    { "PAYMENTS-CHECKED-BEFORE", Severity::Warning,
        "Eine Datei mit denselben Zahlungen wurde schon am %1 geprüft (MsgId %2); werden die Zahlungen "
        "zweimal ausgeführt?",
        "A file with the same payments was already checked on %1 (MsgId %2); are the payments made twice?" },
    { "PAYMENT-DUPLICATE", Severity::Warning,
        "Die Zahlung über %1 (Konto %2, %3) steht %4-mal in der Datei, in den Zeilen %5; wird sie mehrfach "
        "ausgeführt?",
        "The payment of %1 (account %2, %3) stands %4 times in the file, in lines %5; is it made more than "
        "once?" },
    { "PAYMENT-ENDTOENDID-AMOUNTS", Severity::Warning,
        "EndToEndId %1 steht für dasselbe Konto mit verschiedenen Beträgen (%2) in den Zeilen %3; ist eine "
        "korrigierte Zahlung neben der alten stehen geblieben?",
        "EndToEndId %1 stands for the same account with different amounts (%2) in lines %3; was a corrected "
        "payment left beside the old one?" },
};

} // namespace

QString severityName(Severity severity)
{
    return severity == Severity::Error ? QStringLiteral("error") : QStringLiteral("warning");
}

std::span<const Rule> rules()
{
    return kRules;
}

const Rule &rule(RuleId id)
{
    static_assert(std::size(kRules) == size_t(RuleId::EndToEndIdAmounts) + 1);
    return kRules[size_t(id)];
}

} // namespace sepa
