// Fault seam for the engine's raw reads: while a ReadFaults object lives,
// every raw read that touches one of its failing byte ranges fails with EIO,
// and every raw read (offset, count) is logged.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

namespace vantrel::test {

struct RawReadCall {
    uint64_t offset;
    uint64_t count;
    bool failed;
};

class ReadFaults {
public:
    ReadFaults();
    ~ReadFaults();
    ReadFaults(const ReadFaults&) = delete;
    ReadFaults& operator=(const ReadFaults&) = delete;

    // Reads overlapping [offset, offset + count) fail.
    void FailRange(uint64_t offset, uint64_t count);
    const std::vector<RawReadCall>& Calls() const;
    void ClearCalls();
};

}  // namespace vantrel::test
