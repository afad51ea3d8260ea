// CFileEx against real files, with the raw-read seam logging and failing
// chosen byte ranges.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "reader.h"
#include "read_faults.h"
#include "recording_host.h"
#include "temp_dir.h"

using namespace pyxol;
using vantrel::test::ReadFaults;
using vantrel::test::TempDir;
using vantrel::test::U16;

namespace {

// Position-dependent bytes, so a byte delivered from the wrong offset shows.
uint8_t PatternByte(uint64_t i) { return static_cast<uint8_t>((i % 251) ^ (i >> 12)); }

std::vector<uint8_t> Pattern(size_t size) {
    std::vector<uint8_t> bytes(size);
    for (size_t i = 0; i < size; ++i) bytes[i] = PatternByte(i);
    return bytes;
}

// Index of the first byte that differs from the pattern at `offset`, or -1.
long FirstMismatch(const uint8_t* data, size_t count, uint64_t offset) {
    for (size_t i = 0; i < count; ++i)
        if (data[i] != PatternByte(offset + i)) return static_cast<long>(i);
    return -1;
}

class ReaderTest : public ::testing::Test {
protected:
    void OpenPattern(size_t size) {
        path = dir.Write("store.dbx", Pattern(size));
        CFileException error;
        ASSERT_TRUE(reader.Open(U16(path), CFile::modeRead | CFile::shareDenyWrite | CFile::typeBinary,
                                &error));
    }
    // Reads `count` bytes at `offset` and checks them against the pattern.
    void ReadAt(uint64_t offset, uint32_t count) {
        std::vector<uint8_t> data(count);
        reader.Seek(static_cast<int64_t>(offset), CFile::begin);
        ASSERT_EQ(reader.Read(data.data(), count), count);
        EXPECT_EQ(FirstMismatch(data.data(), count, offset), -1);
    }

