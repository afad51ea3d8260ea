// BlockHashMap: chained buckets with entries carved from blocks of ten.
#include "scanners/hashtable.h"

namespace pyxol {

namespace {
constexpr uint32_t kEntriesPerBlock = 10;
}

void BlockHashMap::InitHashTable(uint32_t buckets) {
    RemoveAll();
    m_buckets.assign(buckets ? buckets : 1, nullptr);
}

void BlockHashMap::RemoveAll() {
    m_buckets.clear();
    m_buckets.shrink_to_fit();
    m_blocks.clear();
    m_blocks.shrink_to_fit();
    m_pFreeList = nullptr;
    m_nCount = 0;
}

bool BlockHashMap::Lookup(uint32_t key, uint32_t* value) const {
    if (m_buckets.empty()) return false;
    for (Entry* e = m_buckets[(key >> 4) % m_buckets.size()]; e; e = e->pNext) {
        if (e->key == key) {
            if (value) *value = e->value;
            return true;
        }
    }
    return false;
}

BlockHashMap::Entry* BlockHashMap::NewEntry() {
    if (!m_pFreeList) {
        m_blocks.push_back(std::make_unique<Entry[]>(kEntriesPerBlock));
        Entry* block = m_blocks.back().get();
        for (uint32_t i = kEntriesPerBlock; i-- > 0;) {
            block[i].pNext = m_pFreeList;
            m_pFreeList = &block[i];
        }
    }
    Entry* e = m_pFreeList;
    m_pFreeList = e->pNext;
    return e;
}

void BlockHashMap::SetAt(uint32_t key, uint32_t value) {
    if (m_buckets.empty()) InitHashTable(17);
    Entry*& head = m_buckets[(key >> 4) % m_buckets.size()];
    for (Entry* e = head; e; e = e->pNext) {
        if (e->key == key) {
            e->value = value;
            return;
        }
    }
    Entry* e = NewEntry();
    e->key = key;
    e->value = value;
    e->pNext = head;
    head = e;
    ++m_nCount;
}

bool BlockHashMap::RemoveKey(uint32_t key) {
    if (m_buckets.empty()) return false;
    for (Entry** link = &m_buckets[(key >> 4) % m_buckets.size()]; *link; link = &(*link)->pNext) {
        if ((*link)->key == key) {
            Entry* e = *link;
            *link = e->pNext;
            e->pNext = m_pFreeList;
            m_pFreeList = e;
            --m_nCount;
            return true;
        }
    }
    return false;
}

}  // namespace pyxol
