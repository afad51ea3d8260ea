// Store generator: layouts of OE 5/6 .dbx and OE 4 .mbx stores, damage
// recipes and the manifest of what a repair must recover.
#include "storegen/storegen.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

namespace storegen {
namespace {

constexpr uint32_t kDbxHeaderSize = 0x24BC;
constexpr uint32_t kFileInfoSize = 0x618;
constexpr uint32_t kBlockSize = 0x210;       // 16-byte header + 0x200 body
constexpr uint32_t kBlockBody = 0x200;
constexpr uint32_t kBlocksPerSegment = 120;  // 0xF780 bytes
constexpr uint32_t kNodeSegment = 0x3E1C;    // 25 index nodes of 0x27C
constexpr uint32_t kNodeSize = 0x27C;
constexpr uint32_t kInfoSegment = 0xC000;
constexpr uint32_t kMbxHeaderSize = 0x54;
constexpr uint32_t kMbxMarker = 0x7F007F00;
constexpr uint32_t kPaddingCap = 1048576;   // the engine's zero-padding cap per span copy

// splitmix64: small, fast and the same everywhere.
class Rng {
public:
    explicit Rng(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    uint32_t Below(uint32_t n) { return n ? static_cast<uint32_t>(Next() % n) : 0; }
    uint32_t Range(uint32_t lo, uint32_t hi) { return lo + Below(hi - lo + 1); }
    void Fill(uint8_t* p, size_t n) {
        while (n >= 8) { uint64_t v = Next(); std::memcpy(p, &v, 8); p += 8; n -= 8; }
        if (n) { uint64_t v = Next(); std::memcpy(p, &v, n); }
    }

private:
    uint64_t m_state;
};

void Put32(uint8_t* p, uint32_t v) {
    p[0] = static_cast<uint8_t>(v); p[1] = static_cast<uint8_t>(v >> 8);
    p[2] = static_cast<uint8_t>(v >> 16); p[3] = static_cast<uint8_t>(v >> 24);
}

// Random bytes that can never hold the .mbx record marker.
void FillGarbage(Rng& rng, uint8_t* p, size_t n) {
    rng.Fill(p, n);
    for (size_t i = 0; i + 4 <= n; ++i)
        if (p[i] == 0x00 && p[i + 1] == 0x7F && p[i + 2] == 0x00 && p[i + 3] == 0x7F) p[i + 1] = 0x7E;
}

// ---- messages ----------------------------------------------------------

const char* const kSubjects[] = {
    "Hello",
    "Re: Meeting on Tuesday",
    "Q&A: 1/2",
    "report.pdf",
    "Caf\xE9 cr\xE8me \xE0 la carte",
    "=?iso-8859-1?Q?Gr=FC=DFe_aus_K=F6ln?=",
    "Tab\there",
    "a/b\\c:d*e?f\"g<h>i|j",
    "   spaced out   ",
    "Fw: Invoice #4711",
    "\xA0" "non-breaking\xA0",
    "Price list 2003",
    "=?utf-8?B?w5xiZXJ3ZWlzdW5n?=",
    "Hello",
    "Ol\xE1, tudo bem?",
};
const char* const kWords[] = {"the", "store", "message", "folder", "recovered", "please", "find",
    "attached", "meeting", "tomorrow", "regards", "invoice", "order", "shipping", "thanks",
    "project", "status", "weekly", "report", "budget", "draft", "review", "agenda", "minutes"};
const char* const kNames[] = {"Anna Berg", "Carl Dahl", "Eva Frost", "Gus Holm", "Ida Jensen",
    "Karl Lund", "Mona Nilsson", "Otto Persson"};

// Subjects as a folder has them: most differ, some repeat (replies,
// newsletters), a few are long, empty, encoded, Latin-1 or full of characters
// a file name cannot hold.
std::string PickSubject(Rng& rng, uint32_t id) {
    static const char* const kTopics[] = {"Budget", "Offsite", "Release", "Invoice", "Holiday",
                                          "Contract", "Server", "Lunch", "Review", "Schedule"};
    uint32_t k = rng.Below(64);
    constexpr uint32_t pool = sizeof(kSubjects) / sizeof(kSubjects[0]);
    if (k < pool) return kSubjects[k];
    if (k == pool) {  // a long subject: file names get cut
        std::string s = "Long subject " + std::to_string(id) + ":";
        while (s.size() < 290) s += " lorem ipsum dolor sit amet";
        return s;
    }
    if (k == pool + 1) return "";  // no subject line at all
    if (k < pool + 6) return "Status report " + std::to_string(id % 7);
    std::string s = k % 3 == 0 ? "Re: " : "";
    s += kTopics[rng.Below(10)];
    s += " " + std::to_string(id * 7 + rng.Below(7)) + ": ";
    s += kWords[rng.Below(sizeof(kWords) / sizeof(kWords[0]))];
    return s;
}

std::string ComposeMessage(Rng& rng, uint32_t id, const std::string& subject, uint32_t targetSize,
                           bool folded) {
    const char* from = kNames[rng.Below(8)];
    const char* to = kNames[rng.Below(8)];
    std::string m;
    m += "Return-Path: <sender" + std::to_string(id) + "@example.com>\r\n";
    m += "From: \"" + std::string(from) + "\" <sender" + std::to_string(id) + "@example.com>\r\n";
    m += "To: \"" + std::string(to) + "\" <rcpt@example.org>\r\n";
    if (!subject.empty() || folded) {
        m += "Subject: " + subject + "\r\n";
        if (folded) m += "\tcontinued on a second line\r\n";
    }
    char date[96];
    std::snprintf(date, sizeof date, "Date: Mon, %u Mar 2003 %02u:%02u:%02u +0100\r\n",
                  1 + rng.Below(28), rng.Below(24), rng.Below(60), rng.Below(60));
    m += date;
    m += "Message-ID: <" + std::to_string(rng.Next() % 1000000007) + "." + std::to_string(id) +
         "@mail.example.com>\r\n";
    m += "MIME-Version: 1.0\r\nContent-Type: text/plain;\r\n\tcharset=\"iso-8859-1\"\r\n";
    m += "Content-Transfer-Encoding: 8bit\r\nX-Priority: 3\r\n\r\n";
    std::string line;
    while (m.size() < targetSize) {
        line += kWords[rng.Below(sizeof(kWords) / sizeof(kWords[0]))];
        if (rng.Below(40) == 0) line += " \xE5\xE4\xF6";
        if (line.size() > 64 || m.size() + line.size() + 2 >= targetSize) {
            m += line + "\r\n";
            line.clear();
        } else {
            line += ' ';
        }
    }
    return m;
}

uint32_t BlocksFor(size_t textSize) {
    return textSize == 0 ? 1 : static_cast<uint32_t>((textSize + kBlockBody - 1) / kBlockBody);
}

// ---- output sink -------------------------------------------------------

// Receives the store's bytes in file order; either keeps them in memory or
// streams them to a file through a large buffer.
class Sink {
public:
    explicit Sink(std::vector<uint8_t>* memory) : m_memory(memory) {}
    explicit Sink(FILE* file) : m_file(file) { m_buffer.reserve(1 << 20); }

