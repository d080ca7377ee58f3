// Values computed once per process, asked for first by many threads at the same time:
// every thread gets the same value, and the computation runs once. This program's
// first test is the first use of each value in the process.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "exception.h"
#include "guid.h"
#include "once.h"
#include "process_info.h"
#include "regex_matcher.h"
#include "system_info.h"

namespace {

const int kThreads = 8;

struct Answers {
    HANDLE go;
    const char* path;
    const char* folder;
    const char* computer;
    const char* user;
    const char* appData;
    bool wow64;
    DWORD heaps;
    std::string guid;
    bool matched;
};

DWORD WINAPI ask_everything(void* parameter) {
    Answers* answers = static_cast<Answers*>(parameter);
    WaitForSingleObject(answers->go, INFINITE);
    answers->path = executable_path();
    answers->folder = executable_folder();
    answers->computer = computer_name();
    answers->user = user_name();
    answers->appData = app_data_folder();
    answers->wow64 = is_wow64();
    HANDLE heaps[4];
    answers->heaps = process_heaps(heaps, 4);
    cstring guid;
    try {
        guid_text(guid);
    } catch (CVelmorException* error) {
        delete error;
    }
    answers->guid = guid.c_str();
    RegexMatcher pattern("(.*java.*)|(.*jdk.*)");
    answers->matched = pattern.match("C:\\Program Files\\Java\\jdk1.8.0");
    return 0;
}

once_state counterReady;
volatile LONG computations;
volatile LONG value;

struct Racer {
    HANDLE go;
    LONG seen;
};

DWORD WINAPI race_to_compute(void* parameter) {
    Racer* racer = static_cast<Racer*>(parameter);
    WaitForSingleObject(racer->go, INFINITE);
    run_once(&counterReady, [] {
        InterlockedIncrement(&computations);
        Sleep(100);   // the others arrive while this one computes
        value = 42;
    });
    racer->seen = value;
    return 0;
}

}  // namespace

TEST(CommonOnce, ThreadsAskingFirstTogetherGetOneValue) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<Answers> answers(kThreads);
    std::vector<HANDLE> threads;
    for (Answers& a : answers) {
        a.go = go;
        threads.push_back(CreateThread(nullptr, 0, ask_everything, &a, 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
    }
    SetEvent(go);
    ASSERT_EQ(WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, 60000), WAIT_OBJECT_0);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(go);

    const Answers& first = answers[0];
    EXPECT_GT(strlen(first.path), 0u);
    EXPECT_GT(strlen(first.folder), 0u);
    EXPECT_GT(strlen(first.computer), 0u);
    EXPECT_GT(strlen(first.appData), 0u);
    for (const Answers& a : answers) {
        EXPECT_EQ(a.path, first.path);
        EXPECT_STREQ(a.path, first.path);
        EXPECT_STREQ(a.folder, first.folder);
        EXPECT_EQ(a.computer, first.computer);   // one buffer: allocated once
        EXPECT_STREQ(a.computer, first.computer);
        EXPECT_STREQ(a.user, first.user);
        EXPECT_STREQ(a.appData, first.appData);
        EXPECT_EQ(a.wow64, first.wow64);
        EXPECT_EQ(a.heaps, first.heaps);
        EXPECT_EQ(a.guid.size(), 36u);
        EXPECT_TRUE(a.matched);
    }
    // Executable path and folder, read again on this thread, are the same texts.
    EXPECT_STREQ(executable_path(), first.path);
    EXPECT_STREQ(computer_name(), first.computer);
}

TEST(CommonOnce, RunsTheComputationOnceWhileOthersWait) {
    HANDLE go = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<Racer> racers(kThreads);
    std::vector<HANDLE> threads;
    for (Racer& r : racers) {
        r.go = go;
        r.seen = 0;
        threads.push_back(CreateThread(nullptr, 0, race_to_compute, &r, 0, nullptr));
        ASSERT_NE(threads.back(), nullptr);
    }
    SetEvent(go);
    ASSERT_EQ(WaitForMultipleObjects(DWORD(threads.size()), threads.data(), TRUE, 60000), WAIT_OBJECT_0);
    for (HANDLE thread : threads) CloseHandle(thread);
    CloseHandle(go);
    EXPECT_EQ(computations, 1);
    for (const Racer& r : racers) EXPECT_EQ(r.seen, 42);   // nobody returned before the value was there

    run_once(&counterReady, [] { InterlockedIncrement(&computations); });
    EXPECT_EQ(computations, 1);
}
