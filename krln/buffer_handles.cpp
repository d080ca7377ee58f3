// The table that turns the int handles held by the Java side into blocks of the global
// heap, and the lock that keeps it whole when the client calls from several threads.
#include <climits>

#include "krln.h"

// A handle is not the block's address: on 64-bit Windows a heap address need not fit
// in a Java int, and an address cannot tell a live block from a freed or invented one.
// Handles are serial numbers 1..INT_MAX instead, looked up in this table; a number not
// in the table is refused before anything is touched. The counter runs on and wraps
// round skipping the numbers still in use, so a freed handle is handed out again only
// after 2^31 - 1 further allocations.
//
// The table is an open-addressing hash with linear probing. Serial handles spread
// evenly over the slots by their low bits, so the handle itself is the hash.

namespace {

struct Entry {
    jint handle;   // 0: empty slot
    HGLOBAL block;
};

struct BufferTable {
    BufferTable() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    Entry* slots = nullptr;
    size_t capacity = 0;   // a power of two; the table is kept at most half full
    size_t used = 0;
    jint lastHandle = 0;
};

BufferTable table;   // constructed while the library attaches, before any native runs

size_t nextSlot(size_t slot) { return (slot + 1) & (table.capacity - 1); }
size_t homeSlot(jint handle) { return size_t(handle) & (table.capacity - 1); }

Entry* lookup(jint handle) {
    if (!table.capacity || handle == 0) return nullptr;
    for (size_t slot = homeSlot(handle);; slot = nextSlot(slot)) {
        if (table.slots[slot].handle == handle) return &table.slots[slot];
        if (!table.slots[slot].handle) return nullptr;
    }
}

void place(const Entry& entry) {
    size_t slot = homeSlot(entry.handle);
    while (table.slots[slot].handle) slot = nextSlot(slot);
    table.slots[slot] = entry;
}

bool grow() {
    size_t capacity = table.capacity ? table.capacity * 2 : 64;
    Entry* slots = static_cast<Entry*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, capacity * sizeof(Entry)));
    if (!slots) return false;
    Entry* old = table.slots;
    size_t oldCapacity = table.capacity;
    table.slots = slots;
    table.capacity = capacity;
    for (size_t i = 0; i < oldCapacity; ++i) {
        if (old[i].handle) place(old[i]);
    }
    if (old) HeapFree(GetProcessHeap(), 0, old);
    return true;
}

}  // namespace

BufferTableLock::BufferTableLock() { EnterCriticalSection(&table.lock); }

BufferTableLock::~BufferTableLock() { LeaveCriticalSection(&table.lock); }

jint AddBuffer(HGLOBAL block) {
    if (table.used >= size_t(INT_MAX) || ((table.used + 1) * 2 > table.capacity && !grow())) return 0;
    jint handle = table.lastHandle;
    do {
        handle = handle == INT_MAX ? 1 : handle + 1;
    } while (lookup(handle));
    place(Entry{handle, block});
    table.used++;
    table.lastHandle = handle;
    return handle;
}

HGLOBAL FindBuffer(jint handle) {
    Entry* entry = lookup(handle);
    return entry ? entry->block : nullptr;
}

void ReplaceBuffer(jint handle, HGLOBAL block) {
    Entry* entry = lookup(handle);
    if (entry) entry->block = block;
}

// Linear probing needs no tombstones: the entries after the hole that would no longer
// be found from their home slot move back into it.
void RemoveBuffer(jint handle) {
    Entry* entry = lookup(handle);
    if (!entry) return;
    size_t hole = size_t(entry - table.slots);
    for (size_t slot = nextSlot(hole); table.slots[slot].handle; slot = nextSlot(slot)) {
        size_t home = homeSlot(table.slots[slot].handle);
        size_t mask = table.capacity - 1;
        if (((slot - home) & mask) >= ((slot - hole) & mask)) {
            table.slots[hole] = table.slots[slot];
            hole = slot;
        }
    }
    table.slots[hole] = Entry{0, nullptr};
    table.used--;
}
