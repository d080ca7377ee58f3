// Shared helpers of the test programs: running a real executable with its output
// captured and a time limit, private temporary folders, files, registry keys, the
// halvorin log, and answering message boxes.
#pragma once

#include <windows.h>

#include <atomic>
#include <string>
#include <vector>

namespace testing_support {

// Windows paths handed to the tests by ctest.
std::string DistDir();                       // dist/ with the deliverables
std::string BuildDir();                      // the x86_64 build tree
std::string DistFile(const std::string& name);
std::string BuildFile(const std::string& relative);   // relative with backslashes

struct ProcessResult {
    bool started = false;
    bool timedOut = false;
    DWORD exitCode = 0;
    DWORD processId = 0;
    std::string out;
    std::string err;
};

struct ProcessOptions {
    DWORD timeoutMs = 30000;
    std::string workDir;                   // empty: the caller's
    std::vector<std::string> environment;  // "NAME=value" added to (or replacing in) the caller's
};

// Starts commandLine (the program path quoted by the caller where needed), captures
// standard output and error, waits up to the time limit and kills the process on
// time-out.
ProcessResult RunProcess(const std::string& commandLine, const ProcessOptions& options = ProcessOptions());

// A fresh folder under the temporary folder, removed with its contents on destruction.
class TempFolder {
public:
    explicit TempFolder(const std::string& tag);
    ~TempFolder();
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "\\" + name; }

private:
    std::string path_;
};

bool RemoveTree(const std::string& path);
bool FileExists(const std::string& path);
bool DirectoryExists(const std::string& path);
std::string ReadFileText(const std::string& path, long long from = 0);   // from: a byte offset
bool WriteFileText(const std::string& path, const std::string& content);
bool CopyFileTo(const std::string& from, const std::string& to);
long long FileSize(const std::string& path);   // -1 when missing

// Registry helpers on the 64-bit view.
bool DeleteRegTree(HKEY root, const std::string& subkey);
bool ReadRegDword(HKEY root, const std::string& subkey, const std::string& name, DWORD* value);
bool ReadRegString(HKEY root, const std::string& subkey, const std::string& name, std::string* value,
                   DWORD* type = nullptr);
bool WriteRegValue(HKEY root, const std::string& subkey, const std::string& name, DWORD type, const void* data,
                   DWORD size);
bool WriteRegDword(HKEY root, const std::string& subkey, const std::string& name, DWORD value);
bool WriteRegString(HKEY root, const std::string& subkey, const std::string& name, const std::string& value,
                    DWORD type = REG_SZ);

// halvorin.log of the user running the tests, and what was appended to it since a mark.
std::string HalvorinLogPath();
class LogWatch {
public:
    explicit LogWatch(const std::string& path = HalvorinLogPath());
    std::string NewText() const;

private:
    std::string path_;
    long long start_;
};

// What this test program and its children wrote to standard error since a mark: Wine
// trace lines of child processes end up there (see cmake/wine-run.sh).
class StderrWatch : public LogWatch {
public:
    StderrWatch();
};

// The log records of a text, with their "[hh:mm:ss] " stamps removed.
std::vector<std::string> LogRecords(const std::string& text);
// True when each expected text occurs in the log text, in this order.
bool ContainsInOrder(const std::string& text, const std::vector<std::string>& expected, std::string* missing = nullptr);

// Answers the first message box whose title is `title` from a thread of its own:
// remembers its text and presses its first button. Stop() waits for the thread.
class MessageBoxAnswerer {
public:
    explicit MessageBoxAnswerer(const std::string& title, DWORD timeoutMs = 20000);
    ~MessageBoxAnswerer();
    void Stop();
    bool answered() const { return answered_; }
    std::string text() const { return text_; }

private:
    static DWORD WINAPI Run(void* self);
    std::string title_;
    std::string text_;
    DWORD timeoutMs_;
    std::atomic<bool> answered_{false};
    std::atomic<bool> stop_{false};
    HANDLE thread_ = nullptr;
};

}  // namespace testing_support
