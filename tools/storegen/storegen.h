// storegen: deterministic generator of Outlook Express mail stores for tests
// and benchmarks. It lays out `.dbx` stores (OE 5/6: file header, segments of
// index nodes, message-info objects and 0x210-byte message blocks) and `.mbx`
// stores (OE 4: JMF6 header, back-to-back records), applies damage recipes,
// and describes in a manifest what it stored and what a carving repair must
// bring back (one Recovery per chain head or record it leaves recoverable).
//
// Everything follows from Options: the same options give the same bytes.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace storegen {

enum class StoreKind { Dbx, Mbx };

// Damage recipes. Each recipe that names a message applies to a fresh message
// of its own, so the expectations of different recipes never mix.
enum class Recipe {
    // .dbx
    BackToFront,   // a chain whose blocks lie at descending offsets
    Interleaved,   // two chains whose blocks alternate in one segment
    SelfLoop,      // a one-block message whose next offset points to itself
    Loop,          // a chain whose last block points back to its second block
    Merged,        // a second chain whose last own block joins another's tail
    SmashedHeader, // a 512-byte zeroed range that ends with one block's header
    Freed,         // a deleted message: every block rewritten as a freed block
    CutStart,      // the first `amount` bytes of the file are lost (every shift)
    CutMiddle,     // `amount` bytes lost between two segments (later shifts)
    InsertMiddle,  // `amount` bytes of garbage inserted between two segments
    Garbage,       // a run of random bytes between segments (offsets stay true)
    Truncate,      // the file ends inside a block of the last message
    // .mbx
    MbxTruncate,   // the file ends inside the last record's text
    MbxBadLength,  // a record whose text size exceeds its record size - 16
    MbxHugeLength, // a last record claiming a 0x7FFFFF00-byte text (zero padding is capped)
    MbxNested,     // a message whose text holds a whole record of its own
    MbxGarbage,    // random bytes between records
};

struct Damage {
    Recipe recipe;
    uint32_t amount = 0;  // bytes for CutStart, CutMiddle, InsertMiddle, Garbage
};

struct Options {
    StoreKind kind = StoreKind::Dbx;
    uint64_t seed = 1;
    uint32_t messageCount = 24;      // ordinary messages, besides those recipes add
    std::vector<Damage> damages;
    // Non-message bytes added between segments (index nodes, message-info
    // objects, random and zero runs) until the store reaches this size.
    uint64_t targetSize = 0;
    uint32_t maxMessageSize = 12000; // largest ordinary message text
};

// A message the generator put into the store.
struct StoredMessage {
    uint32_t id = 0;
    std::string subject;            // raw value of its Subject line ("" = none)
    std::string text;               // the message text as composed
    std::vector<uint64_t> blocks;   // file positions of its blocks in chain order (.mbx: the record)
    uint32_t shift = 0;             // stored self offset minus file position (mod 2^32)
    std::string damage;             // recipe name, "" when intact
};

// One message a repair must recover: the chain head (or record header) where
// the carver finds it and the exact bytes of the .eml it must write.
struct Recovery {
    uint32_t messageId = 0;
    uint64_t headPosition = 0;
    uint32_t shift = 0;
    std::string bytes;
    uint64_t size = 0;              // bytes.size(), also kept when bytes are dropped
    uint64_t fnv = 0;               // FNV-1a 64 of the bytes
};

struct Manifest {
    StoreKind kind = StoreKind::Dbx;
    uint64_t seed = 0;
    uint64_t fileSize = 0;
    std::vector<StoredMessage> messages;
    std::vector<Recovery> recoveries;  // in ascending head position

    // JSON text of the manifest; message texts and recovered bytes are
    // included (as base64) only when withBytes is set.
    std::string ToJson(bool withBytes) const;
};

struct Store {
    std::vector<uint8_t> bytes;
    Manifest manifest;
};

// Builds the whole store in memory.
Store Generate(const Options& options);
// Streams the store to `path` (for stores too large to hold in memory). The
// manifest's texts and recovery bytes are left empty; sizes and hashes stay.
Manifest GenerateToFile(const Options& options, const std::string& path);

uint64_t Fnv1a64(const void* data, size_t size);
const char* RecipeName(Recipe recipe);
bool RecipeFromName(const std::string& name, Recipe& recipe);

}  // namespace storegen
