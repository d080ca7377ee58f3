// The JavaExe and Memory settings in real registry keys of both roots: which root wins
// when reading, values of every accepted and of the wrong types, stored without their
// terminators, the signed boundaries of Memory, and where a write lands.
#include <gtest/gtest.h>

#include <string>

#include "jre_machine.h"
#include "krlxconfig.h"
#include "test_support.h"

using namespace krlx_testing;
using namespace testing_support;

namespace {

struct Value {
    DWORD type;        // 0: no value
    std::string bytes;
};

std::string dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }
std::string sz(const std::string& text) { return text + std::string(1, '\0'); }

void put(HKEY root, const char* name, const Value& value) {
    if (value.type) PutRawValue(root, kSettingsKey, name, value.type, value.bytes);
}

class Settings : public ::testing::Test {
protected:
    void SetUp() override { ClearSettings(); }
    void TearDown() override { ClearSettings(); }
    Machine machine;
};

}  // namespace

TEST_F(Settings, ReadJavaExe) {
    std::string user = machine.PutJava("user\\bin\\javaw.exe"), mine = machine.PutJava("machine\\bin\\javaw.exe");
    std::string text = machine.PutFile("text\\javaw.exe", "not an image");
    ASSERT_TRUE(SetEnvironmentVariableA("KRLX_TEST_HOME", machine.root().c_str()));
    struct Row {
        Value user, machine;
        std::string expected;   // empty: false
    } rows[] = {
        {{0, ""}, {0, ""}, ""},
        {{0, ""}, {REG_SZ, sz(mine)}, mine},
        {{REG_SZ, sz(user)}, {REG_SZ, sz(mine)}, user},
        {{REG_SZ, sz(text)}, {REG_SZ, sz(mine)}, ""},   // a user value that does not load hides the machine's
        {{REG_SZ, sz(machine.at("gone.exe"))}, {REG_SZ, sz(mine)}, ""},
        {{REG_SZ, sz("")}, {REG_SZ, sz(mine)}, mine},
        {{REG_DWORD, dword(7)}, {REG_SZ, sz(mine)}, mine},
        {{REG_EXPAND_SZ, sz("%KRLX_TEST_HOME%\\user\\bin\\javaw.exe")}, {0, ""}, user},
        {{REG_MULTI_SZ, sz(user) + sz("")}, {0, ""}, user},
        {{REG_SZ, user}, {0, ""}, user},   // no terminating zero
        {{0, ""}, {REG_BINARY, sz(mine)}, ""},
        {{0, ""}, {REG_SZ, mine}, mine},
    };
    for (const Row& row : rows) {
        ClearSettings();
        put(HKEY_CURRENT_USER, "JavaExe", row.user);
        put(HKEY_LOCAL_MACHINE, "JavaExe", row.machine);
        cstring executable("before");
        EXPECT_EQ(ReadJavaExe(executable), !row.expected.empty()) << row.user.bytes << " | " << row.machine.bytes;
        EXPECT_EQ(std::string(executable.c_str()), row.expected);
    }
}

TEST_F(Settings, ReadMemory) {
    struct Row {
        Value user, machine;
        unsigned expected;
    } rows[] = {
        {{0, ""}, {0, ""}, 512},
        {{REG_DWORD, dword(1024)}, {REG_DWORD, dword(2048)}, 1024},
        {{REG_DWORD, dword(1)}, {0, ""}, 1},
        {{REG_DWORD, dword(0x7FFFFFFF)}, {0, ""}, 0x7FFFFFFF},
        {{REG_DWORD, dword(0)}, {REG_DWORD, dword(2048)}, 2048},   // 0 falls through
        {{REG_DWORD, dword(0)}, {REG_DWORD, dword(0)}, 512},
        {{0, ""}, {REG_DWORD, dword(768)}, 768},
        {{REG_DWORD, dword(0xFFFFFFFF)}, {REG_DWORD, dword(2048)}, 512},   // negative: no fall-through
        {{REG_DWORD, dword(0x80000000)}, {0, ""}, 512},
        {{0, ""}, {REG_DWORD, dword(0x80000000)}, 512},
        {{REG_SZ, sz("1024")}, {REG_DWORD, dword(256)}, 256},   // the wrong type counts as 0
        {{REG_BINARY, dword(1024)}, {REG_DWORD, dword(256)}, 256},
        {{REG_QWORD, dword(1024) + dword(0)}, {0, ""}, 512},
        {{REG_DWORD, std::string("\x00\x04", 2)}, {REG_DWORD, dword(300)}, 300},   // a short DWORD is none
    };
    for (const Row& row : rows) {
        ClearSettings();
        put(HKEY_CURRENT_USER, "Memory", row.user);
        put(HKEY_LOCAL_MACHINE, "Memory", row.machine);
        EXPECT_EQ(ReadMemory(), row.expected) << row.user.type << " | " << row.machine.type;
    }
}

