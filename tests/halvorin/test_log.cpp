// The diagnostic log: whole records under concurrency, records without a line feed,
// the folder functions, the error texts and the fallback beside the executable.
#include <gtest/gtest.h>

#include <process.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "service_host.h"
#include "test_support.h"

using namespace testing_support;

namespace {

struct FolderAnswers {
    const char* module;
    const char* userData;
    const char* temp;
    const char* profile;
};

HANDLE startGate;

unsigned __stdcall askFolders(void* out) {
    WaitForSingleObject(startGate, INFINITE);
    auto* answers = static_cast<FolderAnswers*>(out);
    answers->module = GetModuleFolder();
    answers->userData = GetUserDataFolder();
    answers->temp = GetTempFolder();
    answers->profile = GetUserProfileFolder();
    return 0;
}

struct Writer {
    char tag;
    int count;
};

unsigned __stdcall writeRecords(void* param) {
    auto* writer = static_cast<Writer*>(param);
    WaitForSingleObject(startGate, INFINITE);
    for (int i = 0; i < writer->count; i++)
        LogMessage("T%lu-%c %05d the quick brown fox jumps over the lazy dog\n", GetCurrentProcessId(), writer->tag, i);
    return 0;
}

}  // namespace

// Must run first in this program: the folders are computed on first use.
TEST(HalvorinLog, FoldersAreComputedOnceEvenWhenThreadsAskTogether) {
    startGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    FolderAnswers answers[8] = {};
    HANDLE threads[8];
    for (int i = 0; i < 8; i++)
        threads[i] = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, askFolders, &answers[i], 0, nullptr));
    SetEvent(startGate);
    WaitForMultipleObjects(8, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(startGate);
    for (const FolderAnswers& a : answers) {
        EXPECT_EQ(a.module, answers[0].module);
        EXPECT_EQ(a.userData, answers[0].userData);
        EXPECT_EQ(a.temp, answers[0].temp);
        EXPECT_EQ(a.profile, answers[0].profile);
    }

    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string module = GetModuleFolder();
    ASSERT_FALSE(module.empty());
    EXPECT_EQ(module.back(), '\\');
    EXPECT_EQ(std::string(exe).substr(0, module.size()), module);
    EXPECT_EQ(std::string(GetUserDataFolder()), std::string(GetUserProfileFolder()) + "\\.qzv");
    EXPECT_TRUE(DirectoryExists(GetUserDataFolder()));
    std::string temp = GetTempFolder();
    EXPECT_NE(temp.back(), '\\');
    EXPECT_TRUE(DirectoryExists(temp));
}

TEST(HalvorinLog, TwoThreadsLeaveWholeRecords) {
    LogMessage("whole-record test of process %lu\n", GetCurrentProcessId());
    LogWatch watch;
    const int kCount = 10000;
    startGate = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    Writer writers[2] = {{'A', kCount}, {'B', kCount}};
    HANDLE threads[2];
    for (int i = 0; i < 2; i++)
        threads[i] = reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, writeRecords, &writers[i], 0, nullptr));
    SetEvent(startGate);
    WaitForMultipleObjects(2, threads, TRUE, INFINITE);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(startGate);

    std::vector<std::string> records = LogRecords(watch.NewText());
    ASSERT_EQ(records.size(), size_t(2 * kCount));
    int next[2] = {0, 0};
    char expected[160];
    for (const std::string& record : records) {
        int which = record.find("-A ") != std::string::npos ? 0 : 1;
        snprintf(expected, sizeof expected, "T%lu-%c %05d the quick brown fox jumps over the lazy dog\n",
                 GetCurrentProcessId(), writers[which].tag, next[which]);
        ASSERT_EQ(record, expected);   // each thread's records whole and in its order
        next[which]++;
    }
    EXPECT_EQ(next[0], kCount);
    EXPECT_EQ(next[1], kCount);
}

TEST(HalvorinLog, TextWithoutLineFeedRunsIntoTheNextStamp) {
    LogWatch watch;
    LogMessage("fork64 failed because file %s does not exist", "X:\\nowhere\\halvorin64.exe");
    LogMessage("next record\n");
    std::string text = watch.NewText();
    std::vector<std::string> records = LogRecords(text);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], "fork64 failed because file X:\\nowhere\\halvorin64.exe does not exist");
    EXPECT_EQ(records[1], "next record\n");
    EXPECT_NE(text.find("does not exist["), std::string::npos);
}

