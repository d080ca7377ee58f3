// Shared helpers of the test programs (see test_support.h).
#include "test_support.h"

#include <userenv.h>

#include <cstdio>
#include <cstring>
#include <map>

namespace testing_support {

namespace {

std::string envOrEmpty(const char* name) {
    const char* value = getenv(name);
    return value ? value : "";
}

// The environment block of this process with the given "NAME=value" entries applied.
std::string environmentBlock(const std::vector<std::string>& changes) {
    std::map<std::string, std::string> entries;   // upper-case name -> "Name=value"
    char* block = GetEnvironmentStringsA();
    for (const char* p = block; *p; p += strlen(p) + 1) {
        std::string entry(p);
        size_t eq = entry.find('=', 1);
        if (eq == std::string::npos) continue;
        std::string key = entry.substr(0, eq);
        for (char& c : key) c = char(toupper(static_cast<unsigned char>(c)));
        entries[key] = entry;
    }
    FreeEnvironmentStringsA(block);
    for (const std::string& entry : changes) {
        std::string key = entry.substr(0, entry.find('='));
        for (char& c : key) c = char(toupper(static_cast<unsigned char>(c)));
        entries[key] = entry;
    }
    std::string result;
    for (const auto& kv : entries) {
        result += kv.second;
        result.push_back('\0');
    }
    result.push_back('\0');
    return result;
}

HANDLE inheritableFile(const std::string& path) {
    SECURITY_ATTRIBUTES security = {sizeof security, nullptr, TRUE};
    return CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &security,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY, nullptr);
}

HKEY openKey(HKEY root, const std::string& subkey, REGSAM access, bool create) {
    HKEY key = nullptr;
    LONG status = create ? RegCreateKeyExA(root, subkey.c_str(), 0, nullptr, 0, access, nullptr, &key, nullptr)
                         : RegOpenKeyExA(root, subkey.c_str(), 0, access, &key);
    return status == ERROR_SUCCESS ? key : nullptr;
}

}  // namespace

std::string DistDir() { return envOrEmpty("HALVORIN_TEST_DIST"); }
std::string BuildDir() { return envOrEmpty("HALVORIN_TEST_BUILD"); }
std::string DistFile(const std::string& name) { return DistDir() + "\\" + name; }
std::string BuildFile(const std::string& relative) { return BuildDir() + "\\" + relative; }

ProcessResult RunProcess(const std::string& commandLine, const ProcessOptions& options) {
    static LONG counter;
    ProcessResult result;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char stem[MAX_PATH + 64];
    snprintf(stem, sizeof stem, "%srun-%lu-%ld", temp, GetCurrentProcessId(), InterlockedIncrement(&counter));
    std::string outPath = std::string(stem) + ".out", errPath = std::string(stem) + ".err";
    HANDLE out = inheritableFile(outPath), err = inheritableFile(errPath);

    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    std::string env = environmentBlock(options.environment);
    std::vector<char> line(commandLine.begin(), commandLine.end());
    line.push_back('\0');
    PROCESS_INFORMATION child = {};
    result.started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, env.data(),
                                    options.workDir.empty() ? nullptr : options.workDir.c_str(), &startup, &child);
    DWORD startError = GetLastError();
    CloseHandle(out);
    CloseHandle(err);
    if (result.started) {
        result.processId = child.dwProcessId;
        if (WaitForSingleObject(child.hProcess, options.timeoutMs) == WAIT_TIMEOUT) {
            result.timedOut = true;
            TerminateProcess(child.hProcess, 0xDEAD);
            WaitForSingleObject(child.hProcess, 5000);
        }
        GetExitCodeProcess(child.hProcess, &result.exitCode);
        CloseHandle(child.hThread);
        CloseHandle(child.hProcess);
    }
    result.out = ReadFileText(outPath);
    result.err = ReadFileText(errPath);
    if (!result.started) result.err = "CreateProcess failed with error " + std::to_string(startError);
    DeleteFileA(outPath.c_str());
    DeleteFileA(errPath.c_str());
    return result;
}

TempFolder::TempFolder(const std::string& tag) {
    static LONG counter;
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    char name[MAX_PATH + 96];
    snprintf(name, sizeof name, "%shvt-%s-%lu-%ld", temp, tag.c_str(), GetCurrentProcessId(),
             InterlockedIncrement(&counter));
    path_ = name;
    RemoveTree(path_);
    CreateDirectoryA(path_.c_str(), nullptr);
}

TempFolder::~TempFolder() { RemoveTree(path_); }

bool RemoveTree(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
        return DeleteFileA(path.c_str()) != 0;
    }
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((path + "\\*").c_str(), &found);
    if (search != INVALID_HANDLE_VALUE) {
        do {
            if (!strcmp(found.cFileName, ".") || !strcmp(found.cFileName, "..")) continue;
            RemoveTree(path + "\\" + found.cFileName);
        } while (FindNextFileA(search, &found));
        FindClose(search);
    }
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    return RemoveDirectoryA(path.c_str()) != 0;
}

bool FileExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::string ReadFileText(const std::string& path, long long from) {
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return text;
    if (_fseeki64(file, from, SEEK_SET) == 0) {
        char chunk[65536];
        size_t n;
        while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, n);
    }
    fclose(file);
    return text;
}

bool WriteFileText(const std::string& path, const std::string& content) {
    FILE* file = fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = fwrite(content.data(), 1, content.size(), file) == content.size();
    return fclose(file) == 0 && ok;
}

