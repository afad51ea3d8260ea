// Reader throughput for the scanners' access patterns: a header read at every
// byte offset, headers at two alternating distant offsets, and long reads.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

#include "platform/strings.h"
#include "reader.h"

using namespace pyxol;

namespace {

double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

}  // namespace

int main(int argc, char** argv) {
    const uint64_t size = (argc > 1 ? std::strtoull(argv[1], nullptr, 0) : 64) << 20;
    char path[] = "/tmp/vantrel-reader-bench-XXXXXX";
    const int fd = mkstemp(path);
    if (fd < 0) return 1;
    std::vector<uint8_t> chunk(1 << 20);
    for (size_t i = 0; i < chunk.size(); ++i) chunk[i] = static_cast<uint8_t>(i * 131);
    for (uint64_t done = 0; done < size; done += chunk.size())
        if (write(fd, chunk.data(), chunk.size()) != static_cast<ssize_t>(chunk.size())) return 1;
    close(fd);

    CFileEx reader;
    CFileException error;
    if (!reader.Open(FromUtf8(path), CFile::modeRead | CFile::shareDenyWrite, &error)) return 1;
    std::printf("file %llu MiB, sector size %u\n", static_cast<unsigned long long>(size >> 20),
                reader.SectorSize());

    uint8_t header[16];
    uint64_t sum = 0;
    auto start = std::chrono::steady_clock::now();
    for (uint64_t pos = 0; pos + 16 <= size; ++pos) {
        reader.Seek(static_cast<int64_t>(pos), CFile::begin);
        reader.Read(header, 16);
        sum += header[3];
    }
    double t = Seconds(start);
    std::printf("16-byte header at every offset: %.1f MB/s (%.1f ns per offset)\n", size / t / 1e6,
                t * 1e9 / size);

    const uint64_t far = size / 2;
    const uint64_t steps = size / 8;
    start = std::chrono::steady_clock::now();
    for (uint64_t i = 0; i < steps; ++i) {
        reader.Seek(static_cast<int64_t>(i % 60000), CFile::begin);
        reader.Read(header, 16);
        reader.Seek(static_cast<int64_t>(far + i % 60000), CFile::begin);
        reader.Read(header, 16);
        sum += header[0];
    }
    t = Seconds(start);
    std::printf("alternating distant headers: %.1f ns per pair\n", t * 1e9 / steps);

    std::vector<uint8_t> big(1 << 20);
    start = std::chrono::steady_clock::now();
    reader.Seek(0, CFile::begin);
    while (reader.Read(big.data(), static_cast<uint32_t>(big.size())) == big.size()) sum += big[7];
    t = Seconds(start);
    std::printf("1 MiB reads: %.1f MB/s\n", size / t / 1e6);

    reader.Close();
    unlink(path);
    return sum == 42 ? 2 : 0;  // keep the reads from being optimised away
}
