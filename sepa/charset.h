#pragma once
// The character set the German banks (Deutsche Kreditwirtschaft, DFÜ-Abkommen Anlage 3) accept in
// the text of SEPA payment files:
// - the Latin set of the SEPA rulebooks: a-z A-Z 0-9 / - ? : ( ) . , ' + and space;
// - the German additions the DK's extended set allows: Ä Ö Ü ä ö ü ß, and & * $ %.
// Anything else (other accented letters, line breaks, tabs, '<', '_', '@', ...) is refused or
// silently replaced by some banks, so it is reported.

#include <QByteArrayView>

namespace sepa {

// The offset of the first character outside the set in UTF-8 text, or -1 when all are inside. A
// character cut at the end of text counts as inside: the caller sees the rest with the next piece.
qsizetype firstOutsideDkCharset(QByteArrayView utf8);

// The character that starts at offset in UTF-8 text, as a code point (U+FFFD when it is broken).
char32_t codePointAt(QByteArrayView utf8, qsizetype offset);

} // namespace sepa