// A write lands in the machine key; a user value of the same name that is already there
// gets the same value (whatever its type was), so that what was saved is what is read. None
// is made where there was none.
TEST_F(Settings, WritesGoToTheMachineKeyAndAnExistingUserValue) {
    std::string old = machine.PutJava("old\\bin\\javaw.exe"), chosen = machine.PutJava("chosen\\bin\\javaw.exe");
    struct Row {
        Value javaExe, memory;   // the user's before the write
        bool followed;           // the user's values afterwards: the written ones, else none
    } rows[] = {
        {{0, ""}, {0, ""}, false},
        {{REG_SZ, sz(old)}, {REG_DWORD, dword(256)}, true},
        {{REG_SZ, sz("")}, {REG_DWORD, dword(0)}, true},   // values that fall through when read
        {{REG_EXPAND_SZ, sz("%KRLX_OLD%")}, {REG_SZ, sz("256")}, true},
        {{REG_DWORD, dword(7)}, {REG_BINARY, dword(256)}, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.javaExe.bytes);
        ClearSettings();
        put(HKEY_CURRENT_USER, "JavaExe", row.javaExe);
        put(HKEY_CURRENT_USER, "Memory", row.memory);
        EXPECT_TRUE(WriteJavaExe(chosen.c_str()));
        EXPECT_TRUE(WriteMemory(1536));
        std::string stored;
        DWORD type = 0, memory = 0;
        EXPECT_TRUE(ReadRegString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", &stored, &type));
        EXPECT_EQ(stored, chosen);
        EXPECT_EQ(type, DWORD(REG_SZ));
        EXPECT_TRUE(ReadRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, "Memory", &memory));
        EXPECT_EQ(memory, 1536u);
        stored.clear(), type = 0, memory = 0;
        EXPECT_EQ(ReadRegString(HKEY_CURRENT_USER, kSettingsKey, "JavaExe", &stored, &type), row.followed);
        EXPECT_EQ(stored, row.followed ? chosen : "");
        EXPECT_EQ(type, DWORD(row.followed ? REG_SZ : 0));
        EXPECT_EQ(ReadRegDword(HKEY_CURRENT_USER, kSettingsKey, "Memory", &memory), row.followed);
        EXPECT_EQ(memory, row.followed ? 1536u : 0u);
        cstring executable;
        EXPECT_TRUE(ReadJavaExe(executable));
        EXPECT_STREQ(executable.c_str(), chosen.c_str());
        EXPECT_EQ(ReadMemory(), 1536u);
    }
}

// A key cannot be made non-volatile under a volatile parent: so the machine write
// fails and the value goes to the user key.
TEST_F(Settings, WritesFallBackToTheUserKey) {
    const char kParent[] = "SOFTWARE\\Quorvane";
    DeleteRegTree(HKEY_LOCAL_MACHINE, kParent);
    HKEY parent = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kParent, 0, nullptr, REG_OPTION_VOLATILE, KEY_ALL_ACCESS, nullptr,
                              &parent, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(parent);
    std::string java = machine.PutJava("jre\\bin\\javaw.exe");
    EXPECT_TRUE(WriteJavaExe(java.c_str()));
    EXPECT_TRUE(WriteMemory(0xFFFFFFFF));
    std::string stored;
    DWORD memory = 0;
    EXPECT_TRUE(ReadRegString(HKEY_CURRENT_USER, kSettingsKey, "JavaExe", &stored));
    EXPECT_EQ(stored, java);
    EXPECT_TRUE(ReadRegDword(HKEY_CURRENT_USER, kSettingsKey, "Memory", &memory));
    EXPECT_EQ(memory, 0xFFFFFFFFu);
    EXPECT_FALSE(ReadRegString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", &stored));
    EXPECT_EQ(ReadMemory(), 512u);   // stored as written, read as negative
    DeleteRegTree(HKEY_LOCAL_MACHINE, kParent);
}
