// JRE discovery: the guarded list of runtimes and its sources, cheapest first (the VM
// file qzv.vm, runtimes inside and beside the program folder, the start script, the
// stored JavaExe, the vendors' registry keys, and when those find nothing the newer
// runtimes' keys and JAVA_HOME) and the order that puts the best first.
#include <string.h>

#include "byte_stream.h"
#include "exception.h"
#include "files.h"
#include "folders.h"
#include "krlxconfig.h"
#include "newer_java_sources.h"
#include "regex_matcher.h"
#include "registry.h"

namespace {

const char* const kVendorOrder[] = {"Sun", "IBM", "Microsoft", "Intel", "Oracle"};

struct VendorKey {
    const char* key;
    const char* label;
};
const VendorKey kVendorKeys[] = {{"JavaSoft\\Java", "Sun"}, {"IBM\\Java2", "IBM"}};

const char* const kStartScripts[] = {"Corvalis.bat"};
// Under a newer runtime's home, in this order.
const char* const kNewerExecutables[] = {"bin\\javaw.exe", "bin\\java.exe"};
const char kSpecFileName[] = "qzv.vm";

// Group 1: the first unquoted token of a line; group 3: the inside of a quoted token.
const char kScriptToken[] = "^([^ \t\r\n\f][^ \t\r\n\f]*)|(\"([^\"][^\"]*)\")";

#ifdef _WIN64
const char kBitnessLabel[] = "64-bit";
#else
const char kBitnessLabel[] = "32-bit";
#endif

void rootFolderOf(const char* programFolder, cstring& out) {
    ProgramFolder(out, programFolder);
    ParentFolder(out);
}

// Appends a copy under the list's lock (unless unlessListed and the list holds the
// executable already), then tells the window once the lock is released, so that its
// handler may read the list while this thread waits.
int addCopy(JreLocationList& list, const JreLocation& location, bool unlessListed) {
    JreLocation* copy = new JreLocation(location);
    int index = -1, count = 0;
    HWND window = nullptr;
    {
        JreListLock lock(list);
        if (unlessListed && Contains(list, *copy)) {
            delete copy;
            return -1;
        }
        LogPrint("+++ AddMachine: %s\n", copy->executable.c_str());
        index = list.append(copy);
        count = list.count();
        window = list.window;
    }
    if (window && index >= 0) SendMessageA(window, WM_JRE_FOUND, WPARAM(count), 0);
    return index;
}

// Step 4 and 5 of a script element: home is tried as a runtime's home folder.
bool addFromScript(JreLocationList& list, const cstring& home) {
    JreLocation location(home.c_str(), nullptr, nullptr, nullptr);
    if (!location.IsValid() || Contains(list, location)) return false;
    LogPrint("JVM location \"%s\" qualifies!\n", home.c_str());
    location.fromBatchFile = 1;
    addCopy(list, location, true);
    return true;
}

// The first token of the line and every quoted token after it name a java executable
// or a folder below a runtime; the first that leads to a runtime ends the line.
void scanScriptLine(JreLocationList& list, const char* line, RegexMatcher& token) {
    LogPrint("checking line: \"%s\"\n", line);
    int length = int(strnlen(line, 0x7FFFFFFF));
    cstring element;
    for (int next = 0; (next = token.search(line, length, next, false)) >= 0;) {
        if (token.group_length(0) == 0) break;   // the pattern cannot match empty; never loop on it
        int group = token.group_length(3) ? 3 : 1;
        int start = token.group_start(group), count = token.group_length(group);
        // A quoted first token without a space matches both alternatives with the same
        // length, and GNU regex then reports the first, quotes and all ("C:\jdk\bin\java.exe"
        // as the script we write starts): its inside is the element, as for any quoted token.
        if (group == 1 && count > 2 && line[start] == '"' && line[start + count - 1] == '"') start++, count -= 2;
        element.assign(start < 0 ? "" : line + start, start < 0 ? 0 : count);
        // cmd reads "%%" in a script as one "%"; the script we write doubles each one of a path.
        element.replace_all("%%", "%");
        LogPrint("checking element: \"%s\"\n", element.c_str());
        parent_folder(element.c_str(), element);
        parent_folder(element.c_str(), element);
        if (!element.length()) continue;
        if (addFromScript(list, element)) return;
        parent_folder(element.c_str(), element);
        if (addFromScript(list, element)) return;
        LogPrint("JVM location \"%s\" doesn't qualify\n", element.c_str());
    }
}

void scanScript(JreLocationList& list, const char* path, RegexMatcher& token) {
    LogPrint("analyzing file \"%s\"\n", path);
    ByteStream stream;
    stream.load_file(path);
    cstring text(reinterpret_cast<const char*>(stream.data()), int(stream.size()));
    char* cursor = nullptr;
    while (char* line = text.next_line(&cursor, true)) scanScriptLine(list, line, token);
}

// One entry of a newer source: its home's bin\javaw.exe, else bin\java.exe, is offered
// to the list. True when it joined.
bool offerNewerRuntime(JreLocationList& list, const char* source, const cstring& homeText, const char* version,
                       const char* vendor) {
    unsigned start = 0;
    unsigned length = JavaHomeSpan(homeText.c_str(), homeText.length(), &start);
    cstring home(homeText.c_str() + start, int(length)), executable;
    bool loads = false;
    for (const char* name : kNewerExecutables) {
        // An empty home names no folder; probing it would probe the drive's root.
        if (loads || !home.length()) break;
        executable.format("%s\\%s", home.c_str(), name);
        loads = IsLoadableImage(executable.c_str());
    }
    LogPrint("newer Java source %s: \"%s\" = %s\n", source, home.c_str(), loads ? executable.c_str() : "");
    return loads && AddIfQualifies(list, JreLocation(home.c_str(), version, vendor, executable.c_str())) >= 0;
}

int vendorRank(const cstring& vendor) {
    for (int i = 0; i < int(sizeof kVendorOrder / sizeof kVendorOrder[0]); i++)
        if (vendor.contains(kVendorOrder[i], false)) return i;
    return -1;
}

bool homeLastWritten(const cstring& home, SYSTEMTIME& written) {
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA(home.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return false;
    FindClose(search);
    return FileTimeToSystemTime(&found.ftLastWriteTime, &written) != 0;
}

// An existing home before a missing one; two missing ones by their texts; two existing
// ones by last-write time to the second, later first.
int compareHomes(const cstring& a, const cstring& b) {
    SYSTEMTIME timeA, timeB;
    bool hasA = homeLastWritten(a, timeA), hasB = homeLastWritten(b, timeB);
    if (hasA != hasB) return hasA ? -1 : 1;
    if (!hasA) return a.compare_nocase(b);
    const WORD fieldsA[] = {timeA.wYear, timeA.wMonth, timeA.wDay, timeA.wHour, timeA.wMinute, timeA.wSecond};
    const WORD fieldsB[] = {timeB.wYear, timeB.wMonth, timeB.wDay, timeB.wHour, timeB.wMinute, timeB.wSecond};
    for (int i = 0; i < 6; i++)
        if (fieldsA[i] != fieldsB[i]) return fieldsA[i] > fieldsB[i] ? -1 : 1;
    return 0;
}

int compareFlags(unsigned char a, unsigned char b) {
    return (a != 0) == (b != 0) ? 0 : (a ? -1 : 1);
}

int compareListItems(const void* a, const void* b) {
    return CompareLocations(**static_cast<JreLocation* const*>(a), **static_cast<JreLocation* const*>(b));
}

}  // namespace

JreLocationList::JreLocationList() : array<JreLocation, 1>(8), window(nullptr) {
    InitializeCriticalSection(&guard);
}

JreLocationList::~JreLocationList() {
    clear();
    DeleteCriticalSection(&guard);
}

int JreLocationList::count() const {
    JreListLock lock(*this);
    return used;
}

bool JreLocationList::executable_at(int index, cstring& out) const {
    JreListLock lock(*this);
    JreLocation* item = array::at(index);
    out.assign(item ? item->executable.c_str() : "");
    return item != nullptr;
}

JreLocation* JreLocationList::at(int index) const {
    JreListLock lock(*this);
    return array::at(index);
}

void JreLocationList::clear() {
    JreListLock lock(*this);
    while (used > 0) delete items[--used];
}

int JreLocationList::append(JreLocation* item) {
    JreListLock lock(*this);
    return add(item);
}

void JreLocationList::sort_best_first() {
    JreListLock lock(*this);
    sort(compareListItems);
}

JreListLock::JreListLock(const JreLocationList& locked) : list(locked) {
    EnterCriticalSection(&list.guard);
}

JreListLock::~JreListLock() {
    LeaveCriticalSection(&list.guard);
}

bool ParentFolder(cstring& path) {
    if (path.length() < 2) return false;
    while (path.length() > 1 && (path.last_char() == '\\' || path.last_char() == '/')) path.remove_last();
    for (int i = int(path.length()) - 1; i > 0; i--) {
        if (path.char_at(unsigned(i)) == '\\' || path.char_at(unsigned(i)) == '/') {
            path.set_length(unsigned(i));
            return true;
        }
    }
    return false;
}

bool Contains(const JreLocationList& list, const JreLocation& location) {
    JreListLock lock(list);
    for (int i = 0; i < list.count(); i++)
        if (list.at(i)->executable.equals_nocase(location.executable.c_str())) return true;
    return false;
}

int AddIfQualifies(JreLocationList& list, const JreLocation& location) {
    if (Contains(list, location) || !location.IsValid()) return -1;
    // 1.0 to 1.2 never; 1.3 only with an update or build number.
    const int* parts = location.versionParts;
    if (parts[0] == 1 && (parts[1] <= 2 || (parts[1] == 3 && parts[3] < 1))) return -1;
    // Checked again under the lock: the disk-scan thread may have added it meanwhile.
    return addCopy(list, location, true);
}

int AddMachine(JreLocationList& list, const JreLocation& location) {
    return addCopy(list, location, false);
}

void Discover(JreLocationList& list, const char* programFolder) {
    list.clear();
    ReadSpecFile(list, programFolder);
    FindLocalJres(list, programFolder);
    ScanBatchFiles(list, programFolder);
    ScanSettingsAndRegistry(list);
    // Only where the sources above find nothing, so that a machine they serve keeps its list.
    if (!list.count()) ScanNewerSources(list);
    list.sort_best_first();
    HWND window = list.window;
    if (window) PostMessageA(window, WM_JRE_SCAN_DONE, WPARAM(list.count()), 0);
}

// The VM file qzv.vm holds nothing but the path of a java executable; blanks and NUL bytes
// at either end are trimmed. A file that cannot be read is ignored like every other
// source that cannot be read, and a path that names a folder is refused.
void ReadSpecFile(JreLocationList& list, const char* programFolder) {
    cstring path;
    rootFolderOf(programFolder, path);
    path.append_format("\\%s", kSpecFileName);
    if (!file_exists(path.c_str())) return;
    cstring content;
    try {
        read_whole_file(content, path.c_str());
    } catch (CVelmorException* error) {
        LogPrint("Exception in ReadSpecFile: %s\n", error->message());
        delete error;
        return;
    }
    content.trim();
    // A 0 byte inside would make the path that is checked shorter than the file's text.
    if (!content.length() || strlen(content.c_str()) != content.length() || !file_exists(content.c_str())) return;
    if (is_folder(content.c_str())) {
        LogPrint("%s names a folder, not a java executable: \"%s\"\n", kSpecFileName, content.c_str());
        return;
    }
    JreLocation location(nullptr, nullptr, nullptr, content.c_str());
    location.fromSpecFile = 1;
    AddMachine(list, location);
}

void FindLocalJres(JreLocationList& list, const char* programFolder) {
    cstring program, root;
    ProgramFolder(program, programFolder);
    root.assign(program);
    ParentFolder(root);
    const struct {
        const cstring& folder;
        const char* relative;
    } probes[] = {
        {program, "\\jre\\bin\\javaw.exe"},        {program, "\\jre7\\bin\\javaw.exe"},
        {program, "\\jre8\\bin\\javaw.exe"},       {root, "\\common\\jre\\bin\\javaw.exe"},
        {root, "\\jre\\bin\\javaw.exe"},           {root, "\\jre7\\bin\\javaw.exe"},
        {root, "\\jre8\\bin\\javaw.exe"},
    };
    cstring path;
    for (const auto& probe : probes) {
        path.format("%s%s", probe.folder.c_str(), probe.relative);
        if (!IsLoadableImage(path.c_str())) continue;
        JreLocation location(nullptr, nullptr, nullptr, path.c_str());
        location.local = 1;
        AddIfQualifies(list, location);
    }
}

// A start script written by an earlier run names the runtime it starts.
void ScanBatchFiles(JreLocationList& list, const char* programFolder) {
    cstring program, path;
    ProgramFolder(program, programFolder);
    for (const char* name : kStartScripts) {
        path.format("%s\\%s", program.c_str(), name);
        RegexMatcher token(kScriptToken);
        if (!file_exists(path.c_str())) continue;
        try {
            scanScript(list, path.c_str(), token);
        } catch (CVelmorException* error) {
            LogPrint("Exception in ScanBatchFiles: %s\n", error->message());
            delete error;
        }
    }
}

void ScanSettingsAndRegistry(JreLocationList& list) {
    HKEY key = create_or_open_key(HKEY_LOCAL_MACHINE, "%s", KRLX_SETTINGS_KEY);
    if (key) {
        cstring javaExe;
        if (read_registry_text(key, "JavaExe", javaExe) && IsLoadableImage(javaExe.c_str()))
            AddIfQualifies(list, JreLocation(nullptr, nullptr, nullptr, javaExe.c_str()));
        RegCloseKey(key);
    }
    // The process's own registry view: on 64-bit Windows the 64-bit build covers the
    // 64-bit view, the 32-bit build the 32-bit one.
    ScanRegistry(list, HKEY_LOCAL_MACHINE, "SOFTWARE", kBitnessLabel);
}

// Several version subkeys usually name one home; the first of them is kept.
void ScanRegistry(JreLocationList& list, HKEY root, const char* prefix, const char* label) {
    cstring keyPath, name, home;
    for (const VendorKey& vendor : kVendorKeys) {
        keyPath.format("%s\\%s Runtime Environment", prefix, vendor.key);
        HKEY key = open_key_for_reading(root, "%s", keyPath.c_str());
        if (!key) continue;
        for (DWORD i = 0; enumerate_subkey(key, i, name) == ERROR_SUCCESS; i++) {
            HKEY subkey = open_key_for_reading(key, "%s", name.c_str());
            if (!subkey) continue;
            LogPrint("checking registry (%s): %s\\%s\n", label, keyPath.c_str(), name.c_str());
            if (read_registry_text(subkey, "JavaHome", home)) {
                JreLocation location(home.c_str(), name.c_str(), vendor.label, nullptr);
                const char* loads = location.ExecutableLoads() ? location.executable.c_str() : "";
                LogPrint("registry match (%s): %s = %s\n", label, name.c_str(), loads);
                AddIfQualifies(list, location);
            }
            RegCloseKey(subkey);
        }
        RegCloseKey(key);
    }
}

// Every version entry of each newer key, in table order, under the vendor label a key
// outside the vendor table gets; JAVA_HOME only when none of them joined the list.
void ScanNewerSources(JreLocationList& list) {
    cstring entry, version, home, source;
    bool joined = false;
    for (const NewerJavaSource& from : kNewerJavaSources) {
        HKEY key = open_key_for_reading(HKEY_LOCAL_MACHINE, "%s", from.key);
        if (!key) continue;
        for (DWORD i = 0; enumerate_subkey(key, i, version) == ERROR_SUCCESS; i++) {
            entry.format("%s\\%s", from.key, version.c_str());
            if (*from.entry) entry.append_format("\\%s", from.entry);
            HKEY entryKey = open_key_for_reading(HKEY_LOCAL_MACHINE, "%s", entry.c_str());
            if (!entryKey) continue;
            read_registry_text(entryKey, from.homeValue, home);
            RegCloseKey(entryKey);
            source.format("(%s) %s", kBitnessLabel, entry.c_str());
            joined = offerNewerRuntime(list, source.c_str(), home, version.c_str(), "Unknown") || joined;
        }
        RegCloseKey(key);
    }
    DWORD size = joined ? 0 : GetEnvironmentVariableA(kJavaHomeVariable, nullptr, 0);
    char* buffer = size ? home.get_buffer(size) : nullptr;
    DWORD got = buffer ? GetEnvironmentVariableA(kJavaHomeVariable, buffer, size) : 0;
    if (got && got < size) {
        home.set_length(got);
        offerNewerRuntime(list, kJavaHomeVariable, home, nullptr, nullptr);
    }
}

int CompareLocations(const JreLocation& a, const JreLocation& b) {
    int order = compareFlags(a.fromSpecFile, b.fromSpecFile);
    if (!order) order = compareFlags(a.fromBatchFile, b.fromBatchFile);
    if (!order) order = compareFlags(a.local, b.local);
    // The update or build number counts before the micro version.
    static const int kPartOrder[] = {0, 1, 3, 2};
    for (int i = 0; !order && i < 4; i++) {
        int part = kPartOrder[i];
        if (a.versionParts[part] != b.versionParts[part]) order = a.versionParts[part] > b.versionParts[part] ? -1 : 1;
    }
    if (!order && !a.vendor.equals_nocase(b.vendor.c_str())) {
        int rankA = vendorRank(a.vendor), rankB = vendorRank(b.vendor);
        if (rankA != rankB) order = rankA < rankB ? -1 : 1;
    }
    return order ? order : compareHomes(a.home, b.home);
}

bool DiscoverJVM(cstring& executable, const char* programFolder) {
    JreLocationList list;
    Discover(list, programFolder);
    if (!list.executable_at(0, executable)) return false;
    LogPrint("DiscoverJVM: Chosen VM=\"%s\"\n", executable.c_str());
    return true;
}

bool FindLocalJre(cstring& executable, const char* programFolder) {
    JreLocationList list;
    Discover(list, programFolder);
    executable.clear();
    JreListLock lock(list);
    for (int i = 0; i < list.count(); i++) {
        if (list.at(i)->local) {
            executable.assign(list.at(i)->executable);
            return true;
        }
    }
    return false;
}
