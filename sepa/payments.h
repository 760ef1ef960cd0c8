#pragma once
// What a payment file will pay, as the rules' pass reads it: its payment information blocks with
// their transactions in compact records, and the totals the file states beside the ones its amounts
// give, summed exactly.
//
// A transaction is a fixed record of 24 bytes; its texts (name, IBAN, ...) stand one after the
// other in one shared buffer, each ended by a zero byte, so that a file of 100,000 transactions costs
// one allocation for them instead of a million small strings. Its place is kept as the byte offset
// into the checked text and its line; the column in UTF-16 units, which costs a decoding pass over
// the text, is left to whoever goes there (the editor finds the place from the offset).

#include "sepa/decimal.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace sepa {

class Payments
{
public:
    // The texts of a transaction, in the order they are kept.
    enum class Field : uint8_t
    {
        Name, // of the counterparty: the creditor of a transfer, the debtor of a direct debit
        Iban,
        Bic,
        EndToEndId,
        MandateId,
        MandateDate,
        Remittance, // unstructured, its lines joined by a blank
        Reference, // the structured creditor reference
        Purpose,
    };
    static constexpr size_t kFields = 9;
    static constexpr uint16_t kNoCurrency = 0xFFFF;

    struct Transaction
    {
        qint64 cents = -1; // the amount; -1 when it is missing or no transaction amount
        uint32_t text = 0; // where its fields start in the shared buffer
        int32_t line = 0; // of its start tag, from 1
        // Its start tag, in bytes into the checked UTF-8 text (48 bits: 256 TB).
        qint64 offset() const { return qint64(place >> 16); }
        // The index of its currency code.
        uint16_t currency() const { return uint16_t(place & 0xFFFF); }
        void setOffset(qint64 offset);
        void setCurrency(uint16_t currency) { place = (place & ~quint64(0xFFFF)) | currency; }
        quint64 place = kNoCurrency; // offset() above currency()
        // Its block is the one whose range holds it (blockOf): blocks are few, transactions many.
    };
    static_assert(sizeof(Transaction) == 24);

    // What the file says of a block or of itself (NbOfTxs, CtrlSum), and what its amounts give.
    struct Totals
    {
        std::optional<qint64> statedCount;
        QByteArray statedCountText; // empty when the element is missing
        std::optional<Decimal> statedSum;
        QByteArray statedSumText;
        qint64 count = 0;
        Decimal sum;
        bool sumKnown = true; // every transaction had a valid amount

        bool countDiffers() const { return statedCount ? *statedCount != count : !statedCountText.isEmpty(); }
        bool sumDiffers() const;
    };

    struct Block
    {
        QByteArray id; // PmtInfId
        QByteArray name; // the debtor of a transfer, the creditor of a direct debit
        QByteArray iban;
        QByteArray bic;
        QByteArray date; // requested execution or collection date
        QByteArray sequenceType; // direct debits: FRST, RCUR, OOFF, FNAL
        QByteArray localInstrument; // direct debits: CORE, B2B
        int32_t line = 0;
        qint64 offset = 0; // of its start tag, in bytes into the checked UTF-8 text
        size_t first = 0; // its transactions: first .. first + count - 1
        size_t count = 0;
        int currency = -1; // of all its transactions; -1 when none has one, kMixed when they differ
        Totals totals;
    };
    static constexpr int kMixed = -2;

    struct CurrencyTotal
    {
        QByteArray currency;
        qint64 count = 0;
        Decimal sum;
        bool sumKnown = true;
    };

    bool directDebit() const { return m_directDebit; }
    const std::vector<Block> &blocks() const { return m_blocks; }
    const std::vector<Transaction> &transactions() const { return m_transactions; }
    const Totals &fileTotals() const { return m_file; }
    // In the order of their first transaction; transactions without an amount under an empty currency.
    std::vector<CurrencyTotal> currencyTotals() const;
    QByteArray currency(const Transaction &t) const;
    // The block transaction (an index into transactions()) stands in.
    const Block &blockOf(size_t transaction) const;
    QByteArrayView field(const Transaction &t, Field f) const;
    // All its fields in one walk, indexed by Field.
    std::array<QByteArrayView, kFields> fields(const Transaction &t) const;
    // The amount as the CSV and the reports write it ("1234.50"); empty when it is unknown.
    static QByteArray amountText(qint64 cents);
    // Bytes held: the records and the shared texts.
    size_t recordBytes() const;
    size_t textBytes() const;
    // Transactions whose texts were not kept: the shared buffer is addressed by 32 bits, and a file
    // with more than 4 GiB of them (some 40 million transactions) keeps the rest's amounts and places.
    size_t textsDropped() const { return m_textsDropped; }

    // The columns of the CSV list, its header (ending in CR LF) and one transaction's line: UTF-8,
    // ';' separated, a field quoted when it holds ';', '"' or a line break.
    static QList<QByteArray> csvColumns();
    static QByteArray csvHeader();
    QByteArray csvLine(size_t transaction) const;

    // --- Filled by the rules' pass, in document order.
    void setDirectDebit(bool directDebit) { m_directDebit = directDebit; }
    Block &beginBlock(qsizetype offset);
    Block *currentBlock() { return m_inBlock ? &m_blocks.back() : nullptr; }
    void endBlock(const Totals &stated);
    void beginTransaction(qsizetype offset);
    bool inTransaction() const { return m_inTransaction; }
    void setField(Field f, QByteArrayView value);
    void addRemittanceLine(QByteArrayView value);
    void setAmount(std::optional<qint64> cents, QByteArrayView currency);
    void endTransaction();
    // Where transaction starts in the UTF-8 text.
    qsizetype offsetOf(size_t transaction) const { return qsizetype(m_transactions[transaction].offset()); }
    // The file's stated totals; counts the lines of the offsets in utf8 and lets go of spare room.
    void finish(const Totals &stated, const QByteArray &utf8);

private:
    bool m_directDebit = false;
    std::vector<Block> m_blocks;
    std::vector<Transaction> m_transactions;
    std::string m_text;
    std::vector<QByteArray> m_currencies;
    Totals m_file;
    size_t m_textsDropped = 0;

    bool m_inBlock = false;
    bool m_inTransaction = false;
    Transaction m_pending;
    std::array<std::string, kFields> m_fields;
};

} // namespace sepa