    TempDir dir;
    std::string path;
    ReadFaults faults;
    CFileEx reader;
};

TEST_F(ReaderTest, ReadStraddlingTwoBuffersTakesBothWithoutDiskReads) {
    OpenPattern(300000);
    ReadAt(0, 1);       // fills A with [0, 65536)
    ReadAt(65536, 1);   // fills B with [65536, 131072)
    faults.ClearCalls();
    ReadAt(65532, 10);  // 4 bytes from A, 6 from B
    EXPECT_TRUE(faults.Calls().empty());
}

TEST_F(ReaderTest, ReadStraddlingBufferEndRefillsAtTheNewPosition) {
    OpenPattern(300000);
    ReadAt(0, 1);
    faults.ClearCalls();
    ReadAt(65532, 10);
    ASSERT_FALSE(faults.Calls().empty());
    EXPECT_EQ(faults.Calls().front().offset, 65536u);
    EXPECT_NE(reader.PeekBuffered(65536, 65536), nullptr);
    EXPECT_NE(reader.PeekBuffered(0, 65536), nullptr);
}

TEST_F(ReaderTest, ExactlyOneBufferSizeGoesThroughARefill) {
    OpenPattern(300000);
    ReadAt(4096, 65536);
    EXPECT_NE(reader.PeekBuffered(4096, 65536), nullptr);
}

TEST_F(ReaderTest, LongReadGoesDirectForWholeMultiplesAndRefillsForTheRest) {
    OpenPattern(300000);
    ReadAt(4096, 2 * 65536 + 1);
    EXPECT_EQ(reader.PeekBuffered(4096, 1), nullptr);
    EXPECT_EQ(reader.PeekBuffered(4096 + 65536, 1), nullptr);
    EXPECT_NE(reader.PeekBuffered(4096 + 2 * 65536, 1), nullptr);
    EXPECT_EQ(reader.GetPosition(), 4096u + 2 * 65536 + 1);
}

TEST_F(ReaderTest, RefillSplitsIntoHeadWholeSectorsAndTail) {
    OpenPattern(300000);
    const uint32_t s = reader.SectorSize();
    // A healthy range is read in one go; a range whose read fails is read
    // again split on sector boundaries.
    faults.ClearCalls();
    ReadAt(200000, 1);
    ASSERT_EQ(faults.Calls().size(), 1u);
    EXPECT_EQ(faults.Calls()[0].count, 65536u);
    faults.FailRange(40000, 1);
    faults.ClearCalls();
    ReadAt(1000, 1);
    const uint32_t head = 1000 % s ? s - 1000 % s : 0;
    const uint32_t sectors = (65536 - head) / s;
    const uint32_t tail = (65536 - head) % s;
    std::vector<std::pair<uint64_t, uint64_t>> expected = {{1000, 65536}};
    uint64_t at = 1000;
    if (head) expected.push_back({at, head}), at += head;
    for (uint32_t i = 0; i < sectors; ++i) expected.push_back({at, s}), at += s;
    if (tail) expected.push_back({at, tail});
    std::vector<std::pair<uint64_t, uint64_t>> actual;
    for (const auto& call : faults.Calls()) actual.push_back({call.offset, call.count});
    EXPECT_EQ(actual, expected);
    if (s == 512) {  // the common case, spelled out
        EXPECT_EQ(head, 24u);
        EXPECT_EQ(sectors, 127u);
        EXPECT_EQ(tail, 488u);
    }
}

TEST_F(ReaderTest, UnreadableSectorIsZeroedAndTheRestIsIntact) {
    OpenPattern(300000);
    const uint32_t s = reader.SectorSize();
    const uint64_t bad = 100 * static_cast<uint64_t>(s);
    faults.FailRange(bad, s);

    struct Case {
        const char* name;
        uint64_t offset;
        uint32_t count;
    };
    // Through a buffer refill, through the direct path, and a read whose
    // unaligned head overlaps the bad sector.
    const Case cases[] = {
        {"buffered", bad - 1000, 3000},
        {"direct", 0, 3 * 65536},
        {"head", bad + 7, 100},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CFileEx fresh;
        CFileException error;
        ASSERT_TRUE(fresh.Open(U16(path), CFile::modeRead, &error));
        std::vector<uint8_t> data(c.count);
        fresh.Seek(static_cast<int64_t>(c.offset), CFile::begin);
        ASSERT_EQ(fresh.Read(data.data(), c.count), c.count);
        EXPECT_FALSE(fresh.ReachedEnd());
        for (uint32_t i = 0; i < c.count; ++i) {
            const uint64_t at = c.offset + i;
            const bool inBad = at >= bad && at < bad + s;
            const uint8_t want = inBad ? 0 : PatternByte(at);
            if (data[i] != want) {
                ADD_FAILURE() << "byte at " << at << " is " << int(data[i]) << ", want " << int(want);
                break;
            }
        }
    }
}

TEST_F(ReaderTest, TwoDistantRangesStayCachedAndAThirdReplacesTheLower) {
    OpenPattern(2200000);
    ReadAt(0, 16);
    ReadAt(1000000, 16);
    faults.ClearCalls();
    for (int i = 0; i < 4; ++i) {
        ReadAt(100, 16);
        ReadAt(1000100, 16);
    }
    EXPECT_TRUE(faults.Calls().empty());

    ReadAt(2000000, 16);  // both buffers lie behind: the lower one goes
    EXPECT_EQ(reader.PeekBuffered(0, 1), nullptr);
    EXPECT_NE(reader.PeekBuffered(1000000, 1), nullptr);
    EXPECT_NE(reader.PeekBuffered(2000000, 1), nullptr);

    ReadAt(1500000, 16);  // one behind, one ahead: the one ahead goes
    EXPECT_NE(reader.PeekBuffered(1000000, 1), nullptr);
    EXPECT_EQ(reader.PeekBuffered(2000000, 1), nullptr);
    EXPECT_NE(reader.PeekBuffered(1500000, 1), nullptr);
}

TEST_F(ReaderTest, SeekFromEndAndBackwards) {
    OpenPattern(100000);
    EXPECT_EQ(reader.Seek(0, CFile::end), 100000u);
    EXPECT_EQ(reader.Seek(-16, CFile::current), 100000u - 16);
    EXPECT_EQ(reader.GetPosition(), 100000u - 16);
    EXPECT_EQ(reader.Seek(5, 7), 100000u - 16);  // unknown origin: unchanged
    EXPECT_EQ(reader.GetLength(), 100000u);
    uint8_t tail[32];
    EXPECT_EQ(reader.Read(tail, 32), 16u);
    EXPECT_EQ(FirstMismatch(tail, 16, 100000 - 16), -1);
}

TEST_F(ReaderTest, ReachedEndIsSetByShortReadsAndClearedByMoves) {
    OpenPattern(1000);
    uint8_t data[64];
    reader.Seek(990, CFile::begin);
    EXPECT_EQ(reader.Read(data, 64), 10u);
    EXPECT_TRUE(reader.ReachedEnd());
    EXPECT_EQ(reader.Read(data, 0), 0u);  // a zero-byte read leaves the flag alone
    EXPECT_TRUE(reader.ReachedEnd());
    reader.Seek(0, CFile::current);  // no move: still set
    EXPECT_TRUE(reader.ReachedEnd());
    reader.Seek(5000, CFile::begin);  // beyond the end is allowed
    EXPECT_FALSE(reader.ReachedEnd());
    EXPECT_EQ(reader.Read(data, 1), 0u);
    EXPECT_TRUE(reader.ReachedEnd());
    reader.Seek(0, CFile::begin);
    EXPECT_EQ(reader.Read(data, 64), 64u);
    EXPECT_FALSE(reader.ReachedEnd());
    reader.Seek(999, CFile::begin);
    EXPECT_EQ(reader.Read(data, 2), 1u);
    reader.Close();
    EXPECT_FALSE(reader.ReachedEnd());
}

TEST_F(ReaderTest, UnsupportedOperationsRaise) {
    OpenPattern(10);
    EXPECT_THROW(reader.Duplicate(), CNotSupportedException);
    EXPECT_THROW(reader.LockRange(0, 1), CNotSupportedException);
    EXPECT_THROW(reader.UnlockRange(0, 1), CNotSupportedException);
}

TEST_F(ReaderTest, OpenFailuresFillTheRecord) {
    CFileException error;
    const std::u16string missing = U16(dir.File("missing.dbx"));
    EXPECT_FALSE(reader.Open(missing, CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, kFileNotFound);
    EXPECT_EQ(error.m_strFileName, missing);
    EXPECT_FALSE(reader.Open(U16(dir.Path()), CFile::modeRead, &error));
    EXPECT_EQ(error.m_cause, kAccessDenied);
}

TEST_F(ReaderTest, WriteThroughTheReaderKeepsBuffersTrue) {
    path = dir.Write("rw.bin", Pattern(70000));
    CFileException error;
    ASSERT_TRUE(reader.Open(U16(path), CFile::modeReadWrite, &error));
    uint8_t data[8];
    ASSERT_EQ(reader.Read(data, 8), 8u);
    reader.Seek(2, CFile::begin);
    const uint8_t patch[3] = {0xEE, 0xEE, 0xEE};
    reader.Write(patch, 3);
    EXPECT_EQ(reader.GetPosition(), 5u);
    reader.Seek(0, CFile::begin);
    ASSERT_EQ(reader.Read(data, 8), 8u);
    EXPECT_EQ(data[2], 0xEE);
    EXPECT_EQ(data[5], PatternByte(5));
    reader.SetLength(100);
    EXPECT_EQ(reader.GetPosition(), 0u);
    EXPECT_EQ(reader.GetLength(), 100u);
}

}  // namespace
