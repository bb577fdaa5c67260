// The library's one open-addressing hash table and the one mixer its users hash with.
//
// HashTable is linear probing over a power-of-two array of slots that doubles before an insertion
// would take it past its load limit (half full, unless the user fixes another fraction below one),
// so a probe is short and always meets an empty slot. The table never sees a key: a lookup brings
// the key's hash and a predicate that tells whether a full slot holds the key. What a slot holds
// is its user's choice, given by a policy:
//
//   struct Policy {
//       using Slot = ...;                          // copied into the array, moved when it grows
//       static Slot empty();                       // what an empty slot holds
//       static bool isEmpty(const Slot&);
//       uint64_t hashOf(const Slot&) const;        // the hash it went in with, to place it again
//   };
//
// so a slot may be an id whose key lives elsewhere (the mesh's index triples), carry a fingerprint
// that spares most comparisons (the mesh's merge), or hold its own hash (the weld's cells). Users
// that know their size up front reserve() it, so that nothing grows while they work (such a table
// may take a higher load limit, as its load stays where its size puts it), and a loop that knows
// its next hashes can prefetch() their slots. Pointers to slots stay valid until an insertion
// grows the table.
//
// HashMap and HashSet are thin layers over it for the reader's lookups.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "zel_internal.h"

namespace zel {

// The mixer: xor-shift, multiply, xor-shift. High bits reach the low ones, which pick the slot.
inline uint64_t hashMix(uint64_t h) {
    h ^= h >> 32;
    h *= 0xD6E8FEB86659FD93ull;
    h ^= h >> 29;
    return h;
}

// Keys of several words are folded into one: word i (from 0) is multiplied by the (i + 1)th power
// of this odd constant, which carries it into the higher bits, the products are xored together
// (they do not wait for each other), and the fold goes through hashMix once.
constexpr uint64_t kHashFold = 0x9E3779B97F4A7C15ull;

// The hash of a few words held in registers. (Stored into an array for hashBytes, words narrower
// than 64 bits would be loaded back before their stores are done, which stalls.)
template <class... Words>
inline uint64_t hashWords(Words... words) {
    uint64_t h = 0, multiplier = kHashFold;
    ((h ^= static_cast<uint64_t>(words) * multiplier, multiplier *= kHashFold), ...);
    return hashMix(h);
}

// The hash of `size` bytes in memory, read as words of 8 bytes (the last one zero-padded) and
// folded as hashWords folds them, the length with them.
inline uint64_t hashBytes(const void* data, size_t size) {
    const unsigned char* at = static_cast<const unsigned char*>(data);
    uint64_t h = size, multiplier = kHashFold;
    for (; size >= 8; at += 8, size -= 8, multiplier *= kHashFold) {
        uint64_t word;
        std::memcpy(&word, at, 8);
        h ^= word * multiplier;
    }
    if (size) {
        uint64_t word = 0;
        std::memcpy(&word, at, size);
        h ^= word * multiplier;
    }
    return hashMix(h);
}

// At most kLoadNumerator / kLoadDenominator of the slots are full.
template <class Policy, size_t kLoadNumerator = 1, size_t kLoadDenominator = 2>
class HashTable {
    static_assert(0 < kLoadNumerator && kLoadNumerator < kLoadDenominator,
                  "a slot must stay empty");

public:
    using Slot = typename Policy::Slot;

    explicit HashTable(Policy policy = Policy()) : policy_(std::move(policy)) {}

    size_t size() const { return count_; }
    size_t capacity() const { return slots_.size(); }
    const Slot* slots() const { return slots_.data(); }

    // Makes room for `count` entries in all, so that they go in without the table growing.
    void reserve(size_t count) {
        size_t capacity = std::max(kLeastCapacity, slots_.size());
        while (!fits(count, capacity)) capacity *= 2;
        if (capacity != slots_.size()) rehash(capacity);
    }

    // Fetches the slot where the probe for `hash` starts.
    void prefetch(uint64_t hash) const { __builtin_prefetch(slots_.data() + (hash & mask_)); }

    // The slot with `hash` that `matches` accepts, or null.
    template <class Match>
    const Slot* find(uint64_t hash, Match&& matches) const {
        if (slots_.empty()) return nullptr;
        const Slot& slot = slots_[probe(hash, matches)];
        return Policy::isEmpty(slot) ? nullptr : &slot;
    }
    template <class Match>
    Slot* find(uint64_t hash, Match&& matches) {
        return const_cast<Slot*>(std::as_const(*this).find(hash, matches));
    }

