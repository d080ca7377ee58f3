// The disk scan for Java runtimes: Program Files and the fixed drives walked to a few
// levels for folders whose names look like Java installations, on a thread of its own
// that the dialog can stop. Runtimes go into the dialog's list through AddIfQualifies.
#include <process.h>
#include <shlobj.h>

#include "krlxconfig.h"
#include "once.h"
#include "regex_matcher.h"

std::atomic<bool> StopScan(false);

const char kJavaFolderPattern[] = "(.*java.*)|(.*jdk.*)|(.*jre.*)|(.*jre7.*)|(.*jre8.*)|(.*j2.*)";

namespace {

const char kSkippedFolderWords[] =
    "recycle|photo|graph|pictu|sample|temp|tmp|cache|microsoft|america|image|system.volume|windows|corvalis|"
    "example|uninstall|inetpub|cache|office|skin|htm|http|theme|music|document|netscape|help|plugin|386|adobe|"
    "corel|quicken|lang|installshield|source|perl|apache|shared";

once_state skipPatternReady;
RegexMatcher* skipPattern;

// The scan thread's state. The handle is in scanThread exactly while ScanFileSystem runs;
// scanIdle is signalled while no scan thread exists at all, which lasts a little longer:
// the thread still sends WM_JRE_SCAN_DONE and closes its handle after leaving the slot.
once_state scanStateReady;
CRITICAL_SECTION scanThreadLock;
HANDLE scanThread;
HANDLE scanIdle;

void initScanState() {
    InitializeCriticalSection(&scanThreadLock);
    scanIdle = CreateEventA(nullptr, TRUE, TRUE, nullptr);
}

// One walk below a start folder: the list it fills, the compiled candidate pattern and
// the folders it leaves out.
class FolderScan {
public:
    FolderScan(JreLocationList& target, const char* candidatePattern, const cstring_array* skip)
        : list(target), candidates(candidatePattern), skipFolders(skip) {}

    void ScanFolder(const char* folder, int depth);

private:
    bool skipped(const cstring& folder) const;
    // True when the directory gave a runtime, which ends the descent into it.
    bool addCandidate(const cstring& folder, const char* name);

    JreLocationList& list;
    RegexMatcher candidates;
    const cstring_array* skipFolders;
};

bool FolderScan::skipped(const cstring& folder) const {
    // The skip words count anywhere in the path, so nothing below a Temp folder is read.
    if (skipPattern->search(folder.c_str(), int(folder.length()), 0, false) >= 0) {
        LogPrint("disqualified: %s\n", folder.c_str());
        return true;
    }
    return skipFolders && skipFolders->index_of(folder.c_str(), false) >= 0;
}

bool FolderScan::addCandidate(const cstring& folder, const char* name) {
    // The pattern's ".*" on both sides makes the prefix match a "contains".
    if (!candidates.match(name)) return false;
    cstring candidate(cstring::formatted, "%s\\%s", folder.c_str(), name);
    LogPrint("+ potential candidate: %s\n", candidate.c_str());
    return AddIfQualifies(list, JreLocation(candidate.c_str(), nullptr, nullptr, nullptr)) >= 0;
}

void FolderScan::ScanFolder(const char* start, int depth) {
    if (StopScan) return;
    cstring folder(start);
    folder.trim_right_chars("\\/");
    if (skipped(folder)) return;
    cstring pattern(cstring::formatted, "%s\\*", folder.c_str());
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern.c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const char* name = entry.cFileName;
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !strcmp(name, ".") || !strcmp(name, ".."))
            continue;
        LogPrint("scan[+%d]: %s\\%s\n", depth, folder.c_str(), name);
        if (addCandidate(folder, name)) continue;
        if (depth > 0) ScanFolder(cstring(cstring::formatted, "%s\\%s", folder.c_str(), name).c_str(), depth - 1);
    } while (!StopScan && FindNextFileA(search, &entry));
    FindClose(search);
}

void addShellFolder(cstring_array& folders, int csidl) {
    char path[MAX_PATH + 1];
    if (!GetShellFolder(path, csidl, FALSE)) return;
    folders.add(path);
    // Profiles of older Windows lie beside the Windows folder.
    if (csidl == CSIDL_WINDOWS) folders.add(cstring(cstring::formatted, "%c:\\Documents And Settings", path[0]));
}

void copyPlaces(const ScanPlaces& from, ScanPlaces& to) {
    to.programFiles = from.programFiles;
    to.systemFolders.clear();
    for (int i = 0; i < from.systemFolders.count(); i++) to.systemFolders.add(*from.systemFolders.at(i));
    to.drives = from.drives;
}

struct ScanStart {
    JreLocationList* list;
    ScanPlaces* places;   // null: the machine's
};

