#include "read_faults.h"

#include <cerrno>
#include <unistd.h>

#include "platform/file.h"

namespace vantrel::test {

namespace {

std::vector<std::pair<uint64_t, uint64_t>> g_failing;
std::vector<RawReadCall> g_calls;

ssize_t FaultyRead(int fd, void* buffer, size_t count, off_t offset) {
    const uint64_t begin = static_cast<uint64_t>(offset);
    for (const auto& [start, length] : g_failing) {
        if (begin < start + length && start < begin + count) {
            g_calls.push_back({begin, count, true});
            errno = EIO;
            return -1;
        }
    }
    g_calls.push_back({begin, count, false});
    return ::pread(fd, buffer, count, offset);
}

}  // namespace

ReadFaults::ReadFaults() {
    g_failing.clear();
    g_calls.clear();
    pyxol::SetRawReadForTesting(&FaultyRead);
}

ReadFaults::~ReadFaults() {
    pyxol::SetRawReadForTesting(nullptr);
    g_failing.clear();
    g_calls.clear();
}

void ReadFaults::FailRange(uint64_t offset, uint64_t count) { g_failing.emplace_back(offset, count); }
const std::vector<RawReadCall>& ReadFaults::Calls() const { return g_calls; }
void ReadFaults::ClearCalls() { g_calls.clear(); }

}  // namespace vantrel::test
