// The native memory buffers of krln64.dll, called through the test JNI environment:
// allocation, resizing, freeing, copies and int access with their range checks, the
// refusal of handles that were never handed out or already freed, concurrent use, and
// handles that still work when the heap answers addresses above 4 GB.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <set>
#include <thread>
#include <vector>

#include "krln_library.h"
#include "test_jni_env.h"

using test_jni::TestJniEnv;
using test_jni::ThrownException;

namespace test_jni {
bool operator==(const ThrownException& a, const ThrownException& b) {
    return a.className == b.className && a.message == b.message;
}
void PrintTo(const ThrownException& e, std::ostream* out) {
    *out << (e.className.empty() ? "(nothing pending)" : e.className) << " \"" << e.message << "\"";
}
}  // namespace test_jni

namespace {

const char kIndexError[] = "java/lang/ArrayIndexOutOfBoundsException";
const char kOutOfMemory[] = "java/lang/OutOfMemoryError";

ThrownException IndexError(const std::string& message) { return {kIndexError, message}; }
ThrownException NothingPending() { return {}; }
ThrownException InvalidHandle(jint handle) { return IndexError("invalid handle " + std::to_string(handle)); }

std::vector<jbyte> Pattern(size_t length, int first) {
    std::vector<jbyte> bytes(length);
    for (size_t i = 0; i < length; ++i) bytes[i] = jbyte(first + int(i));
    return bytes;
}

class MemoryBuffers : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_KRLN_LOADED(); }

    jint Alloc(jint size) {
        jlong handle = Krln().n_alloc(env, nullptr, size);
        EXPECT_EQ(jni.TakeException(), NothingPending()) << "n_alloc(" << size << ")";
        EXPECT_GT(handle, 0);
        EXPECT_LE(handle, INT_MAX) << "a handle must survive a Java int";
        return jint(handle);
    }
    jlong Cap(jint handle) { return Krln().n_cap(env, nullptr, handle); }
    // The whole buffer as n_read copies it, into a fresh array.
    std::vector<jbyte> Contents(jint handle) {
        jlong capacity = Cap(handle);
        jbyteArray array = jni.NewByteArray(std::vector<jbyte>(size_t(capacity), jbyte(0x55)));
        Krln().n_read(env, nullptr, handle, 0, array, 0, jint(capacity));
        EXPECT_EQ(jni.TakeException(), NothingPending());
        return jni.Bytes(array);
    }
    void Write(jint handle, jint offset, const std::vector<jbyte>& bytes) {
        Krln().n_write(env, nullptr, handle, offset, jni.NewByteArray(bytes), 0, jint(bytes.size()));
        EXPECT_EQ(jni.TakeException(), NothingPending());
    }
    void Free(jint handle) {
        Krln().n_free(env, nullptr, handle);
        EXPECT_EQ(jni.TakeException(), NothingPending());
    }
    // A 16-byte buffer holding 1..16. Both Wine and Windows report the requested size of
    // a fixed block as its capacity.
    jint Sixteen() {
        jint handle = Alloc(16);
        EXPECT_EQ(Cap(handle), 16);
        Write(handle, 0, Pattern(16, 1));
        return handle;
    }

    TestJniEnv jni;
    JNIEnv* env = jni.env();
};

TEST_F(MemoryBuffers, AllocGivesAZeroFilledBufferOfAtLeastTheSize) {
    jint handle = Alloc(16);
    EXPECT_GE(Cap(handle), 16);
    EXPECT_EQ(Contents(handle), std::vector<jbyte>(size_t(Cap(handle)), 0));
    EXPECT_EQ(Krln().n_readi(env, nullptr, handle, 12), 0);
    jint other = Alloc(100000);
    EXPECT_NE(other, handle);
    EXPECT_GE(Cap(other), 100000);
    EXPECT_EQ(Contents(other), std::vector<jbyte>(size_t(Cap(other)), 0));
    Free(handle);
    Free(other);
}