unsigned __stdcall scanThreadMain(void* parameter) {
    ScanStart* start = static_cast<ScanStart*>(parameter);
    JreLocationList& list = *start->list;
    if (start->places) {
        ScanFileSystem(list, *start->places);
    } else {
        ScanFileSystem(list);
    }
    // Whoever waits for the scan may drop the list as soon as the slot is empty, so it is
    // read before.
    int count = list.count();
    HWND window = list.window;
    EnterCriticalSection(&scanThreadLock);
    HANDLE self = scanThread;
    scanThread = nullptr;
    LeaveCriticalSection(&scanThreadLock);
    if (window) SendMessageA(window, WM_JRE_SCAN_DONE, WPARAM(count), 0);
    // Closed before the thread counts as gone, so that no waiter ever sees it open.
    CloseHandle(self);
    delete start->places;
    delete start;
    SetEvent(scanIdle);
    return 0;
}

// Waits for the idle event while handling the messages other threads send to this
// thread's windows: the scan thread sends its notifications synchronously.
void waitForIdle() {
    while (MsgWaitForMultipleObjects(1, &scanIdle, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
        MSG message;
        PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
}

}  // namespace

void GetScanPlaces(ScanPlaces& places) {
    char path[MAX_PATH + 1];
    places.programFiles = GetShellFolder(path, CSIDL_PROGRAM_FILES, TRUE) ? path : "";
    places.systemFolders.clear();
    const int kSystemFolders[] = {CSIDL_WINDOWS, CSIDL_APPDATA, CSIDL_BITBUCKET, CSIDL_COMMON_APPDATA,
                                  CSIDL_COMMON_DOCUMENTS, CSIDL_PROGRAM_FILES};
    for (int csidl : kSystemFolders) addShellFolder(places.systemFolders, csidl);
    places.drives = GetLogicalDrives();
}

void ScanFileSystem(JreLocationList& list) {
    ScanPlaces places;
    GetScanPlaces(places);
    ScanFileSystem(list, places);
}

void ScanFileSystem(JreLocationList& list, const ScanPlaces& places) {
    if (places.programFiles.length()) {
        cstring_array skip;
        skip.add(cstring(cstring::formatted, "%s\\Common Files", places.programFiles.c_str()));
        FindSubFolders(list, places.programFiles.c_str(), kJavaFolderPattern, 3, &skip);
    }
    // No "drive not ready" boxes for empty card readers and the like.
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    for (char letter = 'A'; letter <= 'Z'; letter++) {
        if (!(places.drives & (1u << (letter - 'A')))) continue;
        char root[] = {letter, ':', '\\', 0};
        if (GetDriveTypeA(root) == DRIVE_FIXED) FindSubFolders(list, root, kJavaFolderPattern, 2, &places.systemFolders);
    }
    SetErrorMode(previousMode);
}

void FindSubFolders(JreLocationList& list, const char* folder, const char* pattern, int depth,
                    const cstring_array* skipFolders) {
    FolderScan scan(list, pattern, skipFolders);
    run_once(&skipPatternReady, [] { skipPattern = new RegexMatcher(kSkippedFolderWords); });
    LogPrint("FindSubFolders[+%d]: %s\n", depth, folder);
    if (skipFolders) {
        LogPrint("skip folders:\n");
        for (int i = 0; i < skipFolders->count(); i++) LogPrint("\t%s\n", skipFolders->at(i)->c_str());
    }
    scan.ScanFolder(folder, depth);
}

bool StartScanThread(JreLocationList& list, const ScanPlaces* places) {
    EndScan();
    StopScan = false;
    ScanStart* start = new ScanStart{&list, nullptr};
    if (places) copyPlaces(*places, *(start->places = new ScanPlaces));
    EnterCriticalSection(&scanThreadLock);
    // Suspended until the slot holds the handle: a short scan could end before.
    HANDLE thread = HANDLE(_beginthreadex(nullptr, 0, scanThreadMain, start, CREATE_SUSPENDED, nullptr));
    if (thread) {
        scanThread = thread;
        ResetEvent(scanIdle);
        ResumeThread(thread);
    }
    LeaveCriticalSection(&scanThreadLock);
    if (!thread) {
        delete start->places;
        delete start;
    }
    return thread != nullptr;
}

bool ScanInProgress() {
    run_once(&scanStateReady, initScanState);
    EnterCriticalSection(&scanThreadLock);
    bool running = scanThread != nullptr;
    LeaveCriticalSection(&scanThreadLock);
    return running;
}

void EndScan() {
    run_once(&scanStateReady, initScanState);
    if (WaitForSingleObject(scanIdle, 0) == WAIT_OBJECT_0) return;
    StopScan = true;
    waitForIdle();
}
