// The owning pointer array and cstring_array: slot growth, ownership of the entries on
// clear, removal and destruction, sorting with null entries and the case flag, searches.
#include <gtest/gtest.h>

#include <string>

#include "array.h"
#include "cstring_array.h"

namespace {

struct Tracked {
    static int alive;
    Tracked() { alive++; }
    ~Tracked() { alive--; }
};
int Tracked::alive = 0;

struct TrackedList : array<Tracked, 1> {
    static bool ended;
    ~TrackedList() override { ended = true; }
};
bool TrackedList::ended = false;

std::string at(const cstring_array& a, int i) {
    return a.at(i) ? a.at(i)->c_str() : "(null)";
}

}  // namespace

TEST(CommonArray, GrowsByTenSlots) {
    cstring_array strings;
    EXPECT_EQ(strings.capacity(), 8);
    for (int i = 0; i < 9; i++) strings.add("x");
    EXPECT_EQ(strings.capacity(), 18);
    EXPECT_EQ(strings.count(), 9);

    array<cstring, 1> none(0), negative(-3), five(5);
    EXPECT_EQ(none.capacity(), 0);
    EXPECT_EQ(negative.capacity(), 0);
    EXPECT_EQ(five.capacity(), 5);
    EXPECT_EQ(none.add(new cstring("a")), 0);
    EXPECT_EQ(none.capacity(), 10);
    EXPECT_EQ(none.at(1), nullptr);
    EXPECT_EQ(none.at(-1), nullptr);
}

TEST(CommonArray, OwnsItsEntries) {
    Tracked::alive = 0;
    {
        array<Tracked, 1> owning;
        for (int i = 0; i < 25; i++) owning.add(new Tracked);
        EXPECT_EQ(Tracked::alive, 25);
        EXPECT_TRUE(owning.remove_at(3));
        EXPECT_FALSE(owning.remove_at(24));
        EXPECT_EQ(Tracked::alive, 24);
        Tracked* kept = owning.detach(0);
        EXPECT_EQ(Tracked::alive, 24);
        delete kept;
        owning.clear();
        EXPECT_EQ(Tracked::alive, 0);
        EXPECT_EQ(owning.count(), 0);
        owning.add(new Tracked);
        owning.add(nullptr);   // null entries are allowed
        EXPECT_EQ(owning.count(), 2);
    }
    EXPECT_EQ(Tracked::alive, 0);   // the array's end deletes what is left

    Tracked outside;
    {
        array<Tracked, 0> borrowing(2);
        borrowing.add(&outside);
        borrowing.insert_at(0, &outside);
        EXPECT_EQ(borrowing.insert_at(5, &outside), -1);
        borrowing.clear();
    }
    EXPECT_EQ(Tracked::alive, 1);

    // The destructor is virtual: ending a derived list through its base runs both.
    TrackedList::ended = false;
    array<Tracked, 1>* base = new TrackedList;
    base->add(new Tracked);
    delete base;
    EXPECT_TRUE(TrackedList::ended);
    EXPECT_EQ(Tracked::alive, 1);
}

TEST(CommonArray, SortsNullsFirstAndBothCases) {
    cstring_array a;
    a.add("b");
    a.add(static_cast<cstring*>(nullptr));
    a.add("B");
    a.add("\xE9t\xE9");
    a.add("a");
    a.add("A");
    a.sort(true);
    EXPECT_EQ(at(a, 0), "(null)");
    EXPECT_EQ(at(a, 1), "A");
    EXPECT_EQ(at(a, 2), "B");
    EXPECT_EQ(at(a, 3), "a");
    EXPECT_EQ(at(a, 4), "b");
    EXPECT_EQ(at(a, 5), "\xE9t\xE9");   // bytes above 0x7F after ASCII
    EXPECT_EQ(a.find_sorted("a", true), 3);
    EXPECT_EQ(a.find_sorted("\xE9t\xE9", true), 5);
    EXPECT_EQ(a.find_sorted("c", true), -1);

    a.sort(false);
    EXPECT_EQ(at(a, 0), "(null)");
    EXPECT_TRUE(a.at(1)->equals_nocase("a") && a.at(2)->equals_nocase("a"));
    EXPECT_TRUE(a.at(3)->equals_nocase("b") && a.at(4)->equals_nocase("b"));
    EXPECT_EQ(at(a, 5), "\xE9t\xE9");
    int found = a.find_sorted("B", false);
    EXPECT_TRUE(found == 3 || found == 4);
    EXPECT_EQ(a.find_sorted("\xC9T\xC9", false), -1);   // the C locale folds ASCII only
}

TEST(CommonArray, FindsEntriesByText) {
    cstring_array a;
    EXPECT_EQ(a.index_of("x", true), -1);
    a.add(static_cast<cstring*>(nullptr));
    a.add("Java.exe");
    a.add("javaw.exe");
    a.add("JAVA.EXE");
    EXPECT_EQ(a.index_of("JAVA.EXE", true), 3);
    EXPECT_EQ(a.index_of("java.exe", false), 1);
    EXPECT_EQ(a.index_of("jre", false), -1);
    EXPECT_EQ(a.index_of(nullptr, false), -1);
    EXPECT_EQ(std::string(a.add("abcdef", 2)->c_str()), "ab");
}