TEST_F(MemoryBuffers, ReadAndWriteCopyTheRangeAndRefuseOneByteBeyond) {
    jint handle = Sixteen();
    jbyteArray array = jni.NewByteArray(std::vector<jbyte>(12, 0x55));
    Krln().n_read(env, nullptr, handle, 8, array, 2, 8);
    EXPECT_EQ(jni.TakeException(), NothingPending());
    std::vector<jbyte> expected(12, 0x55);
    for (int i = 0; i < 8; ++i) expected[2 + i] = jbyte(9 + i);
    EXPECT_EQ(jni.Bytes(array), expected);

    Krln().n_read(env, nullptr, handle, 8, array, 0, 9);
    EXPECT_EQ(jni.TakeException(), IndexError("17 > 16"));
    EXPECT_EQ(jni.Bytes(array), expected) << "nothing copied";

    Write(handle, 4, {-1, -2});
    Krln().n_write(env, nullptr, handle, 9, jni.NewByteArray(std::vector<jbyte>(8, 7)), 0, 8);
    EXPECT_EQ(jni.TakeException(), IndexError("17 > 16"));
    std::vector<jbyte> contents = Pattern(16, 1);
    contents[4] = -1;
    contents[5] = -2;
    EXPECT_EQ(Contents(handle), contents) << "only the first write landed";

    Krln().n_read(env, nullptr, handle, 16, array, 0, 0);   // an empty range at the very end
    EXPECT_EQ(jni.TakeException(), NothingPending());
    Free(handle);
}

TEST_F(MemoryBuffers, NegativeOffsetIsRefusedWhateverTheLength) {
    jint handle = Sixteen();
    jbyteArray array = jni.NewByteArray(std::vector<jbyte>(20, 0x55));
    for (jint length : {0, 1, 4, 17}) {
        Krln().n_read(env, nullptr, handle, -1, array, 0, length);
        EXPECT_EQ(jni.TakeException(), IndexError(std::to_string(length - 1) + " > 16")) << "length " << length;
    }
    EXPECT_EQ(jni.Bytes(array), std::vector<jbyte>(20, 0x55));
    Krln().n_write(env, nullptr, handle, -1, array, 0, 4);
    EXPECT_EQ(jni.TakeException(), IndexError("3 > 16"));
    EXPECT_EQ(Contents(handle), Pattern(16, 1));
    Free(handle);
}

TEST_F(MemoryBuffers, WriteOfLengthZeroDoesNothingEvenWithABadOffsetOrArray) {
    jint handle = Sixteen();
    jbyteArray array = jni.NewByteArray({1, 2});
    for (jint offset : {-7, 0, 17, INT_MAX}) {
        Krln().n_write(env, nullptr, handle, offset, array, 5, 0);
        EXPECT_EQ(jni.TakeException(), NothingPending()) << "offset " << offset;
    }
    Krln().n_write(env, nullptr, handle, 0, nullptr, 0, 0);
    EXPECT_EQ(jni.TakeException(), NothingPending());
    EXPECT_EQ(Contents(handle), Pattern(16, 1));
    Free(handle);
}

