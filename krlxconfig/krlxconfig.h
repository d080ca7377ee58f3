// The configurator and client launcher krlxconfig: what each file of the program offers,
// grouped by file. The entry (main.cpp) links krlxconfig_core; the tests link the core
// and call these functions directly.
#pragma once

#include <windows.h>

#include <atomic>

#include "array.h"
#include "cstring.h"
#include "cstring_array.h"
#include "resource.h"

// ---- Names shared by several files ----------------------------------------------------

// Title of the configurator's message boxes and name of the client.
#define KRLX_PRODUCT_NAME "Corvalis"
// Machine and user settings key, under HKEY_LOCAL_MACHINE and HKEY_CURRENT_USER.
#define KRLX_SETTINGS_KEY "SOFTWARE\\Quorvane\\Corvalis"
// The 32-bit configurator, the one that ships: the shortcuts name it beside the program.
#define KRLX_CONFIGURATOR_FILE "krlxconfig.exe"
// Appended to the log header, to some shortcut names and to the service product's
// Start-menu group; empty in this product.
#define KRLX_EDITION_SUFFIX ""
// True in the 64-bit build, which never relaunches itself.
const bool kBuildIs64 = sizeof(void*) == 8;

// ---- config_log.cpp: the configurator log "krlxconfig.log" -----------------------------

// Appends the formatted text exactly as formatted (callers end their lines with "\n"),
// after a time stamp "MM/DD hh:mm:ss ". One record per call, whole even when several
// threads log at once; a log that cannot be opened drops the text silently.
void LogPrint(const char* format, ...) CSTRING_PRINTF(1, 2);
// The formatted text followed by "\r\n".
void LogLine(const char* format, ...) CSTRING_PRINTF(1, 2);
// "<message>\r\nOS Error <code>: <system text>" with the caller's last error, taken on
// entry before anything else runs.
void LogOsError(const char* format, ...) CSTRING_PRINTF(1, 2);
// The log's full path, fixed on the first write of the process.
const char* LogFilePath();

// ---- jre_location.cpp: one discovered Java runtime -------------------------------------

// A Java runtime found by one of the discovery sources: its home folder, version, vendor
// label and java executable, the version as four numbers, and where it was found. A
// location is a value: a copy parses its version again from the version text.
class JreLocation {
public:
    // Any text may be null (empty). The executable is resolved under the home folder
    // when it does not load itself, then the version is parsed.
    JreLocation(const char* home, const char* version, const char* vendor, const char* executable);
    JreLocation(const JreLocation& other);
    JreLocation& operator=(const JreLocation& other);

    // Keeps a loadable executable, else takes the first loadable entry of the relative
    // executables table under the home folder; unchanged when none loads.
    void ResolveExecutable();
    // versionParts from the executable's size (the known-sizes table), else from the
    // version text, else from a version in the executable's path.
    void ParseVersion();
    // The executable loads and the version is not 1.0 or 1.1.
    bool IsValid() const;
    // IsLoadableImage of the executable; the one ResolveExecutable found loadable is not
    // loaded again.
    bool ExecutableLoads() const;

    cstring home;
    cstring version;          // e.g. 1.6.0_45 from the registry, 1.6.5 from a path; may be empty
    cstring vendor;           // "Sun", "IBM" or "Unknown" from the registry scan; else empty
    cstring executable;       // full path of javaw.exe or java.exe
    int versionParts[4];      // major, minor, micro, update or build; 0 when unknown
    unsigned char fromBatchFile;
    unsigned char fromSpecFile;
    unsigned char local;      // inside or beside the program folder

private:
    cstring loadedExecutable;   // the executable as ResolveExecutable found it loadable
};

// Why IsLoadableImage refused a path.
enum { kImageMissing = 1, kImageNotLoadable = 2 };
// True when path is non-empty, exists and loads as a data-file image; otherwise the
// reason goes to *reason when given.
bool IsLoadableImage(const char* path, int* reason = nullptr);

// ---- jre_discovery.cpp: the runtime list and its sources -------------------------------

// Notifications to a list's window; wParam is the number of runtimes in the list.
#define WM_JRE_FOUND (WM_USER + 500)       // 1524: sent by AddMachine after each append
#define WM_JRE_SCAN_DONE (WM_USER + 502)   // 1526: posted by Discover, sent when the disk scan ends

