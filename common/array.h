// array<T, owning>: the growable array of pointers behind cstring_array and the other
// owning lists. Entries may be null; an array that owns its entries deletes them when
// they are removed, cleared or when the array ends. Full arrays grow by 10 slots.
#pragma once

#include <new>
#include <stdlib.h>
#include <string.h>

template <class T, int owning>
class array {
public:
    explicit array(int slots = 0) : used(0), slotCount(0), items(nullptr), owns(owning != 0) {
        if (slots > 0) {
            items = static_cast<T**>(malloc(sizeof(T*) * size_t(slots)));
            if (items) slotCount = slots;
        }
    }
    virtual ~array() {
        clear();
        free(items);
    }
    array(const array&) = delete;
    array& operator=(const array&) = delete;

    int count() const { return used; }
    int capacity() const { return slotCount; }
    bool owns_entries() const { return owns; }
    void set_owns_entries(bool value) { owns = value; }
    T* at(int i) const { return i >= 0 && i < used ? items[i] : nullptr; }
    T* operator[](int i) const { return at(i); }

    // Appends item and answers its index, or -1 when no slot could be allocated; an
    // owning array then deletes item, as it would have done later.
    int add(T* item) { return insert_at(used, item); }

    int insert_at(int i, T* item) {
        if (i < 0 || i > used || !make_room()) {
            if (owns) delete item;
            return -1;
        }
        memmove(items + i + 1, items + i, sizeof(T*) * size_t(used - i));
        items[i] = item;
        used++;
        return i;
    }

    // Takes entry i out without deleting it; null when i is out of range.
    T* detach(int i) {
        T* item = at(i);
        if (i < 0 || i >= used) return nullptr;
        memmove(items + i, items + i + 1, sizeof(T*) * size_t(used - i - 1));
        used--;
        return item;
    }

    bool remove_at(int i) {
        if (i < 0 || i >= used) return false;
        T* item = detach(i);
        if (owns) delete item;
        return true;
    }

    // Deletes owned entries; the slots stay allocated.
    void clear() {
        if (owns)
            for (int i = 0; i < used; i++) delete items[i];
        used = 0;
    }

    // The runtime's quick sort; compare receives pointers to two entries (T* const*).
    void sort(int (*compare)(const void*, const void*)) {
        if (used > 1) qsort(items, size_t(used), sizeof(T*), compare);
    }

protected:
    bool make_room() {
        if (used < slotCount) return true;
        T** grown = static_cast<T**>(realloc(items, sizeof(T*) * size_t(slotCount + 10)));
        if (!grown) return false;
        items = grown;
        slotCount += 10;
        return true;
    }

    int used;
    int slotCount;
    T** items;
    unsigned owns : 1;
};
