// JreLocation: one Java runtime found by discovery. Resolves its java executable under
// the home folder, tells whether it loads, and derives the version numbers from the
// executable's size, the registry's version text or a version in the path.
#include <limits.h>
#include <string.h>

#include "cstring_array.h"
#include "file_status.h"
#include "krlxconfig.h"
#include "once.h"
#include "regex_matcher.h"

namespace {

// Tried in this order under a home folder.
const char* const kRelativeExecutables[] = {
    "bin\\javaw.exe",       "jre\\bin\\javaw.exe",  "javaw.exe",           "bin\\java.exe",
    "jre\\bin\\java.exe",   "jre7\\bin\\java.exe",  "jre8\\bin\\java.exe", "jre7\\bin\\javaw.exe",
    "jre8\\bin\\javaw.exe", "java.exe",
};

// Old runtimes whose launchers carry no usable version: known by their exact size.
struct KnownSize {
    unsigned size;
    int parts[4];
};
const KnownSize kKnownSizes[] = {
    {282679, {1, 3, 0, 0}},   {663552, {1, 3, 0, 0}},   {282699, {1, 3, 1, 24}},  {765952, {1, 3, 1, 24}},
    {1851392, {1, 3, 1, 24}}, {1060864, {1, 4, 0, 92}}, {2392064, {1, 4, 0, 92}}, {1159284, {1, 4, 1, 1}},
    {1159289, {1, 4, 1, 2}},  {2490489, {1, 4, 1, 2}},  {1208442, {1, 4, 2, 1}},  {1212546, {1, 4, 2, 2}},
    {1208439, {1, 4, 2, 28}}, {0, {0, 0, 0, 0}},
};

const char kVersionInPath[] =
    "([0-9][0-9]*)[-._]([0-9][0-9]*)([-._]([0-9][0-9]*))?([-._]([0-9][0-9]*))?";

// The version pattern is compiled once; the dialog's thread and the disk-scan thread
// both parse versions, and a matcher keeps its last match, so searches take turns.
once_state versionPatternReady;
RegexMatcher* versionPattern;
CRITICAL_SECTION versionPatternLock;

// The value of the leading decimal digits of text; 0 without any. Runs of digits too
// long for an int stop at INT_MAX instead of wrapping round.
int leadingNumber(const char* text, int length) {
    long long value = 0;
    for (int i = 0; i < length && text[i] >= '0' && text[i] <= '9'; i++) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) return INT_MAX;
    }
    return int(value);
}

bool partsFromSize(const char* executable, int parts[4]) {
    struct _stat64 status;
    if (!*executable || !file_status(executable, &status)) return false;
    // A folder counts as size 0, and only the low 32 bits of the size are looked at.
    unsigned size = (status.st_mode & _S_IFDIR) ? 0 : unsigned(status.st_size & 0xFFFFFFFF);
    if (size == 0) return false;
    for (const KnownSize* row = kKnownSizes; row->size; row++) {
        if (row->size == size) {
            memcpy(parts, row->parts, sizeof row->parts);
            return true;
        }
    }
    return false;
}

bool partsFromPath(const char* executable, int parts[4]) {
    run_once(&versionPatternReady, [] {
        InitializeCriticalSection(&versionPatternLock);
        versionPattern = new RegexMatcher(kVersionInPath);
    });
    static const int kGroups[4] = {1, 2, 4, 6};
    int length = int(strnlen(executable, INT_MAX));
    EnterCriticalSection(&versionPatternLock);
    bool found = versionPattern->try_search(executable, length, 0, false) >= 0;
    for (int i = 0; found && i < 4; i++) {
        int start = versionPattern->group_start(kGroups[i]);
        parts[i] = start < 0 ? 0 : leadingNumber(executable + start, versionPattern->group_length(kGroups[i]));
    }
    LeaveCriticalSection(&versionPatternLock);
    return found;
}