// A large offset plus a length used to wrap round to a negative end and pass.
TEST_F(MemoryBuffers, RangesWhoseEndDoesNotFitOrWithNegativeLengthAreRefused) {
    jint handle = Sixteen();
    jbyteArray array = jni.NewByteArray(std::vector<jbyte>(8, 0x55));
    Krln().n_read(env, nullptr, handle, INT_MAX, array, 0, 2);
    EXPECT_EQ(jni.TakeException(), IndexError("2147483649 > 16"));
    Krln().n_read(env, nullptr, handle, INT_MAX - 3, array, 0, 8);
    EXPECT_EQ(jni.TakeException(), IndexError("2147483652 > 16"));
    Krln().n_write(env, nullptr, handle, INT_MAX - 1, array, 0, 8);
    EXPECT_EQ(jni.TakeException(), IndexError("2147483654 > 16"));
    Krln().n_read(env, nullptr, handle, 4, array, 0, -2);
    EXPECT_EQ(jni.TakeException(), IndexError("negative length -2"));
    Krln().n_write(env, nullptr, handle, 8, array, 0, -1);
    EXPECT_EQ(jni.TakeException(), IndexError("negative length -1"));
    Krln().n_read(env, nullptr, handle, -1, array, 0, INT_MIN);   // both negative: the length is named
    EXPECT_EQ(jni.TakeException(), IndexError("negative length -2147483648"));
    EXPECT_EQ(Krln().n_readi(env, nullptr, handle, INT_MAX - 1), 0);
    EXPECT_EQ(jni.TakeException(), IndexError("2147483650 > 16"));
    Krln().n_writei(env, nullptr, handle, INT_MAX - 2, 42);
    EXPECT_EQ(jni.TakeException(), IndexError("2147483649 > 16"));
    EXPECT_EQ(jni.Bytes(array), std::vector<jbyte>(8, 0x55));
    EXPECT_EQ(Contents(handle), Pattern(16, 1));
    Free(handle);
}

TEST_F(MemoryBuffers, IntReadsAndWritesStayInsideTheBuffer) {
    jint handle = Alloc(16);
    Krln().n_writei(env, nullptr, handle, 0, 0x04030201);
    Krln().n_writei(env, nullptr, handle, 12, -2);
    Krln().n_writei(env, nullptr, handle, 5, 0x11223344);   // unaligned
    EXPECT_EQ(jni.TakeException(), NothingPending());
    std::vector<jbyte> expected = {1, 2, 3, 4, 0, 0x44, 0x33, 0x22, 0x11, 0, 0, 0, -2, -1, -1, -1};
    EXPECT_EQ(Contents(handle), expected) << "native byte order, nothing outside the four bytes";
    EXPECT_EQ(Krln().n_readi(env, nullptr, handle, 0), 0x04030201);
    EXPECT_EQ(Krln().n_readi(env, nullptr, handle, 5), 0x11223344);
    EXPECT_EQ(Krln().n_readi(env, nullptr, handle, 12), -2);
    EXPECT_EQ(jni.TakeException(), NothingPending());

    EXPECT_EQ(Krln().n_readi(env, nullptr, handle, 13), 0);
    EXPECT_EQ(jni.TakeException(), IndexError("17 > 16"));
    EXPECT_EQ(Krln().n_readi(env, nullptr, handle, -1), 0);
    EXPECT_EQ(jni.TakeException(), IndexError("3 > 16"));
    Krln().n_writei(env, nullptr, handle, 13, 0x7F7F7F7F);
    EXPECT_EQ(jni.TakeException(), IndexError("17 > 16"));
    Krln().n_writei(env, nullptr, handle, -2, 0x7F7F7F7F);
    EXPECT_EQ(jni.TakeException(), IndexError("2 > 16"));
    EXPECT_EQ(Contents(handle), expected) << "refused writes wrote nothing";
    Free(handle);
}

TEST_F(MemoryBuffers, ArrayRegionsFollowJavasRuleAndANullArrayIsRefused) {
    jint handle = Sixteen();
    jbyteArray array = jni.NewByteArray(std::vector<jbyte>(4, 0x55));
    Krln().n_read(env, nullptr, handle, 0, array, 2, 4);
    EXPECT_EQ(jni.TakeException(), IndexError("Array region 2..6 out of bounds for length 4"));
    EXPECT_EQ(jni.Bytes(array), std::vector<jbyte>(4, 0x55));
    Krln().n_write(env, nullptr, handle, 0, array, -1, 2);
    EXPECT_EQ(jni.TakeException(), IndexError("Array region -1..1 out of bounds for length 4"));

    // A VM does not check the array of a region copy: a null one would crash it.
    Krln().n_read(env, nullptr, handle, 0, nullptr, 0, 4);
    EXPECT_EQ(jni.TakeException(), (ThrownException{"java/lang/NullPointerException", ""}));
    Krln().n_write(env, nullptr, handle, 0, nullptr, 0, 4);
    EXPECT_EQ(jni.TakeException(), (ThrownException{"java/lang/NullPointerException", ""}));
    EXPECT_EQ(Contents(handle), Pattern(16, 1));
    Free(handle);
}