    void Write(const uint8_t* p, size_t n) {
        if (m_limit != UINT64_MAX) {
            if (m_size >= m_limit) return;
            n = static_cast<size_t>(std::min<uint64_t>(n, m_limit - m_size));
        }
        m_size += n;
        if (m_memory) {
            m_memory->insert(m_memory->end(), p, p + n);
            return;
        }
        m_buffer.insert(m_buffer.end(), p, p + n);
        if (m_buffer.size() >= (1 << 20)) Flush();
    }
    void Flush() {
        if (m_file && !m_buffer.empty()) {
            if (std::fwrite(m_buffer.data(), 1, m_buffer.size(), m_file) != m_buffer.size())
                throw std::runtime_error("cannot write the store");
            m_buffer.clear();
        }
    }
    uint64_t Size() const { return m_size; }
    void SetLimit(uint64_t limit) { m_limit = limit; }

private:
    std::vector<uint8_t>* m_memory = nullptr;
    FILE* m_file = nullptr;
    std::vector<uint8_t> m_buffer;
    uint64_t m_size = 0;
    uint64_t m_limit = UINT64_MAX;
};

void AddRecovery(Manifest& manifest, uint32_t id, uint64_t head, uint32_t shift, std::string bytes,
                 bool keepBytes) {
    Recovery r;
    r.messageId = id;
    r.headPosition = head;
    r.shift = shift;
    r.size = bytes.size();
    r.fnv = Fnv1a64(bytes.data(), bytes.size());
    if (keepBytes) r.bytes = std::move(bytes);
    manifest.recoveries.push_back(std::move(r));
}

// ---- .dbx --------------------------------------------------------------

// A planned message of a .dbx store.
struct DbxMessage {
    StoredMessage stored;
    Recipe recipe{};
    bool hasRecipe = false;
    uint32_t partner = UINT32_MAX;  // Merged: the chain it joins; Interleaved: the other chain
    uint32_t joinBlock = 0;         // Merged: index of the partner's block it joins
    std::vector<uint32_t> slots;    // block slots in chain order
    uint32_t segment = 0;
};

// One unit of the layout, emitted in order.
struct DbxUnit {
    enum Kind { Header, FileInfo, Nodes, Infos, Blocks, Random, Zeros } kind;
    DbxUnit(Kind k, uint32_t s = 0, uint32_t c = 0, uint32_t ins = 0) : kind(k), size(s), cut(c), insert(ins) {}
    uint32_t size = 0;
    uint32_t cut = 0;     // bytes of this unit's start that are lost (a shift for what follows)
    uint32_t insert = 0;  // garbage bytes written before this unit that offsets do not count
    std::vector<uint32_t> messages;  // Blocks: messages with blocks in this segment
};

class DbxBuilder {
public:
    DbxBuilder(const Options& options, bool keepBytes)
        : m_options(options), m_rng(options.seed), m_keepBytes(keepBytes) {}

    Manifest Build(Sink& sink);

private:
    void Plan();
    uint32_t NewMessage(uint32_t minSize, uint32_t maxSize, const char* recipe);
    void Place(const std::vector<uint32_t>& group);
    void CloseSegment();
    void EmitUnit(Sink& sink, DbxUnit& unit);
    void FillBlocks(DbxUnit& unit, uint8_t* seg, uint32_t segStart);
    void FillInfos(uint8_t* p, uint32_t size, uint32_t start);
    void FillNodes(uint8_t* p, uint32_t size, uint32_t start);
    void Expect(Sink& sink, const std::vector<uint8_t>& seg, uint32_t segStart, const DbxUnit& unit);
    uint64_t FinalPos(uint32_t virtualPos) const { return static_cast<uint32_t>(virtualPos - m_shift); }