void partsFromText(const cstring& version, int parts[4]) {
    cstring_array pieces;
    version.split_into(pieces, "._");
    for (int i = 0; i < 4 && i < pieces.count(); i++) {
        const cstring* piece = pieces.at(i);
        parts[i] = leadingNumber(piece->c_str(), int(piece->length()));
    }
}

}  // namespace

bool IsLoadableImage(const char* path, int* reason) {
    if (!path || !*path || !file_status(path, nullptr)) {
        if (reason) *reason = kImageMissing;
        return false;
    }
    // Without an extension LoadLibraryEx would look for path + ".dll"; a trailing dot
    // makes it take the name as it is.
    const char* name = path + strlen(path);
    while (name > path && name[-1] != '\\' && name[-1] != '/') name--;
    cstring image(path);
    if (!strchr(name, '.')) image.append_char('.');
    UINT previousMode = SetErrorMode(SEM_FAILCRITICALERRORS);
    HMODULE module = LoadLibraryExA(image.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    SetErrorMode(previousMode);
    if (!module) {
        if (reason) *reason = kImageNotLoadable;
        return false;
    }
    FreeLibrary(module);
    return true;
}

JreLocation::JreLocation(const char* homeText, const char* versionText, const char* vendorText,
                         const char* executablePath)
    : home(homeText ? homeText : ""),
      version(versionText ? versionText : ""),
      vendor(vendorText ? vendorText : ""),
      executable(executablePath ? executablePath : ""),
      versionParts{0, 0, 0, 0},
      fromBatchFile(0),
      fromSpecFile(0),
      local(0),
      loadedExecutable("") {
    ResolveExecutable();
    ParseVersion();
}

JreLocation::JreLocation(const JreLocation& other)
    : home(other.home),
      version(other.version),
      vendor(other.vendor),
      executable(other.executable),
      fromBatchFile(other.fromBatchFile),
      fromSpecFile(other.fromSpecFile),
      local(other.local),
      loadedExecutable(other.loadedExecutable) {
    memcpy(versionParts, other.versionParts, sizeof versionParts);
    ParseVersion();
}

JreLocation& JreLocation::operator=(const JreLocation& other) {
    if (&other != this) {
        home = other.home;
        version = other.version;
        vendor = other.vendor;
        executable = other.executable;
        memcpy(versionParts, other.versionParts, sizeof versionParts);
        fromBatchFile = other.fromBatchFile;
        fromSpecFile = other.fromSpecFile;
        local = other.local;
        loadedExecutable = other.loadedExecutable;
        ParseVersion();
    }
    return *this;
}

// Loading an image, even as data, is the costly part of discovery, and every source
// asks again whether the executable loads: the loadable one found here is remembered.
void JreLocation::ResolveExecutable() {
    loadedExecutable.clear();
    if (IsLoadableImage(executable.c_str())) {
        loadedExecutable = executable;
        return;
    }
    cstring candidate;
    for (const char* relative : kRelativeExecutables) {
        candidate.format("%s\\%s", home.c_str(), relative);
        if (IsLoadableImage(candidate.c_str())) {
            executable = candidate;
            loadedExecutable = candidate;
            return;
        }
    }
}

bool JreLocation::ExecutableLoads() const {
    if (loadedExecutable.length() && executable.equals(loadedExecutable.c_str())) return true;
    return IsLoadableImage(executable.c_str());
}

void JreLocation::ParseVersion() {
    memset(versionParts, 0, sizeof versionParts);
    if (version.length()) {
        partsFromText(version, versionParts);
        return;
    }
    if (partsFromSize(executable.c_str(), versionParts) || partsFromPath(executable.c_str(), versionParts))
        version.format("%d.%d.%d", versionParts[0], versionParts[1], versionParts[2]);
}

bool JreLocation::IsValid() const {
    return ExecutableLoads() && !(versionParts[0] == 1 && versionParts[1] < 2);
}