// The owning list of discovered runtimes, best first after Discover. The dialog's thread
// and the disk-scan thread share one list, so every member below takes the list's lock
// (a critical section, so a thread holding a JreListLock may call them too).
class JreLocationList : private array<JreLocation, 1> {
public:
    JreLocationList();
    ~JreLocationList() override;
    JreLocationList(const JreLocationList&) = delete;
    JreLocationList& operator=(const JreLocationList&) = delete;

    int count() const;
    // A copy of item index's executable; false (out empty) when there is no such item.
    bool executable_at(int index, cstring& out) const;
    // The item itself: valid only while the caller holds a JreListLock on this list,
    // since another thread may clear the list as soon as it is released.
    JreLocation* at(int index) const;
    // Deletes the items, last first.
    void clear();
    // Takes item (made with new) and answers its index, -1 when it could not be stored.
    // Discovery adds through AddMachine, which logs and notifies as well.
    int append(JreLocation* item);
    // Sorts with CompareLocations, best first.
    void sort_best_first();

    // Who receives WM_JRE_FOUND and WM_JRE_SCAN_DONE; null: nobody.
    std::atomic<HWND> window;

private:
    friend class JreListLock;
    mutable CRITICAL_SECTION guard;
};

// Holds a list's lock for a scope, for readers that need several reads to agree (the
// count and then each item). Never wait for the disk-scan thread or send it anything
// while holding it: that thread takes the lock in every AddMachine.
class JreListLock {
public:
    explicit JreListLock(const JreLocationList& list);
    ~JreListLock();
    JreListLock(const JreListLock&) = delete;
    JreListLock& operator=(const JreListLock&) = delete;

private:
    const JreLocationList& list;
};

// An item has the location's executable, letter case ignored.
bool Contains(const JreLocationList& list, const JreLocation& location);
// Appends a copy when the location is new, valid and of a usable version: its index,
// or -1.
int AddIfQualifies(JreLocationList& list, const JreLocation& location);
// Appends a copy unconditionally, logs it and sends WM_JRE_FOUND once the lock is
// released; answers the copy's index.
int AddMachine(JreLocationList& list, const JreLocation& location);

// The sources, cheapest first. programFolder is the folder the program lives in (null: as
// ProgramFolder has it); its parent is the root folder.
void Discover(JreLocationList& list, const char* programFolder = nullptr);
void ReadSpecFile(JreLocationList& list, const char* programFolder = nullptr);
void FindLocalJres(JreLocationList& list, const char* programFolder = nullptr);
void ScanBatchFiles(JreLocationList& list, const char* programFolder = nullptr);
void ScanSettingsAndRegistry(JreLocationList& list);
// The vendors' "<prefix>\<vendor key> Runtime Environment" keys under root; label goes
// into the log lines.
void ScanRegistry(JreLocationList& list, HKEY root, const char* prefix, const char* label);
// The newer runtimes' registry keys and JAVA_HOME (newer_java_sources.h), through
// AddIfQualifies: for a machine where the sources above find nothing, before a disk scan.
void ScanNewerSources(JreLocationList& list);
// Negative when a comes before b in the list, positive when after, 0 when equal.
int CompareLocations(const JreLocation& a, const JreLocation& b);

// The best runtime's executable after a Discover of a list of its own; false when none.
bool DiscoverJVM(cstring& executable, const char* programFolder = nullptr);
// The best runtime inside or beside the program folder; false when none.
bool FindLocalJre(cstring& executable, const char* programFolder = nullptr);
// Cuts the last component off path (trailing separators first); true when cut.
bool ParentFolder(cstring& path);

// ---- settings.cpp: the JavaExe and Memory settings -------------------------------------

// The user's JavaExe, else the machine's; true only when it loads (out empty otherwise).
bool ReadJavaExe(cstring& executable);
// Into the machine key, or into the user key when that fails; true when one was written.
// After a machine write, a user value of the name already there gets the same value.
bool WriteJavaExe(const char* path);
// Maximum heap in megabytes: the user's Memory, else the machine's; 512 when unusable.
unsigned ReadMemory();
bool WriteMemory(unsigned megabytes);

// ---- entry.cpp: the start-up sequence, options and the log header ---------------------

// The instance handle of the program, set before the job is chosen; the main dialog
// loads its icons from it.
extern HINSTANCE ModuleInstance;
// True when the command line holds "/setup": the main dialog then does not warn that no
// Java executable was found.
extern bool SetupMode;

