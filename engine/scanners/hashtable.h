// BlockHashMap: a chained hash map from 32-bit key to 32-bit value whose
// iteration order is part of the engine's behaviour (it numbers recovered
// messages): bucket = (key >> 4) % bucket count; new entries go to the head of
// their bucket; iteration visits buckets in ascending order and each bucket
// from head to tail. Entries are allocated in blocks of 10.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace pyxol {

class BlockHashMap {
public:
    BlockHashMap() = default;

    // Empties the map and gives it `buckets` buckets.
    void InitHashTable(uint32_t buckets);
    // Empties the map and releases its memory, buckets included.
    void RemoveAll();

    [[nodiscard]] bool Lookup(uint32_t key, uint32_t* value = nullptr) const;
    void SetAt(uint32_t key, uint32_t value);  // an existing key keeps its place
    bool RemoveKey(uint32_t key);
    [[nodiscard]] uint32_t GetCount() const { return m_nCount; }

    // Calls fn(key, value) in iteration order.
    template <typename Fn> void ForEach(Fn&& fn) const;

private:
    struct Entry {
        Entry* pNext;
        uint32_t key;
        uint32_t value;
    };
    Entry* NewEntry();

    std::vector<Entry*> m_buckets;
    std::vector<std::unique_ptr<Entry[]>> m_blocks;
    Entry* m_pFreeList = nullptr;
    uint32_t m_nCount = 0;
};

template <typename Fn> void BlockHashMap::ForEach(Fn&& fn) const {
    for (Entry* head : m_buckets)
        for (Entry* e = head; e; e = e->pNext) fn(e->key, e->value);
}

}  // namespace pyxol