TEST_F(MemoryBuffers, ReallocAllocatesGrowsAndShrinksKeepingTheHandle) {
    jlong fresh = Krln().n_realloc(env, nullptr, 0, 32);
    EXPECT_EQ(jni.TakeException(), NothingPending());
    ASSERT_GT(fresh, 0);
    EXPECT_GE(Cap(jint(fresh)), 32);
    EXPECT_EQ(Contents(jint(fresh)), std::vector<jbyte>(size_t(Cap(jint(fresh))), 0));
    Free(jint(fresh));

    jint handle = Sixteen();
    EXPECT_EQ(Krln().n_realloc(env, nullptr, handle, 4096), handle);
    EXPECT_EQ(jni.TakeException(), NothingPending());
    ASSERT_GE(Cap(handle), 4096);
    std::vector<jbyte> grown(size_t(Cap(handle)), 0);
    std::vector<jbyte> pattern = Pattern(16, 1);
    std::copy(pattern.begin(), pattern.end(), grown.begin());
    EXPECT_EQ(Contents(handle), grown) << "old bytes kept, the rest zero-filled";

    EXPECT_EQ(Krln().n_realloc(env, nullptr, handle, 8), handle);
    EXPECT_EQ(jni.TakeException(), NothingPending());
    EXPECT_EQ(Cap(handle), 8);
    EXPECT_EQ(Contents(handle), Pattern(8, 1));
    EXPECT_EQ(Krln().n_realloc(env, nullptr, handle, 64), handle);
    std::vector<jbyte> regrown(64, 0);
    std::copy(pattern.begin(), pattern.begin() + 8, regrown.begin());
    EXPECT_EQ(Contents(handle), regrown) << "what the shrink cut off does not come back";
    Free(handle);
}

TEST_F(MemoryBuffers, FailedAllocationRaisesOutOfMemoryWithTheSystemText) {
    char* message = nullptr;
    DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
        ERROR_NOT_ENOUGH_MEMORY, 0, reinterpret_cast<char*>(&message), 0, nullptr);
    ASSERT_GT(length, 2u);
    std::string systemText(message, length);
    LocalFree(message);
    ASSERT_EQ(systemText.substr(systemText.size() - 2), "\r\n");
    systemText.resize(systemText.size() - 2);

    // A negative size widens to an impossible one.
    EXPECT_EQ(Krln().n_alloc(env, nullptr, -1), 0);
    EXPECT_EQ(jni.TakeException(), (ThrownException{kOutOfMemory, systemText}));

    jint handle = Sixteen();
    EXPECT_EQ(Krln().n_realloc(env, nullptr, handle, INT_MIN), 0);
    EXPECT_EQ(jni.TakeException(), (ThrownException{kOutOfMemory, systemText}));
    EXPECT_EQ(Contents(handle), Pattern(16, 1)) << "the old buffer stays valid";

    // Without the class there is nothing to throw: FindClass's own error stays pending.
    jni.HideClass(kOutOfMemory);
    EXPECT_EQ(Krln().n_alloc(env, nullptr, -1), 0);
    EXPECT_EQ(jni.TakeException(), (ThrownException{"java/lang/NoClassDefFoundError", kOutOfMemory}));
    Free(handle);
}

TEST_F(MemoryBuffers, HandleZeroIsNoBuffer) {
    jbyteArray array = jni.NewByteArray(std::vector<jbyte>(4, 0x55));
    EXPECT_EQ(Cap(0), 0);
    EXPECT_EQ(Krln().n_readi(env, nullptr, 0, 8), 0);
    Krln().n_read(env, nullptr, 0, -1, array, 0, 4);
    Krln().n_write(env, nullptr, 0, -1, array, 0, 4);
    Krln().n_writei(env, nullptr, 0, -1, 1);
    Krln().n_free(env, nullptr, 0);
    EXPECT_EQ(jni.TakeException(), NothingPending());
    EXPECT_EQ(jni.Bytes(array), std::vector<jbyte>(4, 0x55));
}

