#pragma once
// Check digits and structure of the identifiers in payment files: IBAN (ISO 13616, mod 97), BIC
// (ISO 9362), the SEPA creditor identifier (ISO 7064 mod 97-10 over its national part), the
// structured creditor reference (ISO 11649) and the legal entity identifier (ISO 17442).

#include <QByteArray>
#include <QByteArrayView>
#include <optional>

namespace sepa {

// The IBAN length of a country in the ISO 13616 registry (data/iban-lengths.csv); none when the
// registry has no IBAN for it.
std::optional<int> ibanLength(QByteArrayView country);

// True when IBANs of the country are inside the SEPA schemes' reach (data/sepa-countries.csv).
bool isSepaCountry(QByteArrayView country);

// ISO 7064 mod 97-10 of text read as digits, a letter standing for two digits (A = 10 ... Z = 35,
// either case). Characters other than letters and digits must not occur.
int mod97(QByteArrayView text);

enum class IbanProblem
{
    None,
    NotAnIban, // not two letters, two digits and letters or digits: the schema's business
    UnknownCountry,
    WrongLength,
    WrongCheckDigits,
    LowerCase // right check digits, but letters after them in lower case
};

IbanProblem checkIban(QByteArrayView iban, int *remainder = nullptr);

// Four letters or digits (institution), two letters (country), two letters or digits (location) and
// optionally three more (branch).
bool isWellFormedBic(QByteArrayView bic);

enum class CreditorIdProblem
{
    None,
    Malformed, // not country, two check digits, three-character business code and a national part
    WrongLength, // German identifiers have 18 characters
    WrongCheckDigits
};

// expected receives the check digits the identifier should carry when they are wrong.
CreditorIdProblem checkCreditorId(QByteArrayView id, QByteArray *expected = nullptr);

// "RF", two check digits and one to 21 letters or digits. Returns true only for such a reference
// whose check digits are wrong, with expected set to the right ones; anything not shaped so is no
// ISO 11649 reference and is left to the schema.
bool creditorReferenceDigitsWrong(QByteArrayView reference, QByteArray *expected = nullptr);

// Eighteen letters or digits and two check digits. Returns true only for such an identifier whose
// check digits are wrong, with expected set to the right ones.
bool leiDigitsWrong(QByteArrayView lei, QByteArray *expected = nullptr);

} // namespace sepa