// The system text without its CR LF, then the code in hexadecimal. The texts are Wine's
// (Windows words them differently). The buffer must hold the system text, CR LF
// included, plus 14: "File not found.\r\n" is 17 characters, so 31 is the smallest size.
TEST(HalvorinLog, LastErrorTextIsTheSystemTextAndTheCode) {
    const struct {
        DWORD error;
        DWORD size;
        const char* expected;
    } cases[] = {
        {ERROR_FILE_NOT_FOUND, 256, "File not found. (0x2)"},
        {ERROR_ACCESS_DENIED, 512, "Access denied. (0x5)"},
        {ERROR_BAD_EXE_FORMAT, 256, "Bad EXE format for %1. (0xc1)"},   // the insert stays unfilled
        {ERROR_FILE_NOT_FOUND, 31, "File not found. (0x2)"},
        {ERROR_FILE_NOT_FOUND, 30, ""},
        {0x2000ABCD, 256, ""},   // no system text
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.error) + " in " + std::to_string(c.size) + " bytes");
        char buffer[512];
        memset(buffer, 'x', sizeof buffer);
        SetLastError(c.error);
        EXPECT_STREQ(LastErrorText(buffer, c.size), c.expected);
        EXPECT_EQ(GetLastError(), c.error);   // left for the caller
    }
}

TEST(HalvorinLog, ReportOSErrorLogsAndReports) {
    LogWatch watch;
    SetLastError(0x2000ABCD);
    EXPECT_EQ(ReportOSError("probe without text"), 0);
    SetLastError(ERROR_ACCESS_DENIED);
    EXPECT_EQ(ReportOSError("probe %s", "with text"), 1);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));

    std::vector<std::string> records = LogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[0], "OS error (unknown reason): probe without text\n");
    EXPECT_EQ(records[1], "probe with text: OS Error 5: Access denied. (0x5)\n");
    EXPECT_EQ(records[2], "EVENTLOG:> probe with text: OS Error 5: Access denied. (0x5)\n");
}

// With a file named ".qzv" in the profile the folder cannot be made: the log goes
// beside the executable.
TEST(HalvorinLog, FallsBackToTheExecutableFolder) {
    std::string qzv = std::string(GetUserProfileFolder()) + "\\.qzv";
    std::string saved = qzv + ".saved-by-test";
    RemoveTree(saved);
    ASSERT_TRUE(MoveFileA(qzv.c_str(), saved.c_str()));
    struct Restore {
        std::string qzv, saved;
        ~Restore() {
            DeleteFileA(qzv.c_str());
            MoveFileA(saved.c_str(), qzv.c_str());
        }
    } restore{qzv, saved};
    ASSERT_TRUE(WriteFileText(qzv, "not a folder"));

    TempFolder folder("logfallback");
    ASSERT_TRUE(CopyFileTo(DistFile("halvorin64.exe"), folder.file("halvorin64.exe")));
    ProcessResult run = RunProcess("\"" + folder.file("halvorin64.exe") + "\" -h");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    std::string log = ReadFileText(folder.file("halvorin.log"));
    EXPECT_NE(log.find("*** Halvorin invoked from command line:\n\t\t" + folder.file("halvorin64.exe") + " -h\n"),
              std::string::npos)
        << log;
    EXPECT_EQ(ReadFileText(qzv), "not a folder");
}

// The event viewer formats each report through the message file of the event source:
// message 0x40000001 is the one insert followed by CR LF, in the message files of both
// builds and in halvorin itself.
TEST(HalvorinEventMessages, TheMessageIsTheInsertAndALineEnd) {
    for (const char* file : {"krlxmsg64.dll", "halvorin64.exe"}) {
        SCOPED_TRACE(file);
        HMODULE module = LoadLibraryExA(DistFile(file).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
        ASSERT_NE(module, nullptr);
        const char* inserts[] = {"Halvorin: StartServiceControlDispatcher failed!"};
        char text[256] = "";
        DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, module, 0x40000001,
                                 MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), text, sizeof text,
                                 reinterpret_cast<va_list*>(const_cast<char**>(inserts)));
        EXPECT_EQ(std::string(text, n), std::string(inserts[0]) + "\r\n");
        EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_IGNORE_INSERTS, module, 0x40000002, 0,
                                 text, sizeof text, nullptr),
                  0u);   // the one message there is
        FreeLibrary(module);
    }
}