TEST_F(MemoryBuffers, FreedAndInventedHandlesAreRefusedWithNothingTouched) {
    jint freed = Sixteen();
    Free(freed);
    // The address of a live block, the representation a handle might naively have.
    HGLOBAL block = GlobalAlloc(GPTR, 16);
    jint address = jint(reinterpret_cast<INT_PTR>(block));
    jbyteArray array = jni.NewByteArray(std::vector<jbyte>(4, 0x55));
    for (jint handle : {freed, address, jint(-1), jint(INT_MIN), jint(INT_MAX)}) {
        SCOPED_TRACE("handle " + std::to_string(handle));
        EXPECT_EQ(Cap(handle), 0);
        EXPECT_EQ(jni.TakeException(), InvalidHandle(handle));
        Krln().n_read(env, nullptr, handle, 0, array, 0, 4);
        EXPECT_EQ(jni.TakeException(), InvalidHandle(handle));
        Krln().n_write(env, nullptr, handle, 0, array, 0, 4);
        EXPECT_EQ(jni.TakeException(), InvalidHandle(handle));
        EXPECT_EQ(Krln().n_readi(env, nullptr, handle, 0), 0);
        EXPECT_EQ(jni.TakeException(), InvalidHandle(handle));
        Krln().n_writei(env, nullptr, handle, 0, 1);
        EXPECT_EQ(jni.TakeException(), InvalidHandle(handle));
        EXPECT_EQ(Krln().n_realloc(env, nullptr, handle, 64), 0);
        EXPECT_EQ(jni.TakeException(), InvalidHandle(handle));
        Krln().n_free(env, nullptr, handle);
        EXPECT_EQ(jni.TakeException(), InvalidHandle(handle));
    }
    EXPECT_EQ(jni.Bytes(array), std::vector<jbyte>(4, 0x55));
    EXPECT_EQ(std::vector<char>(static_cast<char*>(block), static_cast<char*>(block) + 16), std::vector<char>(16, 0));
    GlobalFree(block);
}

// Enough buffers to grow the handle table several times, with frees in between.
TEST_F(MemoryBuffers, ManyBuffersKeepTheirOwnHandlesAndContents) {
    std::vector<jint> handles;
    for (int i = 0; i < 3000; ++i) {
        handles.push_back(Alloc(8));
        Krln().n_writei(env, nullptr, handles.back(), 4, i);
    }
    for (size_t i = 0; i < handles.size(); i += 3) Free(handles[i]);
    std::set<jint> live;
    for (size_t i = 0; i < handles.size(); ++i) {
        if (i % 3 == 0) continue;
        live.insert(handles[i]);
        EXPECT_EQ(Krln().n_readi(env, nullptr, handles[i], 4), jint(i));
    }
    for (int i = 0; i < 1500; ++i) {
        jint handle = Alloc(8);
        EXPECT_TRUE(live.insert(handle).second) << "handle " << handle << " handed out twice";
        EXPECT_EQ(std::find(handles.begin(), handles.end(), handle), handles.end()) << "a freed handle came back";
        Krln().n_writei(env, nullptr, handle, 4, 100000 + i);
    }
    for (size_t i = 0; i < handles.size(); ++i) {
        if (i % 3) {
            EXPECT_EQ(Krln().n_readi(env, nullptr, handles[i], 4), jint(i));
        }
    }
    EXPECT_EQ(jni.TakeException(), NothingPending());
    for (jint handle : live) Free(handle);
}

