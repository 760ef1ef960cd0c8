#include "sha256.h"

#include <cstring>

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define PRAVIK_SHA_NI 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace sepa {

namespace {

constexpr uint32_t kRound[64]
    = { 0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
          0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
          0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
          0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
          0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
          0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
          0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
          0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2 };

constexpr std::array<uint32_t, 8> kInitial
    = { 0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19 };

inline uint32_t rotr(uint32_t x, int n)
{
    return (x >> n) | (x << (32 - n));
}

void portableBlocks(uint32_t *state, const unsigned char *p, size_t count)
{
    for (; count > 0; --count, p += 64) {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = uint32_t(p[4 * i]) << 24 | uint32_t(p[4 * i + 1]) << 16 | uint32_t(p[4 * i + 2]) << 8
                | uint32_t(p[4 * i + 3]);
        for (int i = 16; i < 64; ++i) {
            const uint32_t s0 = rotr(w[i - 15], 7) ^ rotr(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = rotr(w[i - 2], 17) ^ rotr(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i) {
            const uint32_t t1
                = h + (rotr(e, 6) ^ rotr(e, 11) ^ rotr(e, 25)) + ((e & f) ^ (~e & g)) + kRound[i] + w[i];
            const uint32_t t2 = (rotr(a, 2) ^ rotr(a, 13) ^ rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef PRAVIK_SHA_NI
bool processorHasSha()
{
    unsigned a = 0, b = 0, c = 0, d = 0;
    if (!__get_cpuid(1, &a, &b, &c, &d))
        return false;
    const bool ssse3 = c & (1u << 9);
    const bool sse41 = c & (1u << 19);
    if (!__get_cpuid_count(7, 0, &a, &b, &c, &d))
        return false;
    return ssse3 && sse41 && (b & (1u << 29));
}

// The rounds in the processor's SHA instructions: state as ABEF and CDGH, four rounds per step.
__attribute__((target("sha,sse4.1,ssse3"))) void shaNiBlocks(
    uint32_t *state, const unsigned char *p, size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
    __m128i tmp = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state));
    __m128i state1 = _mm_loadu_si128(reinterpret_cast<const __m128i *>(state + 4));
    tmp = _mm_shuffle_epi32(tmp, 0xB1); // CDAB
    state1 = _mm_shuffle_epi32(state1, 0x1B); // EFGH
    __m128i state0 = _mm_alignr_epi8(tmp, state1, 8); // ABEF
    state1 = _mm_blend_epi16(state1, tmp, 0xF0); // CDGH
    for (; count > 0; --count, p += 64) {
        const __m128i abefSaved = state0;
        const __m128i cdghSaved = state1;
        __m128i w[4];
        for (int i = 0; i < 16; ++i) {
            if (i < 4) {
                w[i] = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i *>(p + 16 * i)), byteSwap);
            } else {
                __m128i next = _mm_sha256msg1_epu32(w[(i - 4) & 3], w[(i - 3) & 3]);
                next = _mm_add_epi32(next, _mm_alignr_epi8(w[(i - 1) & 3], w[(i - 2) & 3], 4));
                w[i & 3] = _mm_sha256msg2_epu32(next, w[(i - 1) & 3]);
            }
            __m128i message
                = _mm_add_epi32(w[i & 3], _mm_loadu_si128(reinterpret_cast<const __m128i *>(kRound + 4 * i)));
            state1 = _mm_sha256rnds2_epu32(state1, state0, message);
            message = _mm_shuffle_epi32(message, 0x0E);
            state0 = _mm_sha256rnds2_epu32(state0, state1, message);
        }
        state0 = _mm_add_epi32(state0, abefSaved);
        state1 = _mm_add_epi32(state1, cdghSaved);
    }
    tmp = _mm_shuffle_epi32(state0, 0x1B); // FEBA
    state1 = _mm_shuffle_epi32(state1, 0xB1); // DCHG
    state0 = _mm_blend_epi16(tmp, state1, 0xF0); // DCBA
    state1 = _mm_alignr_epi8(state1, tmp, 8); // HGFE
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state), state0);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(state + 4), state1);
}
#endif

} // namespace

Sha256::Sha256(bool useProcessorInstructions)
    : m_state(kInitial)
{
#ifdef PRAVIK_SHA_NI
    static const bool hasSha = processorHasSha();
    m_processor = useProcessorInstructions && hasSha;
#else
    Q_UNUSED(useProcessorInstructions);
#endif
}

void Sha256::blocks(const unsigned char *data, size_t count)
{
#ifdef PRAVIK_SHA_NI
    if (m_processor) {
        shaNiBlocks(m_state.data(), data, count);
        return;
    }
#endif
    portableBlocks(m_state.data(), data, count);
}

void Sha256::addData(QByteArrayView data)
{
    auto p = reinterpret_cast<const unsigned char *>(data.data());
    size_t size = size_t(data.size());
    m_length += size;
    if (m_buffered > 0) {
        const size_t take = std::min(size, m_buffer.size() - m_buffered);
        std::memcpy(m_buffer.data() + m_buffered, p, take);
        m_buffered += take;
        p += take;
        size -= take;
        if (m_buffered < m_buffer.size())
            return;
        blocks(m_buffer.data(), 1);
        m_buffered = 0;
    }
    if (size >= 64) {
        blocks(p, size / 64);
        p += size / 64 * 64;
        size %= 64;
    }
    if (size > 0) {
        std::memcpy(m_buffer.data(), p, size);
        m_buffered = size;
    }
}

QByteArray Sha256::result()
{
    const uint64_t bits = m_length * 8;
    std::array<unsigned char, 128> tail {};
    std::memcpy(tail.data(), m_buffer.data(), m_buffered);
    tail[m_buffered] = 0x80;
    const size_t length = m_buffered + 1 + 8 <= 64 ? 64 : 128;
    for (int i = 0; i < 8; ++i)
        tail[length - 1 - size_t(i)] = static_cast<unsigned char>(bits >> (8 * i));
    blocks(tail.data(), length / 64);
    m_buffered = 0;
    QByteArray digest(32, Qt::Uninitialized);
    for (size_t i = 0; i < 8; ++i) {
        digest[qsizetype(4 * i)] = char(m_state[i] >> 24);
        digest[qsizetype(4 * i + 1)] = char(m_state[i] >> 16);
        digest[qsizetype(4 * i + 2)] = char(m_state[i] >> 8);
        digest[qsizetype(4 * i + 3)] = char(m_state[i]);
    }
    return digest;
}

} // namespace sepa
