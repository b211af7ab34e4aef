#pragma once

#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

// The fuzzer's bytes read as the values a target draws: numbers in a range,
// flags, runs of bytes. Past the end every draw gives its smallest value, so
// a target never has to ask whether anything is left.
class CFuzzInput
{
public:
    CFuzzInput(const uint8_t* pData, size_t nSize) : m_pData(pData), m_nSize(nSize) {}

    bool IsEmpty() const { return m_nPos >= m_nSize; }

    uint8_t Byte() { return IsEmpty() ? 0 : m_pData[m_nPos++]; }
    bool Bool() { return Byte() & 1; }

    // nMin..nMax inclusive, from as few bytes as the span needs.
    int64_t Range(int64_t nMin, int64_t nMax)
    {
        const uint64_t nSpan = static_cast<uint64_t>(nMax) - static_cast<uint64_t>(nMin);
        uint64_t nValue = 0;
        for (uint64_t nLeft = nSpan; nLeft != 0 && !IsEmpty(); nLeft >>= 8)
            nValue = (nValue << 8) | Byte();
        if (nSpan != UINT64_MAX)
            nValue %= nSpan + 1;
        return static_cast<int64_t>(static_cast<uint64_t>(nMin) + nValue);
    }

    // Up to nCount bytes, fewer at the end.
    QByteArray Bytes(size_t nCount)
    {
        const size_t nTake = nCount < m_nSize - m_nPos ? nCount : m_nSize - m_nPos;
        const QByteArray bytes(reinterpret_cast<const char*>(m_pData + m_nPos),
                               static_cast<qsizetype>(nTake));
        m_nPos += nTake;
        return bytes;
    }
    // A drawn length of 0..nMax, then that many bytes.
    QByteArray BytesUpTo(size_t nMax) { return Bytes(static_cast<size_t>(Range(0, nMax))); }
    QByteArray Rest() { return Bytes(m_nSize - m_nPos); }

private:
    const uint8_t* m_pData;
    size_t m_nSize;
    size_t m_nPos = 0;
};

// A property a target checks: its failure aborts, which the fuzzer and the
// replay both report as a crash with the input that caused it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
