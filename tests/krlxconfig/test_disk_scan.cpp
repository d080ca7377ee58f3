// The disk scan on drives of the test's own: temporary folders mapped as drive letters
// (R: fixed, S: a CD-ROM) with copies of tiny_java.exe planted as runtimes at known
// depths. Drive Z: is the whole unix root, so no test scans the machine's drives; the
// machine's places are only looked up. A message-only window on the test's thread
// receives the scan thread's notifications and reads the list on each of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "jre_machine.h"
#include "krlxconfig.h"
#include "test_support.h"
#include "wine_drive.h"

using namespace krlx_testing;
using namespace testing_support;

namespace {

const DWORD kDriveR = 1u << ('R' - 'A');
const DWORD kDriveS = 1u << ('S' - 'A');

// A temporary folder shown as a drive letter, with folders and runtimes made on it.
class ScratchDrive {
public:
    ScratchDrive(char letter, DWORD type) : letter_(letter), folder_(std::string("diskscan_") + letter) {
        EXPECT_TRUE(DefineWineDrive(letter, folder_.path().c_str(), type)) << letter;
    }
    ~ScratchDrive() { EXPECT_TRUE(RemoveWineDrive(letter_)) << letter_; }

    // Folders below the drive's root, made with their parents.
    void Folder(const std::string& relative) const {
        std::string path = folder_.path();
        size_t from = 0;
        for (size_t at; (at = relative.find('\\', from)) != std::string::npos; from = at + 1)
            CreateDirectoryA((path + "\\" + relative.substr(0, at)).c_str(), nullptr);
        CreateDirectoryA((path + "\\" + relative).c_str(), nullptr);
    }
    // A runtime home: relative\bin\javaw.exe, a real image.
    void Runtime(const std::string& relative) const {
        Folder(relative + "\\bin");
        ASSERT_TRUE(CopyFileTo(TinyJava(), folder_.path() + "\\" + relative + "\\bin\\javaw.exe")) << relative;
    }

private:
    char letter_;
    TempFolder folder_;
};

// This process's handles, from the system's handle table: GetProcessHandleCount
// answers 0 under Wine.
int OwnHandleCount() {
    typedef LONG(WINAPI * QuerySystem)(ULONG, void*, ULONG, ULONG*);
    struct Entry {
        ULONG process;
        BYTE type, flags;
        USHORT handle;
        void* object;
        ACCESS_MASK access;
    };
    QuerySystem query =
        reinterpret_cast<QuerySystem>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "NtQuerySystemInformation"));
    std::vector<char> table(1 << 20);
    ULONG size = 0;
    LONG status;
    const ULONG kSystemHandleInformation = 16;
    while ((status = query(kSystemHandleInformation, table.data(), ULONG(table.size()), &size)) == LONG(0xC0000004))
        table.resize(table.size() * 2);
    if (status != 0) return -1;
    ULONG count = *reinterpret_cast<ULONG*>(table.data());
    const Entry* entries = reinterpret_cast<const Entry*>(table.data() + sizeof(void*));
    int own = 0;
    for (ULONG i = 0; i < count; i++) own += entries[i].process == GetCurrentProcessId();
    return own;
}

// True once this process has count handles again. A scan thread that has signalled its
// end may still be leaving, and Wine closes a handle of its own as it goes.
bool HandlesReturnTo(int count) {
    for (ULONGLONG limit = GetTickCount64() + 10000; OwnHandleCount() != count; Sleep(10))
        if (GetTickCount64() > limit) return false;
    return true;
}

// What the list's window saw. Each WM_JRE_FOUND must come from the scan thread while it
// waits (InSendMessage), with the list's count, and the list must then hold planted
// runtimes only, each once; anything else is written to faults.
struct ScanWatch {
    JreLocationList* list = nullptr;
    std::set<std::string> planted;
    std::vector<int> found;   // wParam of each WM_JRE_FOUND
    std::vector<int> done;    // wParam of each WM_JRE_SCAN_DONE
    size_t stopAt = 0;        // sets StopScan on this many WM_JRE_FOUND (0: never)
    std::vector<std::string> faults;

    void OnFound(int count) {
        found.push_back(count);
        if (!InSendMessage()) faults.push_back("WM_JRE_FOUND was not sent by another thread");
        JreListLock lock(*list);
        if (list->count() != count)
            faults.push_back("count " + std::to_string(count) + ", list " + std::to_string(list->count()));
        std::set<std::string> seen;
        for (int i = 0; i < list->count(); i++) {
            std::string executable = list->at(i)->executable.c_str();
            if (!planted.count(executable)) faults.push_back("not planted: " + executable);
            if (!seen.insert(executable).second) faults.push_back("twice: " + executable);
        }
        if (stopAt && found.size() == stopAt) StopScan = true;
    }
};

