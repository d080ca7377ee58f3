// Registry helpers against Wine's real registry, in a key of HKEY_CURRENT_USER that
// the test creates and deletes: value round trips, types read the wrong way, texts
// stored without their terminators, 64 KB texts, enumeration and tree deletion.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "exception.h"
#include "registry.h"
#include "test_support.h"
#include "thrown.h"

using testing_support::DeleteRegTree;

namespace {

const char kTestKey[] = "Software\\Quorvane\\CommonRegistryTest";

class CommonRegistry : public ::testing::Test {
protected:
    void SetUp() override {
        DeleteRegTree(HKEY_CURRENT_USER, kTestKey);
        key = create_or_open_key(HKEY_CURRENT_USER, "%s", kTestKey);
        ASSERT_NE(key, nullptr);
    }
    void TearDown() override {
        if (key) RegCloseKey(key);
        DeleteRegTree(HKEY_CURRENT_USER, kTestKey);
    }
    // Stores raw bytes, as another program could.
    void put(const char* name, DWORD type, const std::string& bytes) {
        ASSERT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()), DWORD(bytes.size())),
                  ERROR_SUCCESS);
    }
    std::string text(const char* name, bool* read = nullptr) {
        cstring value("before");
        bool got = read_registry_text(key, name, value, "default");
        if (read) *read = got;
        return std::string(value.c_str(), value.length());
    }

    HKEY key = nullptr;
};

}  // namespace

