// The configurator tests' machine: folders, runtimes made from tiny_java.exe, the
// vendors' and the configurator's registry keys, and the configurator log since a mark.
#include "jre_machine.h"

#include <gtest/gtest.h>

#include "krlxconfig.h"
#include "test_support.h"

using namespace testing_support;

namespace krlx_testing {

namespace {

void makeFolders(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

// "MM/DD hh:mm:ss "
bool startsWithStamp(const std::string& line) {
    static const char kShape[] = "99/99 99:99:99 ";
    if (line.size() < sizeof kShape - 1) return false;
    for (size_t i = 0; i < sizeof kShape - 1; i++) {
        bool digit = line[i] >= '0' && line[i] <= '9';
        if (kShape[i] == '9' ? !digit : line[i] != kShape[i]) return false;
    }
    return true;
}

}  // namespace

std::string TinyJava() {
    return BuildFile("tests\\doubles\\tiny_java\\tiny_java.exe");
}

void ClearJavaRegistry() {
    DeleteRegTree(HKEY_LOCAL_MACHINE, kJavaSoftKey);
    DeleteRegTree(HKEY_LOCAL_MACHINE, kIbmKey);
    for (const char* key : {"SOFTWARE\\JavaSoft\\JDK", "SOFTWARE\\JavaSoft\\JRE", "SOFTWARE\\Eclipse Adoptium",
                            "SOFTWARE\\Eclipse Foundation", "SOFTWARE\\AdoptOpenJDK"})
        DeleteRegTree(HKEY_LOCAL_MACHINE, key);
    // The vendor keys go only when nothing else lives under them.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\IBM");
}

void ClearSettings() {
    DeleteRegTree(HKEY_LOCAL_MACHINE, kSettingsKey);
    DeleteRegTree(HKEY_CURRENT_USER, kSettingsKey);
}

Machine::Machine() {
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    // The process id in letters: the tests of several programs may run at once.
    std::string name = "krlxjre";
    for (DWORD id = GetCurrentProcessId(); id; id /= 26) name += char('a' + id % 26);
    static int serial;
    for (int n = ++serial; n; n /= 26) name += char('a' + n % 26);
    root_ = std::string(temp) + name;
    program_ = root_ + "\\krlxconfig";
    EXPECT_EQ(root_.find_first_of("0123456789"), std::string::npos) << root_;
    RemoveTree(root_);
    makeFolders(program_);
}

Machine::~Machine() {
    RemoveTree(root_);
}

std::string Machine::PutJava(const std::string& relative, long size) const {
    std::string path = at(relative);
    makeFolders(path.substr(0, path.rfind('\\')));
    EXPECT_TRUE(CopyFileTo(TinyJava(), path)) << path;
    if (size) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = size;
        // Zero bytes after the last section: the image still loads.
        EXPECT_TRUE(file != INVALID_HANDLE_VALUE && SetFilePointerEx(file, end, nullptr, FILE_BEGIN) &&
                    SetEndOfFile(file))
            << path;
        CloseHandle(file);
        EXPECT_EQ(FileSize(path), size);
    }
    return path;
}

std::string Machine::PutHome(const std::string& relative) const {
    PutJava(relative + "\\bin\\java.exe");
    PutJava(relative + "\\bin\\javaw.exe");
    return at(relative);
}

std::string Machine::PutFile(const std::string& relative, const std::string& content) const {
    std::string path = at(relative);
    makeFolders(path.substr(0, path.rfind('\\')));
    EXPECT_TRUE(WriteFileText(path, content)) << path;
    return path;
}

void Machine::SetWritten(const std::string& relative, WORD year) const {
    HANDLE folder = CreateFileA(at(relative).c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    ASSERT_NE(folder, INVALID_HANDLE_VALUE) << relative;
    SYSTEMTIME when = {};
    when.wYear = year;
    when.wMonth = 6;
    when.wDay = 1;
    when.wHour = 12;
    FILETIME written;
    SystemTimeToFileTime(&when, &written);
    EXPECT_TRUE(SetFileTime(folder, nullptr, nullptr, &written));
    CloseHandle(folder);
}

void RegisterHome(const std::string& vendorKey, const std::string& version, const std::string& home) {
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, vendorKey + "\\" + version, "JavaHome", home));
}

void PutRawValue(HKEY root, const std::string& subkey, const char* name, DWORD type, const std::string& bytes) {
    ASSERT_TRUE(WriteRegValue(root, subkey, name, type, bytes.data(), DWORD(bytes.size())));
}

ConfigLogWatch::ConfigLogWatch() : start_(FileSize(LogFilePath())) {
    if (start_ < 0) start_ = 0;
}

std::vector<std::string> ConfigLogWatch::Records() const {
    // Only what was appended: the log of a test prefix only grows.
    std::string text = ReadFileText(LogFilePath(), start_);
    std::vector<std::string> records;
    for (size_t at = 0; at < text.size();) {
        size_t feed = text.find('\n', at);
        size_t end = feed == std::string::npos ? text.size() : feed + 1;
        std::string line = text.substr(at, end - at);
        if (startsWithStamp(line)) {
            records.push_back(line.substr(15));
        } else if (!records.empty()) {
            records.back() += line;   // a record of several lines
        }
        at = end;
    }
    return records;
}

}  // namespace krlx_testing