LRESULT CALLBACK WatchProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    ScanWatch* watch = reinterpret_cast<ScanWatch*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (watch && message == WM_JRE_FOUND) {
        watch->OnFound(int(wParam));
        return 0;
    }
    if (watch && message == WM_JRE_SCAN_DONE) {
        watch->done.push_back(int(wParam));
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

// A message-only window that feeds a ScanWatch and is set as the list's window.
class WatchWindow {
public:
    WatchWindow(JreLocationList& list, ScanWatch& watch) : list_(list) {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = WatchProc;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "DiskScanWatch";
        RegisterClassA(&windowClass);
        window_ = CreateWindowA("DiskScanWatch", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
        EXPECT_NE(window_, nullptr);
        watch.list = &list;
        SetWindowLongPtrA(window_, GWLP_USERDATA, LONG_PTR(&watch));
        list.window = window_;
    }
    ~WatchWindow() {
        list_.window = nullptr;
        DestroyWindow(window_);
    }

private:
    JreLocationList& list_;
    HWND window_;
};

// Handles this thread's messages until done() holds; false after a minute without.
template <class Done>
bool PumpUntil(Done done) {
    for (ULONGLONG limit = GetTickCount64() + 60000; !done();) {
        if (GetTickCount64() > limit) return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    return true;
}

std::vector<std::string> Executables(const JreLocationList& list) {
    JreListLock lock(list);
    std::vector<std::string> executables;
    for (int i = 0; i < list.count(); i++) executables.push_back(list.at(i)->executable.c_str());
    return executables;
}

bool HasRecord(const std::vector<std::string>& records, const std::string& record) {
    for (const std::string& line : records)
        if (line == record) return true;
    return false;
}

// Records that contain text anywhere.
std::vector<std::string> RecordsWith(const std::vector<std::string>& records, const std::string& text) {
    std::vector<std::string> hits;
    for (const std::string& line : records)
        if (line.find(text) != std::string::npos) hits.push_back(line);
    return hits;
}

std::string Joined(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) text += line;
    return text;
}

// Makes the handles that last for the life of the process before a test counts its
// own: the scan's state, and one that Wine keeps from the first data-file load of an
// image. (The tests count after making their window, which has lasting handles too.)
class DiskScanTest : public ::testing::Test {
protected:
    void SetUp() override {
        EndScan();
        IsLoadableImage(TinyJava().c_str());
    }
    void TearDown() override {
        EndScan();
        StopScan = false;
    }
};

// One scan of Program Files on the CD-ROM S: and of the drives R: and S:, with a row per
// rule of the walk. The drive walk goes three levels below a root (depth 2), the Program
// Files walk four (depth 3).
TEST_F(DiskScanTest, WalksToItsDepthsAndLeavesOutWhatItMust) {
    ScratchDrive fixed('R', DRIVE_FIXED), cdrom('S', DRIVE_CDROM);
    struct Row {
        char drive;
        const char* home;
        bool listed;
        const char* why;
    };
    const Row rows[] = {
        {'R', "a\\b\\jre", true, "three levels below a fixed drive's root"},
        {'R', "a\\b\\c\\jdk", false, "four levels below the root"},
        {'R', "jre8", true, "a candidate with a runtime"},
        {'R', "jre8\\lib\\jdk", false, "below a candidate that gave a runtime"},
        {'R', "javatools\\jdk", true, "below a candidate without a runtime"},
        {'R', "stuff\\Temp\\jre", false, "below a folder named Temp"},
        {'R', "mytmpfiles\\jre", false, "below a folder with tmp in its name"},
        {'R', "jre_cache", true, "a skip word in the candidate's own name, which is never walked"},
        {'R', "Sys\\jre", false, "below a system folder, named in another letter case"},
        {'R', "Apps2\\JDK", true, "upper-case candidate name"},
        {'S', "jre", false, "on a drive that is not fixed"},
        {'S', "Apps\\v\\w\\x\\java", true, "four levels below Program Files, on a drive that is not fixed"},
        {'S', "Apps\\v\\w\\x\\y\\jre", false, "five levels below Program Files"},
        {'S', "Apps\\Common Files\\jre", false, "below Program Files' Common Files"},
    };
    std::set<std::string> expected;
    for (const Row& row : rows) {
        (row.drive == 'R' ? fixed : cdrom).Runtime(row.home);
        if (row.listed) expected.insert(std::string(1, row.drive) + ":\\" + row.home + "\\bin\\javaw.exe");
    }
    fixed.Folder("javatools\\docs");   // a candidate without a runtime, walked further

    JreLocationList list;
    ScanWatch watch;
    for (const Row& row : rows) watch.planted.insert(std::string(1, row.drive) + ":\\" + row.home + "\\bin\\javaw.exe");
    WatchWindow window(list, watch);
    ScanPlaces places;
    places.programFiles = "S:\\Apps";
    places.systemFolders.add("r:\\SYS");
    places.systemFolders.add("S:\\Apps");
    places.drives = kDriveR | kDriveS;
    ConfigLogWatch log;
    int handles = OwnHandleCount();
    ASSERT_GT(handles, 0);

    ASSERT_TRUE(StartScanThread(list, &places));
    EXPECT_TRUE(ScanInProgress());
    ASSERT_TRUE(PumpUntil([&] { return !watch.done.empty(); }));
    EndScan();

    std::vector<std::string> executables = Executables(list);
    EXPECT_EQ(std::set<std::string>(executables.begin(), executables.end()), expected);
    EXPECT_EQ(executables.size(), expected.size());
    // Program Files comes first; the thread does not sort.
    ASSERT_FALSE(executables.empty());
    EXPECT_EQ(executables[0], "S:\\Apps\\v\\w\\x\\java\\bin\\javaw.exe");
    for (const Row& row : rows) {
        std::string executable = std::string(1, row.drive) + ":\\" + row.home + "\\bin\\javaw.exe";
        bool listed = std::find(executables.begin(), executables.end(), executable) != executables.end();
        EXPECT_EQ(listed, row.listed) << row.home << ": " << row.why;
    }
    EXPECT_EQ(watch.found, (std::vector<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(watch.done, (std::vector<int>{6}));
    EXPECT_EQ(watch.faults, std::vector<std::string>());
    EXPECT_FALSE(ScanInProgress());
    EXPECT_TRUE(HandlesReturnTo(handles)) << OwnHandleCount() << " handles, " << handles << " before";

    std::vector<std::string> records = log.Records();
    std::string text = Joined(records);
    const char* const kInOrder[] = {
        "FindSubFolders[+3]: S:\\Apps\n", "skip folders:\n", "\tS:\\Apps\\Common Files\n",
        "FindSubFolders[+2]: R:\\\n", "skip folders:\n", "\tr:\\SYS\n", "\tS:\\Apps\n",
    };
    size_t at = 0;
    for (const char* record : kInOrder) {
        at = text.find(record, at);
        ASSERT_NE(at, std::string::npos) << record << text;
    }
    const char* const kPresent[] = {
        "scan[+3]: S:\\Apps\\v\n",
        "scan[+0]: S:\\Apps\\v\\w\\x\\y\n",
        "+ potential candidate: S:\\Apps\\v\\w\\x\\java\n",
        "+++ AddMachine: S:\\Apps\\v\\w\\x\\java\\bin\\javaw.exe\n",
        "scan[+2]: R:\\a\n",
        "scan[+0]: R:\\a\\b\\c\n",
        "+ potential candidate: R:\\a\\b\\jre\n",
        "+ potential candidate: R:\\javatools\n",
        "scan[+1]: R:\\javatools\\docs\n",
        "disqualified: R:\\stuff\\Temp\n",
        "disqualified: R:\\mytmpfiles\n",
    };
    for (const char* record : kPresent) EXPECT_TRUE(HasRecord(records, record)) << record;
    // Nothing below the limits, below the skipped folders or on the CD-ROM's own walk.
    const char* const kAbsent[] = {"R:\\a\\b\\c\\", "S:\\Apps\\v\\w\\x\\y\\", "R:\\jre8\\lib", "Common Files\\",
                                   "R:\\Sys\\", "FindSubFolders[+2]: S:", "scan[+2]: S:\\jre"};
    for (const char* part : kAbsent) EXPECT_EQ(RecordsWith(records, part), std::vector<std::string>()) << part;
    // The skip list is left out without a word.
    EXPECT_EQ(RecordsWith(records, "disqualified: R:\\Sys"), std::vector<std::string>());
}

// StopScan set by the window on the first runtime, three levels down: the scan ends at
// its next folder entry, keeps the runtime, and still reports that it is done.
TEST_F(DiskScanTest, StopScanEndsTheWalkAtTheNextEntry) {
    ScratchDrive fixed('R', DRIVE_FIXED);
    const char* const kHomes[] = {"d\\e\\jre", "f\\g\\jre", "h\\i\\jre", "k\\l\\jre"};
    JreLocationList list;
    ScanWatch watch;
    for (const char* home : kHomes) {
        fixed.Runtime(home);
        watch.planted.insert(std::string("R:\\") + home + "\\bin\\javaw.exe");
    }
    watch.stopAt = 1;
    WatchWindow window(list, watch);
    ScanPlaces places;
    places.drives = kDriveR;
    ConfigLogWatch log;
    int handles = OwnHandleCount();
    ASSERT_GT(handles, 0);

    ASSERT_TRUE(StartScanThread(list, &places));
    ASSERT_TRUE(PumpUntil([&] { return !watch.done.empty(); }));
    EndScan();

    EXPECT_EQ(list.count(), 1);
    EXPECT_EQ(watch.found, std::vector<int>{1});
    EXPECT_EQ(watch.done, std::vector<int>{1});
    EXPECT_EQ(watch.faults, std::vector<std::string>());
    EXPECT_FALSE(ScanInProgress());
    EXPECT_TRUE(HandlesReturnTo(handles)) << OwnHandleCount() << " handles, " << handles << " before";
    std::vector<std::string> records = log.Records();
    std::vector<std::string> added = RecordsWith(records, "+++ AddMachine: ");
    ASSERT_EQ(added.size(), 1u);
    auto after = std::find(records.begin(), records.end(), added[0]);
    for (auto record = after + 1; record != records.end(); ++record)
        EXPECT_EQ(record->find("scan["), std::string::npos) << "after the stop: " << *record;
}

// Stop and restart in a quick loop, the window reading the list on every notification.
// Rounds stop at once, on a runtime, not at all (the next start ends them), or run to
// the end; every second round starts on an emptied list.
TEST_F(DiskScanTest, StopAndRestartHundredTimes) {
    ScratchDrive fixed('R', DRIVE_FIXED);
    const char* const kHomes[] = {"jre", "p\\jdk", "p\\q\\jre", "s\\java", "t\\u\\j2re", "t\\v"};
    JreLocationList list;
    ScanWatch watch;
    for (const char* home : kHomes) fixed.Runtime(home);
    for (const char* folder : {"p\\w\\x", "s\\y\\z", "t\\u\\k", "t\\w\\m"}) fixed.Folder(folder);
    // t\v has a runtime but no candidate's name: never listed.
    for (int i = 0; i < 5; i++) watch.planted.insert(std::string("R:\\") + kHomes[i] + "\\bin\\javaw.exe");
    WatchWindow window(list, watch);
    ScanPlaces places;
    places.drives = kDriveR;
    int started = 0;
    int handles = OwnHandleCount();
    ASSERT_GT(handles, 0);

    for (int round = 0; round < 100; round++) {
        if (round % 2 == 0) {
            EndScan();
            list.clear();
        }
        watch.stopAt = round % 4 == 1 ? watch.found.size() + 1 + round % 3 : 0;
        ASSERT_TRUE(StartScanThread(list, &places)) << round;
        started++;
        bool ended = true;
        if (round % 4 == 0) StopScan = true;
        // With too few runtimes left to find, the round runs to its end instead.
        if (round % 4 == 1) ended = PumpUntil([&] { return StopScan.load() || watch.done.size() == size_t(started); });
        if (round % 4 == 3) ended = PumpUntil([&] { return watch.done.size() == size_t(started); });
        ASSERT_TRUE(ended) << round;
    }
    EndScan();
    list.clear();
    ASSERT_TRUE(StartScanThread(list, &places));
    started++;
    ASSERT_TRUE(PumpUntil([&] { return watch.done.size() == size_t(started); }));
    EndScan();

    std::vector<std::string> executables = Executables(list);
    EXPECT_EQ(std::set<std::string>(executables.begin(), executables.end()), watch.planted);
    EXPECT_EQ(executables.size(), watch.planted.size());
    EXPECT_EQ(watch.done.size(), size_t(started));
    EXPECT_EQ(watch.done.back(), 5);
    EXPECT_EQ(watch.faults, std::vector<std::string>());
    EXPECT_FALSE(ScanInProgress());
    EXPECT_TRUE(HandlesReturnTo(handles)) << OwnHandleCount() << " handles, " << handles << " before";
}

// The machine's places: Program Files, the system folders from the shell and the
// drives. Wine has no recycle-bin folder, so that entry is missing here.
TEST(DiskScanPlaces, MachinePlacesComeFromTheShell) {
    char user[256];
    DWORD size = sizeof user;
    ASSERT_TRUE(GetUserNameA(user, &size));
    ScanPlaces places;
    GetScanPlaces(places);
    EXPECT_STREQ(places.programFiles.c_str(), "C:\\Program Files");
    std::vector<std::string> folders;
    for (int i = 0; i < places.systemFolders.count(); i++) folders.push_back(places.systemFolders.at(i)->c_str());
    EXPECT_EQ(folders, (std::vector<std::string>{"C:\\windows", "C:\\Documents And Settings",
                                                 std::string("C:\\users\\") + user + "\\AppData\\Roaming",
                                                 "C:\\ProgramData", "C:\\users\\Public\\Documents",
                                                 "C:\\Program Files"}));
    EXPECT_EQ(places.drives, GetLogicalDrives());
}

}  // namespace