TEST_F(CommonRegistry, TextRoundTripsAndTypes) {
    bool read = false;
    EXPECT_TRUE(write_registry_text(key, "JavaExe", "C:\\jre\\bin\\javaw.exe"));
    EXPECT_EQ(text("JavaExe", &read), "C:\\jre\\bin\\javaw.exe");
    EXPECT_TRUE(read);
    EXPECT_TRUE(write_registry_text(key, "Empty", nullptr));
    EXPECT_EQ(text("Empty", &read), "");
    EXPECT_TRUE(read);
    DWORD type = 0, size = 0;
    ASSERT_EQ(RegQueryValueExA(key, "JavaExe", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(type, DWORD(REG_SZ));
    EXPECT_EQ(size, 21u);   // the terminator is stored
    EXPECT_TRUE(write_registry_text(key, "Cut", "abcdef", 3));
    EXPECT_EQ(text("Cut"), "abc");

    ASSERT_TRUE(SetEnvironmentVariableA("COMMON_REGISTRY_TEST", "expanded value"));
    put("Expand", REG_EXPAND_SZ, std::string("[%COMMON_REGISTRY_TEST%]\0", 25));
    EXPECT_EQ(text("Expand", &read), "[expanded value]");
    EXPECT_TRUE(read);

    put("Multi", REG_MULTI_SZ, std::string("first\0second\0\0", 14));
    EXPECT_EQ(text("Multi", &read), "first");
    EXPECT_TRUE(read);

    ASSERT_TRUE(write_registry_number(key, "Number", 42));
    EXPECT_EQ(text("Number", &read), "default");   // a REG_DWORD is not text
    EXPECT_FALSE(read);
    EXPECT_EQ(text("Missing", &read), "default");
    EXPECT_FALSE(read);
    cstring value("x");
    EXPECT_FALSE(read_registry_text(key, "Missing", value));
    EXPECT_STREQ(value.c_str(), "");   // no default: empty
}

TEST_F(CommonRegistry, NumberRoundTripsAndTypes) {
    DWORD value = 7;
    ASSERT_TRUE(write_registry_number(key, "Zero", 0));
    EXPECT_TRUE(read_registry_number(key, "Zero", value, 99));
    EXPECT_EQ(value, 0u);
    ASSERT_TRUE(write_registry_number(key, "Memory", 0xFFFFFFFF));
    EXPECT_TRUE(read_registry_number(key, "Memory", value, 99));
    EXPECT_EQ(value, 0xFFFFFFFFu);
    put("Raw", REG_DWORD, std::string("\x2a\x01\0\0", 4));   // as another program stores it
    EXPECT_TRUE(read_registry_number(key, "Raw", value, 99));
    EXPECT_EQ(value, 0x12Au);
    EXPECT_FALSE(read_registry_number(key, "Missing", value, 5));
    EXPECT_EQ(value, 5u);

    // Only a REG_DWORD of exactly four bytes is a number: other types of that size, and
    // REG_DWORDs of other sizes, give the default.
    const struct {
        const char* name;
        DWORD type;
        std::string bytes;
    } refused[] = {
        {"Binary4", REG_BINARY, std::string("\x2a\0\0\0", 4)},
        {"BigEndian4", REG_DWORD_BIG_ENDIAN, std::string("\0\0\0\x2a", 4)},
        {"Text4", REG_SZ, std::string("123\0", 4)},
        {"None4", REG_NONE, std::string("\x2a\0\0\0", 4)},
        {"Text3", REG_SZ, std::string("12\0", 3)},
        {"Dword2", REG_DWORD, std::string("\x01\x02", 2)},
        {"Dword3", REG_DWORD, std::string("\x01\x02\x03", 3)},
        {"Dword5", REG_DWORD, std::string("\x01\x02\x03\x04\x05", 5)},
        {"Qword8", REG_QWORD, std::string("\x01\0\0\0\0\0\0\0", 8)},
        {"Binary8", REG_BINARY, std::string(8, '\x01')},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.name);
        put(r.name, r.type, r.bytes);
        value = 7;
        EXPECT_FALSE(read_registry_number(key, r.name, value, 99));
        EXPECT_EQ(value, 99u);
    }
}

TEST_F(CommonRegistry, ReadsUnderARootKey) {
    ASSERT_TRUE(write_registry_text(key, "JavaExe", "java.exe"));
    ASSERT_TRUE(write_registry_number(key, "Memory", 512));
    cstring text;
    DWORD number = 0;
    EXPECT_TRUE(read_registry_text_under(HKEY_CURRENT_USER, kTestKey, "JavaExe", text, "none"));
    EXPECT_STREQ(text.c_str(), "java.exe");
    EXPECT_TRUE(read_registry_number_under(HKEY_CURRENT_USER, kTestKey, "Memory", number, 1));
    EXPECT_EQ(number, 512u);

    std::string missingKey = std::string(kTestKey) + "\\Missing";
    EXPECT_FALSE(read_registry_text_under(HKEY_CURRENT_USER, missingKey.c_str(), "JavaExe", text, "none"));
    EXPECT_STREQ(text.c_str(), "none");
    EXPECT_FALSE(read_registry_number_under(HKEY_CURRENT_USER, missingKey.c_str(), "Memory", number, 1));
    EXPECT_EQ(number, 1u);
    EXPECT_FALSE(read_registry_text_under(HKEY_CURRENT_USER, kTestKey, "Memory", text, nullptr));
    EXPECT_STREQ(text.c_str(), "");
}

TEST_F(CommonRegistry, OpensEnumeratesAndDeletesKeys) {
    HKEY made = create_or_open_key(HKEY_CURRENT_USER, "%s\\%s Runtime Environment\\%s", kTestKey, "Java", "1.6.0_45");
    ASSERT_NE(made, nullptr);
    RegCloseKey(made);
    HKEY vendor = open_key_for_reading(HKEY_CURRENT_USER, "%s\\Java Runtime Environment", kTestKey);
    ASSERT_NE(vendor, nullptr);
    // A key opened for reading cannot be written.
    EXPECT_FALSE(write_registry_text(vendor, "x", "y"));
    cstring name("stale");
    EXPECT_EQ(enumerate_subkey(vendor, 0, name), ERROR_SUCCESS);
    EXPECT_STREQ(name.c_str(), "1.6.0_45");
    EXPECT_EQ(enumerate_subkey(vendor, 1, name), ERROR_NO_MORE_ITEMS);
    EXPECT_STREQ(name.c_str(), "");
    RegCloseKey(vendor);
    EXPECT_EQ(open_key_for_reading(HKEY_CURRENT_USER, "%s\\Nothing", kTestKey), nullptr);

    // A tree three deep with several subkeys on each level.
    for (const char* path : {"Tree\\a\\x", "Tree\\a\\y", "Tree\\b", "Tree\\c\\z\\deep"}) {
        HKEY sub = create_or_open_key(key, "%s", path);
        ASSERT_NE(sub, nullptr);
        write_registry_text(sub, "v", path);
        RegCloseKey(sub);
    }
    EXPECT_TRUE(delete_registry_tree(key, "Tree"));
    EXPECT_EQ(open_key_for_reading(key, "Tree"), nullptr);
    EXPECT_FALSE(delete_registry_tree(key, "Tree"));
    // An empty name would mean the key itself and everything below it.
    EXPECT_FALSE(delete_registry_tree(key, ""));
    EXPECT_FALSE(delete_registry_tree(key, nullptr));
    HKEY still = open_key_for_reading(HKEY_CURRENT_USER, "%s\\Java Runtime Environment\\1.6.0_45", kTestKey);
    EXPECT_NE(still, nullptr);
    if (still) RegCloseKey(still);

    HKEY settings = create_or_open_key(key, "Settings\\Inner");
    ASSERT_NE(settings, nullptr);
    write_registry_number(settings, "n", 1);
    RegCloseKey(settings);
    EXPECT_TRUE(recreate_registry_key(key, "Settings"));
    settings = open_key_for_reading(key, "Settings");
    ASSERT_NE(settings, nullptr);
    EXPECT_EQ(enumerate_subkey(settings, 0, name), ERROR_NO_MORE_ITEMS);
    RegCloseKey(settings);
}

TEST_F(CommonRegistry, ReadsBadlyStoredTextsSafely) {
    // 64 KB texts, plain and with an environment reference to expand.
    // (EXPECT_TRUE on the comparisons: a failure would print 64 KB.)
    std::string big(65535, 'k');
    ASSERT_TRUE(write_registry_text(key, "Big", big.c_str()));
    std::string got = text("Big");
    EXPECT_EQ(got.size(), big.size());
    EXPECT_TRUE(got == big);

    // Expansion beyond the system's 32K characters, of the source or of the result,
    // by the system's rules: undefined names stay, empty variables vanish.
    ASSERT_TRUE(SetEnvironmentVariableA("COMMON_REGISTRY_LONG", std::string(30000, 'e').c_str()));
    ASSERT_TRUE(SetEnvironmentVariableA("COMMON_REGISTRY_EMPTY", ""));
    const std::string references = "%COMMON_REGISTRY_LONG%|%NOT_DEFINED%x%COMMON_REGISTRY_EMPTY%|";
    const std::string expanded = std::string(30000, 'e') + "|%NOT_DEFINED%x|";
    put("BigExpand", REG_EXPAND_SZ, std::string(35000, 'k') + references + "%%|%" + std::string(1, '\0'));
    got = text("BigExpand");
    EXPECT_EQ(got.size(), 35000 + expanded.size() + 4);
    EXPECT_TRUE(got == std::string(35000, 'k') + expanded + "%%|%");
    put("LongResult", REG_EXPAND_SZ, references + references + "%%|%" + std::string(1, '\0'));
    got = text("LongResult");
    EXPECT_EQ(got.size(), 2 * expanded.size() + 4);
    EXPECT_TRUE(got == expanded + expanded + "%%|%");
    put("ShortExpand", REG_EXPAND_SZ, "%NOT_DEFINED%x%COMMON_REGISTRY_EMPTY%|%%|%" + std::string(1, '\0'));
    EXPECT_EQ(text("ShortExpand"), "%NOT_DEFINED%x|%%|%");   // the same rules, by the system

    // No terminator: exactly the first buffer's size, and larger than it.
    put("Unterminated256", REG_SZ, std::string(256, 'u'));
    EXPECT_EQ(text("Unterminated256"), std::string(256, 'u'));
    put("Unterminated300", REG_SZ, std::string(300, 'v'));
    EXPECT_EQ(text("Unterminated300"), std::string(300, 'v'));
    put("UnterminatedExpand", REG_EXPAND_SZ, std::string(256, 'w'));
    EXPECT_EQ(text("UnterminatedExpand"), std::string(256, 'w'));
    put("Short", REG_SZ, "abc");
    EXPECT_EQ(text("Short"), "abc");

    // REG_MULTI_SZ without its final double zero, or without any zero.
    put("MultiOpen", REG_MULTI_SZ, std::string("one\0two", 7));
    EXPECT_EQ(text("MultiOpen"), "one");
    put("MultiBare", REG_MULTI_SZ, std::string(256, 'm'));
    EXPECT_EQ(text("MultiBare"), std::string(256, 'm'));
    put("MultiEmpty", REG_MULTI_SZ, "");
    EXPECT_EQ(text("MultiEmpty"), "");
}

// Only a 64-bit build can be handed such a length (the tests are 64-bit).
TEST_F(CommonRegistry, RefusesTextsOf4GigabytesAndMore) {
    // The length alone decides: nothing is read from the text before the refusal.
    int code = 0;
    EXPECT_EQ(thrown_message([&] { write_registry_text(key, "Huge", "abc", 0x100000000ull); }, &code),
              "Error 94001: This program can't write registry values longer than 4G (4294967297 bytes requested)");
    EXPECT_EQ(code, 94001);
    // With its terminator one byte too many.
    EXPECT_EQ(thrown_message([&] { write_registry_text(key, "Huge", "abc", 0xFFFFFFFFull); }),
              "Error 94001: This program can't write registry values longer than 4G (4294967296 bytes requested)");
    EXPECT_EQ(text("Huge"), "default");
}