// A handle is its own hash, so a handle and the one a table's size later share a home
// slot, the later one stored in a slot after it. Freeing the first must move the others
// back to where a lookup starts. The sharing handles are kept for every table size from
// 64 to 2^17 slots, whatever size earlier tests grew the table to.
TEST_F(MemoryBuffers, FreeingAHandleKeepsTheOnesThatShareItsSlot) {
    jint first = Alloc(8);
    std::vector<jint> sharing;
    for (jint distance = 64; distance <= (1 << 17); distance *= 2) {
        jint handle = 0;
        while (handle < first + distance) {
            handle = jint(Krln().n_alloc(env, nullptr, 8));
            ASSERT_GT(handle, first) << "handles are handed out in order";
            if (handle < first + distance) Krln().n_free(env, nullptr, handle);
        }
        ASSERT_EQ(handle, first + distance);
        Krln().n_writei(env, nullptr, handle, 0, distance);
        sharing.push_back(handle);
    }
    Free(first);
    for (jint handle : sharing) {
        EXPECT_EQ(Krln().n_readi(env, nullptr, handle, 0), handle - first) << "handle " << handle;
        EXPECT_EQ(Cap(handle), 8);
    }
    EXPECT_EQ(jni.TakeException(), NothingPending());
    for (jint handle : sharing) Free(handle);
}

// Each thread has its own JNI environment, as in a VM. A handle handed to two threads
// at once, or a torn table, shows as a buffer holding another thread's tag.
TEST(MemoryBufferThreads, ConcurrentUseKeepsHandlesDistinctAndContentsWhole) {
    ASSERT_KRLN_LOADED();
    auto work = [](int thread) {
        TestJniEnv jni;
        JNIEnv* env = jni.env();
        std::vector<std::pair<jint, jint>> mine;   // handle, tag
        for (int i = 0; i < 1500; ++i) {
            jint tag = thread * 100000 + i;
            jint handle = jint(Krln().n_alloc(env, nullptr, 16 + i % 64));
            Krln().n_writei(env, nullptr, handle, 0, tag);
            if (i % 2) {
                EXPECT_EQ(Krln().n_realloc(env, nullptr, handle, 200 + i % 300), handle);
            }
            mine.push_back({handle, tag});
            if (mine.size() > 40) {
                auto [oldest, oldTag] = mine.front();
                EXPECT_EQ(Krln().n_readi(env, nullptr, oldest, 0), oldTag);
                Krln().n_free(env, nullptr, oldest);
                mine.erase(mine.begin());
            }
        }
        for (auto [handle, tag] : mine) {
            EXPECT_EQ(Krln().n_readi(env, nullptr, handle, 0), tag);
            Krln().n_free(env, nullptr, handle);
        }
        EXPECT_EQ(jni.TakeException(), NothingPending());
    };
    std::vector<std::thread> threads;
    for (int t = 1; t <= 4; ++t) threads.emplace_back(work, t);
    for (std::thread& t : threads) t.join();
}

// A buffer freed by one thread while another reads it is either still read whole or
// refused: never freed memory, never another buffer's bytes.
TEST(MemoryBufferThreads, FreeingWhileAnotherThreadReadsNeverGivesWrongBytes) {
    ASSERT_KRLN_LOADED();
    TestJniEnv jni;
    std::vector<jint> handles;
    for (int i = 0; i < 2000; ++i) {
        handles.push_back(jint(Krln().n_alloc(jni.env(), nullptr, 4096)));
        Krln().n_writei(jni.env(), nullptr, handles.back(), 4092, i + 1);
    }
    std::atomic<bool> freed{false};
    std::thread freer([&handles, &freed] {
        TestJniEnv jni;
        for (jint handle : handles) Krln().n_free(jni.env(), nullptr, handle);
        EXPECT_EQ(jni.TakeException(), NothingPending());
        freed = true;
    });
    auto readAll = [&](int* refused) {
        for (size_t i = 0; i < handles.size(); ++i) {
            jint value = Krln().n_readi(jni.env(), nullptr, handles[i], 4092);
            ThrownException thrown = jni.TakeException();
            if (thrown.className.empty()) {
                EXPECT_EQ(value, jint(i + 1));
            } else {
                EXPECT_EQ(thrown, InvalidHandle(handles[i]));
                ++*refused;
            }
        }
    };
    int refused = 0;
    while (!freed) readAll(&refused);
    freer.join();
    refused = 0;
    readAll(&refused);
    EXPECT_EQ(refused, int(handles.size()));
}