// The whole run of the program; answers its exit code. instance holds the dialog and the
// icons, imageModule the embedded 64-bit build (both the executable in the product);
// underWow64 is the answer of IsWow64Process, false for the 64-bit build.
int RunConfigurator(HINSTANCE instance, const char* commandLine, int show, bool underWow64, HMODULE imageModule);
// Options are plain case-sensitive substrings of the command line: "/installer" counts
// as "/install".
bool HasOption(const char* commandLine, const char* option);
// The block that opens each run's part of the log: version, OS, path and command line.
void WriteLogHeader(const char* commandLine);

// ---- relaunch64.cpp: the 64-bit build carried by the 32-bit one ------------------------

// Writes the resource "BINRES" 1 of module as the hidden file "krlxconfig64.exe" (in the
// module's folder, or in the temporary folder when that is not writable) and starts it
// with commandLine and the show command. Answers the process handle, or null with the
// reason in the log; target is the path written.
HANDLE RelaunchAs64(HMODULE module, const char* commandLine, int show, cstring& target);
// RelaunchAs64, then waits for the process and deletes the file. True when it ran; its
// exit code is not passed on. An image written elsewhere than the module's folder is told
// that folder, the program folder, in the environment of its process alone.
bool RunAs64AndWait(HMODULE module, const char* commandLine, int show);
// The program folder the 32-bit build handed over, without a trailing separator; empty
// when there was none. Set by TakeProgramFolderHandOver.
extern char ProgramFolderHandedOver[MAX_PATH + 1];
// The 64-bit build's side: takes the handed-over folder when it holds krlxconfig.exe,
// logs the choice, and removes the variable from this process's environment.
void TakeProgramFolderHandOver();
// Writes the image as the hidden file target and answers a handle that keeps it from being
// written, renamed or deleted until it is closed (the process must have started by then).
// INVALID_HANDLE_VALUE with the reason logged and nothing left behind on failure.
HANDLE WriteImageHeld(const char* target, const void* image, DWORD size);

// ---- access_checks.cpp: may the user write the machine registry or a folder ------------

// Whether HKEY_LOCAL_MACHINE\Software can be created or opened with full access.
bool CanWriteMachineRegistry();
// Whether the folder's security grants the current user every bit of FILE_GENERIC_WRITE.
// Failures are logged and answered with false; nothing is thrown.
bool CanWriteDirectory(const char* folder);

// ---- shell_folders.cpp: the shell's special folders ------------------------------------

// The folder of a CSIDL into buffer (261 characters), created when create is set and the
// shell can. False when the shell does not know it; last error 50 without a shell function.
bool GetShellFolder(char* buffer, int csidl, BOOL create);

// ---- launch_script.cpp: the client's start script and the client start -----------------

// programFolder is the folder the program lives in (null: the one handed over by the
// 32-bit build, else the running executable's folder), without or with a trailing
// separator; out never has one. Every default folder of the configurator derives from it.
void ProgramFolder(cstring& out, const char* programFolder = nullptr);
// The program folder's parent: the client's -root.
void RootFolder(cstring& out, const char* programFolder = nullptr);
// The folder of the start script and the client shortcut: the program folder when the
// user may write it, else ".qzv" in the user's profile, made when missing. False when
// that folder does not exist even so.
bool ScriptFolder(cstring& folder, const char* programFolder = nullptr);
// Append a space (to a non-empty text) and the client's Java arguments: the script's
// end with "%*", the shortcut's with the closing quote of the root.
void AppendLaunchArguments(cstring& text, const char* programFolder = nullptr);
void AppendShortcutArguments(cstring& text, const char* programFolder = nullptr);
// Writes "Corvalis.bat" for java into the script folder; non-zero when the new script is
// in place. 0 leaves the old script as it was.
int WriteLaunchScript(const char* java, const char* programFolder = nullptr);
// The stored Java executable, else the best discovered one (then stored). False when
// none is known.
bool GetJavaExecutable(cstring& java, const char* programFolder = nullptr);
// Opens the client shortcut in the script folder; throws CVelmorException* 1902 when no
// Java executable is known, 1995 when the shortcut cannot be opened.
void StartClient(const char* programFolder = nullptr);

// ---- install_tasks.cpp: the shortcuts, "/install" and "/remove" ------------------------

// The web address of the product's documentation, the target of a Start-menu link.
extern const char kDocumentationAddress[];