    const Options& m_options;
    Rng m_rng;
    bool m_keepBytes;
    std::vector<DbxMessage> m_messages;
    std::vector<DbxUnit> m_units;
    DbxUnit m_open{DbxUnit::Blocks};
    uint32_t m_openUsed = 0;
    uint32_t m_pendingCut = 0, m_pendingInsert = 0, m_pendingGarbage = 0;
    uint32_t m_shift = 0;            // current self offset minus file position
    uint64_t m_virtual = 0;          // current virtual (self-offset) position
    uint32_t m_truncated = UINT32_MAX;
    uint32_t m_truncBlock = 0, m_truncKeep = 0;
    Manifest m_manifest;
};

uint32_t DbxBuilder::NewMessage(uint32_t minSize, uint32_t maxSize, const char* recipe) {
    DbxMessage m;
    m.stored.id = static_cast<uint32_t>(m_messages.size() + 1);
    m.stored.subject = PickSubject(m_rng, m.stored.id);
    bool folded = m_rng.Below(10) == 0;
    m.stored.text = ComposeMessage(m_rng, m.stored.id, m.stored.subject, m_rng.Range(minSize, maxSize), folded);
    if (folded && !m.stored.subject.empty()) m.stored.subject += " (folded)";
    m.stored.damage = recipe;
    m_messages.push_back(std::move(m));
    return static_cast<uint32_t>(m_messages.size() - 1);
}

void DbxBuilder::CloseSegment() {
    if (m_open.messages.empty()) return;
    m_open.size = kBlocksPerSegment * kBlockSize;
    m_units.push_back(std::move(m_open));
    m_open = DbxUnit{DbxUnit::Blocks};
    m_openUsed = 0;
    // Realistic stores keep index nodes and message-info objects between
    // block segments.
    if (m_rng.Below(3) == 0) m_units.push_back({DbxUnit::Nodes, kNodeSegment});
    if (m_rng.Below(3) == 0) m_units.push_back({DbxUnit::Infos, kInfoSegment});
}

// Puts a group of messages (one, or two that must share a segment) into the
// open block segment, in slot order as each recipe wants it.
void DbxBuilder::Place(const std::vector<uint32_t>& group) {
    uint32_t need = 0;
    for (uint32_t i : group) need += BlocksFor(m_messages[i].stored.text.size());
    if (need > kBlocksPerSegment) throw std::runtime_error("message too large for one segment");
    if (m_openUsed + need > kBlocksPerSegment) CloseSegment();
    uint32_t segIndex = static_cast<uint32_t>(m_units.size());
    auto take = [&](uint32_t n) { uint32_t first = m_openUsed; m_openUsed += n; return first; };
    DbxMessage& a = m_messages[group[0]];
    uint32_t na = BlocksFor(a.stored.text.size());
    if (a.hasRecipe && a.recipe == Recipe::Interleaved) {
        DbxMessage& b = m_messages[group[1]];
        uint32_t nb = BlocksFor(b.stored.text.size());
        uint32_t first = take(na + nb);
        uint32_t ia = 0, ib = 0, slot = first;
        while (ia < na || ib < nb) {
            if (ia < na) { a.slots.push_back(slot++); ++ia; }
            if (ib < nb) { b.slots.push_back(slot++); ++ib; }
        }
    } else {
        for (uint32_t gi : group) {
            DbxMessage& m = m_messages[gi];
            uint32_t n = BlocksFor(m.stored.text.size());
            uint32_t first = take(n);
            for (uint32_t k = 0; k < n; ++k)
                m.slots.push_back(m.hasRecipe && m.recipe == Recipe::BackToFront ? first + n - 1 - k : first + k);
        }
    }
    for (uint32_t gi : group) {
        m_messages[gi].segment = segIndex;
        m_open.messages.push_back(gi);
    }
}

void DbxBuilder::Plan() {
    m_units.push_back({DbxUnit::Header, kDbxHeaderSize});
    m_units.push_back({DbxUnit::FileInfo, kFileInfoSize});
    for (const Damage& d : m_options.damages)
        if (d.recipe == Recipe::CutStart) m_units[0].cut = std::min(d.amount, kDbxHeaderSize);

    // Ordinary messages, with the recipes spread among them.
    std::vector<const Damage*> recipes;
    for (const Damage& d : m_options.damages)
        if (d.recipe != Recipe::CutStart && d.recipe != Recipe::Truncate) recipes.push_back(&d);
    const uint32_t total = m_options.messageCount + static_cast<uint32_t>(recipes.size());
    size_t nextRecipe = 0;
    const uint32_t maxSize = std::max<uint32_t>(m_options.maxMessageSize, 2200);
    for (uint32_t k = 0; k < total; ++k) {
        // Recipe j sits at about (j + 1) / (recipes + 1) of the way through.
        bool recipeHere = nextRecipe < recipes.size() &&
                          (k >= (nextRecipe + 1) * total / (recipes.size() + 1) ||
                           total - k <= recipes.size() - nextRecipe);
        if (!recipeHere) {
            Place({NewMessage(300, maxSize, "")});
            continue;
        }
        const Damage& d = *recipes[nextRecipe++];
        const char* name = RecipeName(d.recipe);
        switch (d.recipe) {
        case Recipe::BackToFront:
        case Recipe::Loop:
        case Recipe::Freed: {
            uint32_t i = NewMessage(1400, maxSize, name);
            m_messages[i].recipe = d.recipe;
            m_messages[i].hasRecipe = true;
            Place({i});
            break;
        }
        case Recipe::SmashedHeader: {
            uint32_t i = NewMessage(2600, maxSize, name);
            m_messages[i].recipe = d.recipe;
            m_messages[i].hasRecipe = true;
            Place({i});
            break;
        }
        case Recipe::SelfLoop: {
            uint32_t i = NewMessage(300, 500, name);
            m_messages[i].recipe = d.recipe;
            m_messages[i].hasRecipe = true;
            Place({i});
            break;
        }
        case Recipe::Interleaved:
        case Recipe::Merged: {
            uint32_t a = NewMessage(1400, maxSize, name);
            uint32_t b = NewMessage(d.recipe == Recipe::Merged ? 700 : 1400, maxSize, name);
            for (uint32_t i : {a, b}) {
                m_messages[i].recipe = d.recipe;
                m_messages[i].hasRecipe = true;
            }
            m_messages[a].partner = b;
            m_messages[b].partner = a;
            if (d.recipe == Recipe::Merged) {
                // b's own text fills whole blocks; its last own block then
                // points into a's chain at joinBlock.
                std::string& t = m_messages[b].stored.text;
                t.resize(std::max<size_t>(kBlockBody, t.size() / kBlockBody * kBlockBody));
                m_messages[b].joinBlock = 1 + m_rng.Below(BlocksFor(m_messages[a].stored.text.size()) - 1);
            }
            Place({a, b});
            break;
        }
        case Recipe::CutMiddle:
        case Recipe::InsertMiddle:
        case Recipe::Garbage: {
            CloseSegment();
            uint32_t size = std::max<uint32_t>(d.amount, 64) + 4096;
            DbxUnit u{d.recipe == Recipe::Garbage ? DbxUnit::Random : DbxUnit::Infos, size};
            if (d.recipe == Recipe::Garbage) u.size = std::max<uint32_t>(d.amount, 1);
            if (d.recipe == Recipe::CutMiddle) u.cut = d.amount;
            m_units.push_back(u);
            if (d.recipe == Recipe::InsertMiddle) m_units.push_back({DbxUnit::Zeros, 0, 0, d.amount});
            break;
        }
        default:
            break;
        }
    }
    for (const Damage& d : m_options.damages) {
        if (d.recipe != Recipe::Truncate) continue;
        CloseSegment();
        uint32_t i = NewMessage(2600, maxSize, RecipeName(d.recipe));
        m_messages[i].recipe = d.recipe;
        m_messages[i].hasRecipe = true;
        Place({i});
        m_truncated = i;
        uint32_t n = BlocksFor(m_messages[i].stored.text.size());
        m_truncBlock = 1 + m_rng.Below(n - 1);
        m_truncKeep = m_rng.Below(kBlockBody / 2);
    }
    CloseSegment();

    // Filler up to the target size, spread over the gaps after the block
    // segments (never after the truncated last one: the file ends there).
    if (m_options.targetSize) {
        uint64_t used = 0;
        size_t gaps = 0;
        for (const DbxUnit& u : m_units) {
            used += u.size;
            gaps += u.kind == DbxUnit::Blocks;
        }
        if (m_truncated != UINT32_MAX) --gaps;
        if (m_options.targetSize > used && gaps) {
            const uint64_t perGap = (m_options.targetSize - used) / gaps;
            std::vector<DbxUnit> out;
            size_t seen = 0;
            for (DbxUnit& u : m_units) {
                bool isBlocks = u.kind == DbxUnit::Blocks;
                out.push_back(std::move(u));
                if (!isBlocks || seen++ >= gaps) continue;
                for (uint64_t left = perGap; left;) {
                    uint32_t kind = m_rng.Below(8);
                    DbxUnit f{kind < 1 ? DbxUnit::Nodes : kind < 3 ? DbxUnit::Infos
                              : kind < 4 ? DbxUnit::Zeros : DbxUnit::Random};
                    f.size = f.kind == DbxUnit::Nodes ? kNodeSegment
                           : f.kind == DbxUnit::Infos ? kInfoSegment : (1u << 20);
                    f.size = static_cast<uint32_t>(std::min<uint64_t>(f.size, left));
                    left -= f.size;
                    out.push_back(f);
                }
            }
            m_units = std::move(out);
        }
    }
}

void DbxBuilder::FillNodes(uint8_t* p, uint32_t size, uint32_t start) {
    for (uint32_t off = 0; off + kNodeSize <= size; off += kNodeSize) {
        uint8_t* n = p + off;
        Put32(n, start + off);  // self offset
        Put32(n + 4, 0);        // always 0: never mistaken for a block
        Put32(n + 8, m_rng.Below(2) ? start + m_rng.Below(size) / 4 * 4 : 0);  // child node
        Put32(n + 12, start);   // parent
        n[0x11] = static_cast<uint8_t>(m_rng.Below(0x34));  // entries in use
        for (uint32_t e = 0; e < n[0x11]; ++e) {
            Put32(n + 0x18 + e * 12, 0x24BC + m_rng.Below(0x100000) / 4 * 4);  // message info
            Put32(n + 0x1C + e * 12, 0);
            Put32(n + 0x20 + e * 12, m_rng.Below(50));
        }
    }
}

void DbxBuilder::FillInfos(uint8_t* p, uint32_t size, uint32_t start) {
    uint32_t off = 0;
    while (off + 64 <= size) {
        uint32_t len = std::min<uint32_t>(m_rng.Range(0x40, 0x180) / 4 * 4, size - off - 12);
        uint8_t* o = p + off;
        Put32(o, start + off);  // self offset
        Put32(o + 4, len);      // length of the index data
        o[8] = static_cast<uint8_t>(len + 12);
        o[9] = static_cast<uint8_t>((len + 12) >> 8);
        o[10] = static_cast<uint8_t>(m_rng.Range(4, 12));  // entries
        o[11] = static_cast<uint8_t>(m_rng.Range(1, 9));   // changes: keeps +8 above +4
        m_rng.Fill(o + 12, len);
        for (uint32_t i = 12; i < len + 12; ++i)
            if (o[i] > 0x7E) o[i] &= 0x5F;
        off += len + 12;
    }
}

void DbxBuilder::FillBlocks(DbxUnit& unit, uint8_t* seg, uint32_t segStart) {
    auto slotPos = [&](uint32_t slot) { return segStart + slot * kBlockSize; };
    for (uint32_t gi : unit.messages) {
        DbxMessage& m = m_messages[gi];
        const std::string& text = m.stored.text;
        const uint32_t n = static_cast<uint32_t>(m.slots.size());
        for (uint32_t k = 0; k < n; ++k) {
            uint8_t* b = seg + m.slots[k] * kBlockSize;
            uint32_t pos = slotPos(m.slots[k]);
            size_t from = static_cast<size_t>(k) * kBlockBody;
            uint32_t used = static_cast<uint32_t>(std::min<size_t>(kBlockBody, text.size() - from));
            uint32_t next = k + 1 < n ? slotPos(m.slots[k + 1]) : 0;
            if (m.hasRecipe && k + 1 == n) {
                if (m.recipe == Recipe::SelfLoop) next = pos;
                if (m.recipe == Recipe::Loop) next = slotPos(m.slots[std::min<uint32_t>(1, n - 1)]);
                if (m.recipe == Recipe::Merged && m.partner < gi)
                    next = slotPos(m_messages[m.partner].slots[m.joinBlock]);
            }
            Put32(b, pos);
            Put32(b + 4, kBlockBody);
            Put32(b + 8, used);
            Put32(b + 12, next);
            std::memcpy(b + 16, text.data() + from, used);
            if (m.hasRecipe && m.recipe == Recipe::Freed) {
                // A deleted block: new header, free-list link over the text.
                Put32(b + 4, 0x1FC);
                Put32(b + 8, kBlockSize);
                Put32(b + 16, k + 1 < n ? slotPos(m.slots[k + 1]) : 0);
            }
        }
        if (m.hasRecipe && m.recipe == Recipe::SmashedHeader) {
            // An unreadable sector read back as zeros: it ends with the header
            // of block i and takes the tail of block i-1's text with it.
            uint32_t i = n / 2;
            uint8_t* h = seg + m.slots[i] * kBlockSize;
            std::memset(h + 16 - 512, 0, 512);
        }
    }
}

// Works out what a repair brings back from the messages of one block segment.
void DbxBuilder::Expect(Sink& sink, const std::vector<uint8_t>& seg, uint32_t segStart, const DbxUnit& unit) {
    auto data = [&](uint32_t slot) {
        const uint8_t* b = seg.data() + slot * kBlockSize;
        uint32_t used = b[8] | b[9] << 8 | b[10] << 16 | static_cast<uint32_t>(b[11]) << 24;
        return std::string(reinterpret_cast<const char*>(b + 16), std::min(used, kBlockBody));
    };
    auto head = [&](uint32_t slot) { return FinalPos(segStart + slot * kBlockSize); };
    for (uint32_t gi : unit.messages) {
        DbxMessage& m = m_messages[gi];
        const uint32_t n = static_cast<uint32_t>(m.slots.size());
        m.stored.shift = m_shift;
        for (uint32_t s : m.slots) m.stored.blocks.push_back(head(s));
        const uint32_t id = m.stored.id;
        std::string all;
        for (uint32_t k = 0; k < n; ++k) all += data(m.slots[k]);
        if (!m.hasRecipe) {
            AddRecovery(m_manifest, id, head(m.slots[0]), m_shift, all, m_keepBytes);
            continue;
        }
        switch (m.recipe) {
        case Recipe::Freed:
            break;  // deleted: nothing to recover
        case Recipe::SmashedHeader: {
            uint32_t i = n / 2;
            std::string prefix, suffix;
            for (uint32_t k = 0; k < i; ++k) prefix += data(m.slots[k]);
            for (uint32_t k = i + 1; k < n; ++k) suffix += data(m.slots[k]);
            // The head's successor check reads block 1: with block 1 smashed
            // the head is no candidate and the prefix is lost.
            if (i >= 2) AddRecovery(m_manifest, id, head(m.slots[0]), m_shift, prefix, m_keepBytes);
            if (i + 1 < n) AddRecovery(m_manifest, id, head(m.slots[i + 1]), m_shift, suffix, m_keepBytes);
            break;
        }
        case Recipe::Merged:
            if (m.partner < gi) {
                const DbxMessage& a = m_messages[m.partner];
                for (size_t k = m.joinBlock; k < a.slots.size(); ++k) all += data(a.slots[k]);
            }
            AddRecovery(m_manifest, id, head(m.slots[0]), m_shift, all, m_keepBytes);
            break;
        case Recipe::Truncate: {
            std::string part;
            for (uint32_t k = 0; k < m_truncBlock; ++k) part += data(m.slots[k]);
            std::string last = data(m.slots[m_truncBlock]);
            part += last.substr(0, m_truncKeep);
            part.append(last.size() - std::min<size_t>(m_truncKeep, last.size()), '\0');
            AddRecovery(m_manifest, id, head(m.slots[0]), m_shift, part, m_keepBytes);
            sink.SetLimit(head(m.slots[m_truncBlock]) + 16 + m_truncKeep);
            break;
        }
        default:  // BackToFront, Interleaved, SelfLoop, Loop: all of it
            AddRecovery(m_manifest, id, head(m.slots[0]), m_shift, all, m_keepBytes);
            break;
        }
    }
}

void DbxBuilder::EmitUnit(Sink& sink, DbxUnit& unit) {
    if (unit.insert) {
        // Bytes that came from nowhere: every later offset is off by them.
        std::vector<uint8_t> g(unit.insert);
        FillGarbage(m_rng, g.data(), g.size());
        sink.Write(g.data(), g.size());
        m_shift -= unit.insert;
    }
    const uint32_t start = static_cast<uint32_t>(m_virtual);
    std::vector<uint8_t> seg(unit.size, 0);
    switch (unit.kind) {
    case DbxUnit::Header: {
        static const uint8_t sig[28] = {0xCF, 0xAD, 0x12, 0xFE, 0xC5, 0xFD, 0x74, 0x6F, 0x66, 0xE3,
                                        0xD1, 0x11, 0x9A, 0x4E, 0x00, 0xC0, 0x4F, 0xA3, 0x09, 0xD4,
                                        0x05, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00};
        std::memcpy(seg.data(), sig, sizeof sig);
        uint32_t messages = 0;
        for (const DbxMessage& m : m_messages) messages += !(m.hasRecipe && m.recipe == Recipe::Freed);
        uint64_t size = 0;
        for (const DbxUnit& u : m_units) size += u.size;
        Put32(seg.data() + 0x7C, static_cast<uint32_t>(size));  // end of the used part
        Put32(seg.data() + 0xC4, messages);
        Put32(seg.data() + 0xE4, kDbxHeaderSize + kFileInfoSize);  // index root (nominal)
        break;
    }
    case DbxUnit::FileInfo: {
        Put32(seg.data(), start);
        static const char name[] = "Inbox";
        std::memcpy(seg.data() + 0x10, name, sizeof name);
        break;
    }
    case DbxUnit::Nodes: FillNodes(seg.data(), unit.size, start); break;
    case DbxUnit::Infos: FillInfos(seg.data(), unit.size, start); break;
    case DbxUnit::Random: FillGarbage(m_rng, seg.data(), seg.size()); break;
    case DbxUnit::Zeros: break;
    case DbxUnit::Blocks: FillBlocks(unit, seg.data(), start); break;
    }
    // Bytes lost at the start of this unit shift everything after them.
    const uint32_t cut = std::min(unit.cut, unit.size);
    m_shift += cut;
    if (unit.kind == DbxUnit::Blocks) Expect(sink, seg, start, unit);
    sink.Write(seg.data() + cut, seg.size() - cut);
    m_virtual += unit.size;
}

Manifest DbxBuilder::Build(Sink& sink) {
    Plan();
    for (DbxUnit& u : m_units) EmitUnit(sink, u);
    m_manifest.kind = StoreKind::Dbx;
    m_manifest.seed = m_options.seed;
    m_manifest.fileSize = sink.Size();
    for (DbxMessage& m : m_messages) {
        if (!m_keepBytes) std::string().swap(m.stored.text);
        m_manifest.messages.push_back(std::move(m.stored));
    }
    std::stable_sort(m_manifest.recoveries.begin(), m_manifest.recoveries.end(),
                     [](const Recovery& a, const Recovery& b) { return a.headPosition < b.headPosition; });
    return std::move(m_manifest);
}

// ---- .mbx --------------------------------------------------------------

Manifest BuildMbx(const Options& options, Sink& sink, bool keepBytes) {
    Rng rng(options.seed);
    Manifest manifest;
    manifest.kind = StoreKind::Mbx;
    manifest.seed = options.seed;
    auto has = [&](Recipe r) {
        return std::any_of(options.damages.begin(), options.damages.end(),
                           [&](const Damage& d) { return d.recipe == r; });
    };
    uint32_t garbage = 0;
    for (const Damage& d : options.damages)
        if (d.recipe == Recipe::MbxGarbage) garbage = std::max<uint32_t>(d.amount, 16);

    uint8_t header[kMbxHeaderSize] = {};
    std::memcpy(header, "JMF6", 4);
    Put32(header + 4, 0x00010003);
    Put32(header + 8, options.messageCount);
    Put32(header + 12, options.messageCount);
    Put32(header + 20, 1);
    sink.Write(header, sizeof header);

    const uint32_t maxSize = std::max<uint32_t>(options.maxMessageSize, 1200);
    uint32_t number = 0;
    auto record = [&](const std::string& text, uint32_t textSize, uint32_t recordSize) {
        std::string r(16, '\0');
        Put32(reinterpret_cast<uint8_t*>(r.data()), kMbxMarker);
        Put32(reinterpret_cast<uint8_t*>(r.data()) + 4, ++number);
        Put32(reinterpret_cast<uint8_t*>(r.data()) + 8, recordSize);
        Put32(reinterpret_cast<uint8_t*>(r.data()) + 12, textSize);
        return r + text;
    };
    auto padded = [](uint32_t textSize) { return (16 + textSize + 3) / 4 * 4; };
    auto newMessage = [&](const char* damage, uint32_t lo, uint32_t hi) {
        StoredMessage m;
        m.id = static_cast<uint32_t>(manifest.messages.size() + 1);
        m.subject = PickSubject(rng, m.id);
        m.text = ComposeMessage(rng, m.id, m.subject, rng.Range(lo, hi), false);
        m.damage = damage;
        return m;
    };
    auto emit = [&](StoredMessage m, const std::string& bytes) {
        m.blocks.push_back(sink.Size());
        sink.Write(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (!keepBytes) std::string().swap(m.text);
        manifest.messages.push_back(std::move(m));
    };

    const uint32_t total = options.messageCount;
    const bool nested = has(Recipe::MbxNested), badLength = has(Recipe::MbxBadLength);
    for (uint32_t k = 0; k < total; ++k) {
        if (nested && k == total / 3) {
            // A message that carries another store's record as its text body.
            StoredMessage inner = newMessage("nested-inner", 300, 900);
            StoredMessage outer = newMessage("nested", 300, 900);
            std::string innerRecord = record(inner.text, static_cast<uint32_t>(inner.text.size()),
                                             padded(static_cast<uint32_t>(inner.text.size())));
            outer.text += innerRecord + "\r\n";
            uint32_t size = static_cast<uint32_t>(outer.text.size());
            std::string bytes = record(outer.text, size, padded(size));
            uint64_t at = sink.Size();
            AddRecovery(manifest, outer.id, at, 0, outer.text, keepBytes);
            uint64_t innerAt = at + 16 + (outer.text.size() - innerRecord.size() - 2);
            AddRecovery(manifest, inner.id, innerAt, 0, inner.text, keepBytes);
            inner.blocks.push_back(innerAt);
            if (!keepBytes) std::string().swap(inner.text);
            emit(std::move(outer), bytes);
            manifest.messages.push_back(std::move(inner));
        }
        if (badLength && k == total / 2) {
            // Text size above record size - 16: the carver passes it over.
            StoredMessage m = newMessage("bad-length", 300, 900);
            uint32_t size = static_cast<uint32_t>(m.text.size());
            std::string bytes = record(m.text, size, size + 12);
            emit(std::move(m), bytes);
        }
        if (garbage && k == total / 4) {
            std::vector<uint8_t> g(garbage);
            FillGarbage(rng, g.data(), g.size());
            sink.Write(g.data(), g.size());
        }
        StoredMessage m = newMessage("", 300, maxSize);
        uint32_t size = static_cast<uint32_t>(m.text.size());
        std::string bytes = record(m.text, size, padded(size));
        bytes.resize(padded(size), '\0');
        AddRecovery(manifest, m.id, sink.Size(), 0, m.text, keepBytes);
        emit(std::move(m), bytes);
        if (options.targetSize && sink.Size() < options.targetSize) {
            // Bytes between records that hold no marker (space of a store
            // that was not compacted), spread to reach the target size.
            std::vector<uint8_t> g((options.targetSize - sink.Size()) / (total - k));
            FillGarbage(rng, g.data(), g.size());
            sink.Write(g.data(), g.size());
        }
    }
    if (has(Recipe::MbxHugeLength)) {
        // A corrupt last header: a text size near 2 GiB in a small file. The
        // repair keeps what is there and pads at most 1 MiB.
        StoredMessage m = newMessage("huge-length", 300, 900);
        std::string bytes = record(m.text, 0x7FFFFF00u, 0xFFFFFFF0u);
        std::string expect = m.text + std::string(kPaddingCap, '\0');
        AddRecovery(manifest, m.id, sink.Size(), 0, expect, keepBytes);
        emit(std::move(m), bytes);
    } else if (has(Recipe::MbxTruncate)) {
        StoredMessage m = newMessage("truncated", 1200, maxSize);
        uint32_t size = static_cast<uint32_t>(m.text.size());
        uint32_t keep = rng.Range(1, size - 1);
        std::string bytes = record(m.text, size, padded(size));
        bytes.resize(16 + keep);
        std::string expect = m.text.substr(0, keep) + std::string(size - keep, '\0');
        AddRecovery(manifest, m.id, sink.Size(), 0, expect, keepBytes);
        emit(std::move(m), bytes);
    }
    manifest.fileSize = sink.Size();
    std::stable_sort(manifest.recoveries.begin(), manifest.recoveries.end(),
                     [](const Recovery& a, const Recovery& b) { return a.headPosition < b.headPosition; });
    return manifest;
}

// ---- JSON --------------------------------------------------------------

std::string JsonString(const std::string& bytes) {
    std::string out = "\"";
    for (unsigned char c : bytes) {
        if (c == '"' || c == '\\') { out += '\\'; out += static_cast<char>(c); }
        else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);  // bytes as Latin-1 code points
            out += buf;
        } else out += static_cast<char>(c);
    }
    return out + "\"";
}

std::string Base64(const std::string& in) {
    static const char t[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        uint32_t v = static_cast<uint8_t>(in[i]) << 16 | static_cast<uint8_t>(in[i + 1]) << 8 |
                     static_cast<uint8_t>(in[i + 2]);
        out += t[v >> 18]; out += t[(v >> 12) & 63]; out += t[(v >> 6) & 63]; out += t[v & 63];
    }
    if (i < in.size()) {
        uint32_t v = static_cast<uint8_t>(in[i]) << 16;
        if (i + 1 < in.size()) v |= static_cast<uint8_t>(in[i + 1]) << 8;
        out += t[v >> 18]; out += t[(v >> 12) & 63];
        out += i + 1 < in.size() ? t[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

}  // namespace

uint64_t Fnv1a64(const void* data, size_t size) {
    uint64_t h = 0xCBF29CE484222325ull;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    for (size_t i = 0; i < size; ++i) h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

struct RecipeEntry { Recipe recipe; const char* name; };
static constexpr RecipeEntry kRecipes[] = {
    {Recipe::BackToFront, "back-to-front"}, {Recipe::Interleaved, "interleaved"},
    {Recipe::SelfLoop, "self-loop"}, {Recipe::Loop, "loop"}, {Recipe::Merged, "merged"},
    {Recipe::SmashedHeader, "smashed-header"}, {Recipe::Freed, "freed"},
    {Recipe::CutStart, "cut-start"}, {Recipe::CutMiddle, "cut"}, {Recipe::InsertMiddle, "insert"},
    {Recipe::Garbage, "garbage"}, {Recipe::Truncate, "truncate"},
    {Recipe::MbxTruncate, "mbx-truncate"}, {Recipe::MbxBadLength, "mbx-bad-length"},
    {Recipe::MbxHugeLength, "mbx-huge-length"}, {Recipe::MbxNested, "mbx-nested"},
    {Recipe::MbxGarbage, "mbx-garbage"},
};

const char* RecipeName(Recipe recipe) {
    for (const RecipeEntry& e : kRecipes)
        if (e.recipe == recipe) return e.name;
    return "?";
}

bool RecipeFromName(const std::string& name, Recipe& recipe) {
    for (const RecipeEntry& e : kRecipes)
        if (name == e.name) { recipe = e.recipe; return true; }
    return false;
}

std::string Manifest::ToJson(bool withBytes) const {
    std::string j = "{\n  \"kind\": \"";
    j += kind == StoreKind::Dbx ? "dbx" : "mbx";
    j += "\",\n  \"seed\": " + std::to_string(seed) + ",\n  \"file_size\": " + std::to_string(fileSize);
    j += ",\n  \"messages\": [";
    for (size_t i = 0; i < messages.size(); ++i) {
        const StoredMessage& m = messages[i];
        j += i ? ",\n    {" : "\n    {";
        j += "\"id\": " + std::to_string(m.id) + ", \"subject\": " + JsonString(m.subject);
        j += ", \"damage\": " + JsonString(m.damage) + ", \"shift\": " + std::to_string(m.shift);
        j += ", \"blocks\": [";
        for (size_t k = 0; k < m.blocks.size(); ++k) j += (k ? ", " : "") + std::to_string(m.blocks[k]);
        j += "]";
        if (withBytes) j += ", \"text_base64\": \"" + Base64(m.text) + "\"";
        j += "}";
    }
    j += "\n  ],\n  \"recoveries\": [";
    for (size_t i = 0; i < recoveries.size(); ++i) {
        const Recovery& r = recoveries[i];
        char fnv[24];
        std::snprintf(fnv, sizeof fnv, "%016llx", static_cast<unsigned long long>(r.fnv));
        j += i ? ",\n    {" : "\n    {";
        j += "\"message\": " + std::to_string(r.messageId) + ", \"head\": " + std::to_string(r.headPosition);
        j += ", \"shift\": " + std::to_string(r.shift) + ", \"size\": " + std::to_string(r.size);
        j += ", \"fnv1a64\": \"" + std::string(fnv) + "\"";
        if (withBytes) j += ", \"bytes_base64\": \"" + Base64(r.bytes) + "\"";
        j += "}";
    }
    j += "\n  ]\n}\n";
    return j;
}

Store Generate(const Options& options) {
    Store store;
    Sink sink(&store.bytes);
    if (options.kind == StoreKind::Dbx) {
        DbxBuilder builder(options, true);
        store.manifest = builder.Build(sink);
    } else {
        store.manifest = BuildMbx(options, sink, true);
    }
    return store;
}

Manifest GenerateToFile(const Options& options, const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + path);
    Manifest manifest;
    try {
        Sink sink(f);
        if (options.kind == StoreKind::Dbx) {
            DbxBuilder builder(options, false);
            manifest = builder.Build(sink);
        } else {
            manifest = BuildMbx(options, sink, false);
        }
        sink.Flush();
    } catch (...) {
        std::fclose(f);
        throw;
    }
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + path);
    return manifest;
}

}  // namespace storegen