bool CopyFileTo(const std::string& from, const std::string& to) {
    return CopyFileA(from.c_str(), to.c_str(), FALSE) != 0;
}

long long FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return -1;
    return (static_cast<long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

bool DeleteRegTree(HKEY root, const std::string& subkey) {
    LONG status = RegDeleteTreeA(root, subkey.c_str());
    if (status == ERROR_SUCCESS) status = RegDeleteKeyA(root, subkey.c_str());
    return status == ERROR_SUCCESS || status == ERROR_FILE_NOT_FOUND;
}

bool ReadRegDword(HKEY root, const std::string& subkey, const std::string& name, DWORD* value) {
    HKEY key = openKey(root, subkey, KEY_READ, false);
    if (!key) return false;
    DWORD type = 0, size = sizeof *value;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS && type == REG_DWORD;
}

bool ReadRegString(HKEY root, const std::string& subkey, const std::string& name, std::string* value, DWORD* type) {
    HKEY key = openKey(root, subkey, KEY_READ, false);
    if (!key) return false;
    DWORD valueType = 0, size = 0;
    LONG status = RegQueryValueExA(key, name.c_str(), nullptr, &valueType, nullptr, &size);
    std::vector<char> data(size + 2, '\0');
    if (status == ERROR_SUCCESS)
        status = RegQueryValueExA(key, name.c_str(), nullptr, &valueType, reinterpret_cast<BYTE*>(data.data()), &size);
    RegCloseKey(key);
    if (status != ERROR_SUCCESS) return false;
    if (type) *type = valueType;
    *value = std::string(data.data());
    return true;
}

bool WriteRegValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type, const void* data,
                   DWORD size) {
    HKEY key = openKey(root, subkey, KEY_ALL_ACCESS, true);
    if (!key) return false;
    LONG status = RegSetValueExA(key, name.c_str(), 0, type, static_cast<const BYTE*>(data), size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS;
}

bool WriteRegDword(HKEY root, const std::string& subkey, const std::string& name, DWORD value) {
    return WriteRegValue(root, subkey, name, REG_DWORD, &value, sizeof value);
}

bool WriteRegString(HKEY root, const std::string& subkey, const std::string& name, const std::string& value,
                    DWORD type) {
    return WriteRegValue(root, subkey, name, type, value.c_str(), DWORD(value.size() + 1));
}

std::string HalvorinLogPath() {
    char profile[MAX_PATH] = "";
    DWORD size = sizeof profile;
    HANDLE token;
    if (OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        GetUserProfileDirectoryA(token, profile, &size);
        CloseHandle(token);
    }
    return std::string(profile) + "\\.qzv\\halvorin.log";
}

LogWatch::LogWatch(const std::string& path) : path_(path), start_(FileSize(path)) {
    if (start_ < 0) start_ = 0;
}

// Reads from the mark only: the log of a long-used test prefix grows to tens of megabytes.
std::string LogWatch::NewText() const { return ReadFileText(path_, start_); }

StderrWatch::StderrWatch() : LogWatch(envOrEmpty("HALVORIN_TEST_STDERR")) {}

std::vector<std::string> LogRecords(const std::string& text) {
    // A record starts with "[hh:mm:ss] "; a record may hold several lines.
    std::vector<std::string> records;
    size_t pos = 0;
    auto isStamp = [&](size_t at) {
        return at + 11 <= text.size() && text[at] == '[' && text[at + 3] == ':' && text[at + 6] == ':' &&
               text[at + 9] == ']' && text[at + 10] == ' ';
    };
    while (pos < text.size()) {
        if (!isStamp(pos)) break;
        size_t next = pos + 11;
        while (next < text.size() && !isStamp(next)) next++;
        records.push_back(text.substr(pos + 11, next - pos - 11));
        pos = next;
    }
    return records;
}

bool ContainsInOrder(const std::string& text, const std::vector<std::string>& expected, std::string* missing) {
    size_t pos = 0;
    for (const std::string& part : expected) {
        size_t found = text.find(part, pos);
        if (found == std::string::npos) {
            if (missing) *missing = part;
            return false;
        }
        pos = found + part.size();
    }
    return true;
}

MessageBoxAnswerer::MessageBoxAnswerer(const std::string& title, DWORD timeoutMs)
    : title_(title), timeoutMs_(timeoutMs) {
    thread_ = CreateThread(nullptr, 0, Run, this, 0, nullptr);
}

MessageBoxAnswerer::~MessageBoxAnswerer() { Stop(); }

void MessageBoxAnswerer::Stop() {
    if (!thread_) return;
    stop_ = true;
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
    thread_ = nullptr;
}

DWORD WINAPI MessageBoxAnswerer::Run(void* param) {
    auto* self = static_cast<MessageBoxAnswerer*>(param);
    DWORD start = GetTickCount();
    while (!self->stop_ && GetTickCount() - start < self->timeoutMs_) {
        HWND box = FindWindowA("#32770", self->title_.c_str());
        if (box) {
            char text[4096] = "";
            GetDlgItemTextA(box, 0xFFFF, text, sizeof text);   // the box's static text
            self->text_ = text;
            HWND button = FindWindowExA(box, nullptr, "Button", nullptr);
            DWORD_PTR ignored;
            if (button)
                SendMessageTimeoutA(button, BM_CLICK, 0, 0, SMTO_ABORTIFHUNG, 2000, &ignored);
            else
                PostMessageA(box, WM_COMMAND, IDOK, 0);
            self->answered_ = true;
            return 0;
        }
        Sleep(50);
    }
    return 0;
}

}  // namespace testing_support