// One .lnk file to write; icon empty: the link has no icon location.
struct ShortcutSpec {
    cstring link;
    cstring target;
    cstring arguments;
    cstring icon;
    int iconIndex = -1;
};
// Writes the link (replacing a file there, making its folder) with the program folder as
// its working folder; needs OLE on this thread. Logged either way.
bool CreateShortcut(const ShortcutSpec& shortcut, const char* programFolder = nullptr);
// The Start-menu, script-folder and desktop shortcuts of the client and its documents,
// for java (discovered and stored into java when empty). 1 when the Start-menu links were
// made, else 0.
int CreateShortcutSet(cstring& java, const char* programFolder = nullptr);
// "/install": the runtime (beside the program, else the stored one), its start script,
// the shortcut set and the stored choice; the shortcut set's result.
int InstallTasks(const char* programFolder = nullptr);
// Deletes the stale uninstall entries of older clients ("Corvalis.*JE.*" but
// "QZV CorvalisJE 6" and "CorvalisJE", and "Corvalis and Halvorin").
bool CleanUninstallEntries();
// Deletes "Corvalis_and_Halvorin_InstallLog.log" from the user's desktop.
bool DeleteDesktopInstallLog();
// Deletes the Start-menu groups "QZV" and "QZV (Preview)" of all users; whether "QZV" went.
bool RemoveProgramGroups();
// Deletes the folder with everything in it, read-only files too; whether the folder went.
bool DeleteTree(const char* folder);
// Deletes parent\name with all its subkeys; whether the key went.
bool DeleteRegistryTree(HKEY parent, const char* name);

// ---- main_dialog.cpp: dialog 103 -------------------------------------------------------

struct ScanPlaces;
// Where the dialog's discovery, disk scan, start script and shortcuts look; null: the
// running executable's folder and the machine's own disks. The tests lay out machines.
struct DialogPlaces {
    const char* programFolder = nullptr;
    const ScanPlaces* scan = nullptr;
};
extern DialogPlaces MainDialogPlaces;
// The runtimes the dialog shows, shared with the disk-scan thread; made on first use and
// never freed, since a scan left running by the close box still appends to it.
extern JreLocationList* DialogJreList;
// The dialog's window, stored when it opens.
extern HWND MainDialogWindow;

// Ends with 1 (Start: the settings were saved) or 2 (Cancel or the close box).
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// ---- disk_scan.cpp: the disk scan for Java runtimes ------------------------------------

// Set to ask a running scan to stop: it returns at its next folder entry, keeps what it
// appended, and its thread ends as usual. Cleared when a scan thread starts.
extern std::atomic<bool> StopScan;

// The candidate folder names: any name containing java, jdk, jre or j2.
extern const char kJavaFolderPattern[];

// Where a scan looks: Program Files (empty: unknown), the system folders that the drive
// walk leaves out, and the drives as a GetLogicalDrives mask.
struct ScanPlaces {
    cstring programFiles;
    cstring_array systemFolders;
    DWORD drives = 0;
};
// The machine's: the shell folders and GetLogicalDrives.
void GetScanPlaces(ScanPlaces& places);

// Program Files to depth 3 without its "Common Files", then each fixed drive to depth 2
// without the system folders; runtimes are appended through AddIfQualifies. One scan at
// a time: the walks share the compiled skip pattern.
void ScanFileSystem(JreLocationList& list);
void ScanFileSystem(JreLocationList& list, const ScanPlaces& places);
// Walks folder for subfolders whose names match pattern, descending depth levels below
// it (0: its own entries only) but never into a folder that gave a runtime.
void FindSubFolders(JreLocationList& list, const char* folder, const char* pattern, int depth,
                    const cstring_array* skipFolders);

// Ends a scan that still runs (see EndScan), then runs ScanFileSystem(list) on a new
// thread, over places when given (copied) or the machine's. The thread sends
// WM_JRE_SCAN_DONE to the list's window when it is done. False when it did not start.
bool StartScanThread(JreLocationList& list, const ScanPlaces* places = nullptr);
// True from StartScanThread until the scan thread has left ScanFileSystem.
bool ScanInProgress();
// Sets StopScan when a scan thread exists and waits until it has gone, handling the
// notifications it sends to this thread's windows meanwhile. Afterwards the list may be
// dropped. Never call it while holding a JreListLock or from a handler of the scan's
// own notifications: the scan thread waits for both.
void EndScan();

// Checks the combo's executable and the heap size, asking the user where they fail, then
// stores both, makes the shortcuts and writes the start script: non-zero when the script
// was written.
int SaveSettings(HWND dialog);
// The runtime loads and is 1.5 or newer; version gets its version text (empty: unknown).
bool CheckJavaVersion(const char* path, cstring& version);
