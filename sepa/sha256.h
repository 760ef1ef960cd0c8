#pragma once
// SHA-256 for the history's hash of a file's payments: the same digest as QCryptographicHash, several
// times faster where the processor has SHA instructions (and somewhat faster without), since every
// transaction's values go through it.

#include <QByteArray>
#include <QByteArrayView>
#include <array>
#include <cstdint>

namespace sepa {

class Sha256
{
public:
    // useProcessorInstructions false: always the portable rounds (for tests of both).
    explicit Sha256(bool useProcessorInstructions = true);

    void addData(QByteArrayView data);
    // The digest of everything added (32 bytes); the hash is spent afterwards.
    QByteArray result();

private:
    void blocks(const unsigned char *data, size_t count);

    std::array<uint32_t, 8> m_state;
    std::array<unsigned char, 64> m_buffer {};
    size_t m_buffered = 0;
    uint64_t m_length = 0; // bytes added
    bool m_processor = false;
};

} // namespace sepa
