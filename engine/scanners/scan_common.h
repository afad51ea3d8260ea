// Helpers shared by the two scanners: little-endian fields, buffered header
// access without a system call, and a progress value that is recomputed only
// when it can change.
#pragma once

#include <cstdint>
#include <new>

#include "platform/strings.h"
#include "reader.h"
#include "state.h"

namespace pyxol {

inline uint32_t Le32(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
           static_cast<uint32_t>(p[3]) << 24;
}

// Number of bytes at `position` that one read buffer holds contiguously (0 if
// none), with `data` pointing at them. Asks the reader only, never the disk.
inline uint32_t BufferedRun(const CFileEx& reader, uint64_t position, const uint8_t*& data) {
    data = reader.PeekBuffered(position, 1);
    if (!data) return 0;
    uint32_t lo = 1, hi = 65536;  // lo fits; find the largest count that fits
    while (lo < hi) {
        const uint32_t mid = lo + (hi - lo + 1) / 2;
        if (reader.PeekBuffered(position, mid)) lo = mid;
        else hi = mid - 1;
    }
    return lo;
}

// Reads `count` bytes at `position` into `out`, from a buffer when one holds
// them; true when all of them were delivered.
inline bool ReadAt(CFileEx& reader, uint64_t position, uint8_t* out, uint32_t count) {
    if (const uint8_t* p = reader.PeekBuffered(position, count)) {
        for (uint32_t i = 0; i < count; ++i) out[i] = p[i];
        return true;
    }
    reader.Seek(static_cast<int64_t>(position), CFile::begin);
    return reader.Read(out, count) == count;
}

// The percentage `base + done * span / total` (double precision, truncated)
// with the offset at which it next changes, so that a per-offset caller pays
// one comparison instead of a division.
class ProgressValue {
public:
    ProgressValue(uint32_t total, uint32_t base, uint32_t span) : m_total(total), m_base(base), m_span(span) {}

    uint8_t At(uint32_t done) {
        if (done < m_validFrom || done >= m_nextChange) Recompute(done);
        return m_value;
    }
    // After At(done): the first count above done whose value may differ.
    uint64_t NextChange() const { return m_nextChange; }
    static uint8_t Exact(uint32_t done, uint32_t total, uint32_t base, uint32_t span) {
        const double v = base + static_cast<double>(done) * span / static_cast<double>(total);
        return v >= 255.0 ? 255 : static_cast<uint8_t>(v);
    }

private:
    void Recompute(uint32_t done) {
        m_value = Exact(done, m_total, m_base, m_span);
        m_validFrom = done;
        // First count above `done` with a different value: estimate, then
        // settle it with the exact formula (the value never falls as done grows).
        uint64_t guess = (static_cast<uint64_t>(m_value - m_base + 1) * m_total + m_span - 1) / m_span;
        if (guess <= done) guess = static_cast<uint64_t>(done) + 1;
        for (int steps = 0; guess > static_cast<uint64_t>(done) + 1 && steps < 64 &&
                            Exact(static_cast<uint32_t>(guess - 1), m_total, m_base, m_span) != m_value;
             ++steps)
            --guess;
        int steps = 0;
        while (guess <= UINT32_MAX && steps++ < 64 &&
               Exact(static_cast<uint32_t>(guess), m_total, m_base, m_span) == m_value)
            ++guess;
        // Values past the formula's range (a length that wrapped): recompute
        // at every count rather than guess.
        if (steps > 64 || m_value >= 255 || m_value < m_base) guess = static_cast<uint64_t>(done) + 1;
        m_nextChange = guess;
    }

    uint32_t m_total, m_base, m_span;
    uint8_t m_value = 0;
    uint64_t m_validFrom = 1, m_nextChange = 0;
};

// Reports a failure caught by a scanner: platform errors as error 2 with
// their own text, anything else as error 3 naming the scanner.
inline void ReportScanFailure(const CCommunicator& host, const CException* error, bool outOfMemory,
                              const char16_t* where) {
    if (error || outOfMemory) {
        const std::u16string text = error ? FormatExceptionText(*error, 11) : FormatExceptionText(CMemoryException(), 11);
        host.Send(EVENT_ERROR, text.c_str());
    } else {
        host.SendUnknownError(where);
    }
}

}  // namespace pyxol