// The free address space below 4 GB, reserved so that the heap has to answer with
// addresses above it; released again on destruction.
class LowAddressSpaceTaken {
public:
    LowAddressSpaceTaken() {
        const ULONG_PTR limit = 0x100000000ULL;
        for (ULONG_PTR address = 0x10000; address < limit;) {
            MEMORY_BASIC_INFORMATION region;
            if (!VirtualQuery(reinterpret_cast<void*>(address), &region, sizeof region)) break;
            ULONG_PTR next = reinterpret_cast<ULONG_PTR>(region.BaseAddress) + region.RegionSize;
            if (region.State == MEM_FREE) {
                ULONG_PTR base = (address + 0xFFFF) & ~ULONG_PTR(0xFFFF);   // allocation granularity
                ULONG_PTR end = next < limit ? next : limit;
                void* reserved = base < end ? VirtualAlloc(reinterpret_cast<void*>(base), end - base, MEM_RESERVE,
                                                           PAGE_NOACCESS)
                                            : nullptr;
                if (reserved) reservations_.push_back(reserved);
            }
            address = next;
        }
        // The heap still has room in the blocks it already holds below 4 GB: use it up.
        for (int i = 0; i < 1000000; ++i) {
            void* block = GlobalAlloc(GMEM_FIXED, 16);
            if (!block) break;
            filler_.push_back(block);
            if (reinterpret_cast<ULONG_PTR>(block) >= limit) break;
        }
    }
    ~LowAddressSpaceTaken() {
        for (void* block : filler_) GlobalFree(block);
        for (void* reserved : reservations_) VirtualFree(reserved, 0, MEM_RELEASE);
    }

private:
    std::vector<void*> reservations_;
    std::vector<void*> filler_;
};

TEST(MemoryBuffersAbove4GB, HandlesRoundTripAndWorkWhenTheHeapAnswersHighAddresses) {
    ASSERT_KRLN_LOADED();
    TestJniEnv jni;
    JNIEnv* env = jni.env();
    LowAddressSpaceTaken taken;
    for (SIZE_T size : {16, 4096, 1 << 20}) {
        HGLOBAL probe = GlobalAlloc(GMEM_FIXED, size);
        ASSERT_GE(reinterpret_cast<ULONG_PTR>(probe), 0x100000000ULL) << "the heap still answers low addresses";
        GlobalFree(probe);
    }
    std::vector<std::pair<jint, jint>> buffers;   // handle, size
    for (jint size : {16, 24, 4096, 70000, 1 << 20}) {
        jlong handle = Krln().n_alloc(env, nullptr, size);
        ASSERT_GT(handle, 0);
        ASSERT_LE(handle, INT_MAX);
        buffers.push_back({jint(handle), size});
    }
    for (auto [handle, size] : buffers) {
        EXPECT_GE(Krln().n_cap(env, nullptr, handle), size);
        Krln().n_writei(env, nullptr, handle, size - 4, size);
        jbyteArray bytes = jni.NewByteArray(Pattern(8, size));
        Krln().n_write(env, nullptr, handle, 0, bytes, 0, 8);
    }
    for (auto [handle, size] : buffers) {
        EXPECT_EQ(Krln().n_realloc(env, nullptr, handle, size * 2), handle);
        EXPECT_EQ(Krln().n_readi(env, nullptr, handle, size - 4), size);
        EXPECT_EQ(Krln().n_readi(env, nullptr, handle, size * 2 - 4), 0);
        jbyteArray bytes = jni.NewByteArray(std::vector<jbyte>(8));
        Krln().n_read(env, nullptr, handle, 0, bytes, 0, 8);
        EXPECT_EQ(jni.Bytes(bytes), Pattern(8, size));
        Krln().n_free(env, nullptr, handle);
    }
    EXPECT_EQ(jni.TakeException(), NothingPending());
}

}  // namespace