    // The slot with `hash` that `matches` accepts (second: false), or else an empty slot taken for
    // it (second: true), which the caller fills before it uses the table again.
    template <class Match>
    std::pair<Slot*, bool> insert(uint64_t hash, Match&& matches) {
        size_t at = 0;
        if (!slots_.empty()) {
            at = probe(hash, matches);
            if (!Policy::isEmpty(slots_[at])) return {&slots_[at], false};
        }
        if (!fits(count_ + 1, slots_.size())) {
            rehash(std::max(kLeastCapacity, 2 * slots_.size()));
            at = probe(hash, [](const Slot&) { return false; });
        }
        count_++;
        ZEL_ASSERT(fits(count_, slots_.size()));
        return {&slots_[at], true};
    }

private:
    static constexpr size_t kLeastCapacity = 16;

    static bool fits(size_t count, size_t capacity) {
        return kLoadDenominator * count <= kLoadNumerator * capacity;
    }

    // The slot that ends the probe for `hash`: the one `matches` accepts, or the first empty one.
    template <class Match>
    size_t probe(uint64_t hash, const Match& matches) const {
        size_t at = hash & mask_;
        for (size_t steps = 0; !Policy::isEmpty(slots_[at]) && !matches(slots_[at]); steps++) {
            ZEL_ASSERT(steps < mask_);  // some slot is empty, so the probe ends
            at = (at + 1) & mask_;
        }
        return at;
    }

    void rehash(size_t capacity) {
        ZEL_ASSERT(capacity >= kLeastCapacity && (capacity & (capacity - 1)) == 0);
        ZEL_ASSERT(fits(count_, capacity));
        std::vector<Slot> old(capacity, Policy::empty());
        old.swap(slots_);
        mask_ = capacity - 1;
        for (Slot& slot : old)
            if (!Policy::isEmpty(slot))
                slots_[probe(policy_.hashOf(slot), [](const Slot&) { return false; })] =
                    std::move(slot);
    }

    Policy policy_;
    std::vector<Slot> slots_;
    size_t mask_ = 0;
    size_t count_ = 0;
};

inline uint64_t hashKey(uint32_t key) {
    return hashWords(key);
}
inline uint64_t hashKey(const std::string& key) {
    return hashBytes(key.data(), key.size());
}

// Keys to values, with the entries read as std::unordered_map's are: `first` the key, `second`
// the value. The entries lie in one array in the order they were made, which is also the order
// iteration visits them; the table's slots hold an entry's number and 32 bits of its key's hash
// (a fingerprint, and enough to place the slot again when the table grows). Lookups mostly come
// in the order the entries were made (a group is found again in file order), and then walk the
// array as it lies, where slots holding the entries themselves would be fetched from all over.
// Pointers to entries stay valid until the next insertion.
template <class Key, class Value>
class HashMap {
public:
    struct Entry {
        Key first;
        Value second;
    };

    const Entry* find(const Key& key) const {
        const uint32_t hash = static_cast<uint32_t>(hashKey(key));
        const Slot* slot = table_.find(hash, matcher(key, hash));
        return slot ? &entries_[slot->entry] : nullptr;
    }

    // The entry of `key`, made with a value-initialised value if there is none (second: true).
    std::pair<Entry*, bool> try_emplace(const Key& key) {
        const uint32_t hash = static_cast<uint32_t>(hashKey(key));
        auto found = table_.insert(hash, matcher(key, hash));
        if (found.second) {
            entries_.push_back(Entry{key, Value()});
            *found.first = Slot{hash, static_cast<uint32_t>(entries_.size() - 1)};
        }
        return {&entries_[found.first->entry], found.second};
    }

    // The entry of `key`, made with `value` if there is none (second: true); an entry that is
    // there keeps its value.
    std::pair<Entry*, bool> emplace(const Key& key, const Value& value) {
        auto found = try_emplace(key);
        if (found.second) found.first->second = value;
        return found;
    }

    Value& operator[](const Key& key) { return try_emplace(key).first->second; }

    size_t size() const { return entries_.size(); }
    typename std::vector<Entry>::const_iterator begin() const { return entries_.begin(); }
    typename std::vector<Entry>::const_iterator end() const { return entries_.end(); }

private:
    struct Slot {
        uint32_t hash;
        uint32_t entry;  // UINT32_MAX: empty
    };
    struct Policy {
        using Slot = HashMap::Slot;
        static Slot empty() { return Slot{0, UINT32_MAX}; }
        static bool isEmpty(const Slot& slot) { return slot.entry == UINT32_MAX; }
        uint64_t hashOf(const Slot& slot) const { return slot.hash; }
    };

    auto matcher(const Key& key, uint32_t hash) const {
        return [this, &key, hash](const Slot& slot) {
            return slot.hash == hash && entries_[slot.entry].first == key;
        };
    }

    std::vector<Entry> entries_;
    HashTable<Policy> table_;
};

// A set of keys; insert() answers, as std::unordered_set's does, whether the key is new (second).
template <class Key>
class HashSet {
public:
    std::pair<const Key*, bool> insert(const Key& key) {
        auto found = map_.try_emplace(key);
        return {&found.first->first, found.second};
    }
    size_t size() const { return map_.size(); }

private:
    struct Nothing {};
    HashMap<Key, Nothing> map_;
};

}  // namespace zel
