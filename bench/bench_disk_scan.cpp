// The disk scan of a generated tree of 51,020 folders (20 x 50 x 50 below the root of a
// drive of its own, ten runtimes among the deepest) against a bare FindFirstFile walk of
// the same tree to the same depths, and against that walk plus the "scan[...]" log record
// per folder that the scan must write. The tree is made once beside the benchmark and
// kept for later runs (removing 51,020 folders under Wine takes minutes); the drive
// letter goes at the end.
#include <stdio.h>
#include <string.h>

#include <algorithm>

#include "bench_timer.h"
#include "krlxconfig.h"
#include "wine_drive.h"

namespace {

const char kLetter = 'Q';
const int kWidths[] = {20, 50, 50};
const int kRuntimes = 10;

void makeTree(const char* root, const char* image) {
    char path[MAX_PATH];
    for (int a = 0; a < kWidths[0]; a++) {
        snprintf(path, sizeof path, "%s\\d%02d", root, a);
        CreateDirectoryA(path, nullptr);
        for (int b = 0; b < kWidths[1]; b++) {
            snprintf(path, sizeof path, "%s\\d%02d\\e%02d", root, a, b);
            CreateDirectoryA(path, nullptr);
            for (int c = 0; c < kWidths[2]; c++) {
                // The first leaf below each of the first ten top folders is a runtime's home.
                bool runtime = a < kRuntimes && b == 0 && c == 0;
                snprintf(path, sizeof path, runtime ? "%s\\d%02d\\e%02d\\jre%02d" : "%s\\d%02d\\e%02d\\f%02d", root, a,
                         b, c);
                CreateDirectoryA(path, nullptr);
                if (!runtime) continue;
                char home[MAX_PATH];
                snprintf(home, sizeof home, "%s\\bin", path);
                CreateDirectoryA(home, nullptr);
                snprintf(home, sizeof home, "%s\\bin\\javaw.exe", path);
                CopyFileA(image, home, FALSE);
            }
        }
    }
}

// What the scan cannot do without: list each folder to the depth, and (logged) write
// one record per subfolder.
long bareWalk(const char* folder, int depth, bool logged) {
    char pattern[MAX_PATH];
    snprintf(pattern, sizeof pattern, "%s\\*", folder);
    WIN32_FIND_DATAA entry;
    HANDLE search = FindFirstFileA(pattern, &entry);
    if (search == INVALID_HANDLE_VALUE) return 0;
    long folders = 0;
    do {
        if (!(entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !strcmp(entry.cFileName, ".") ||
            !strcmp(entry.cFileName, ".."))
            continue;
        folders++;
        if (logged) LogPrint("scan[+%d]: %s\\%s\n", depth, folder, entry.cFileName);
        if (depth > 0) {
            char path[MAX_PATH];
            snprintf(path, sizeof path, "%s\\%s", folder, entry.cFileName);
            folders += bareWalk(path, depth - 1, logged);
        }
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return folders;
}

// Wall-clock and this process's processor seconds of one call of work. The processor
// time leaves out what the machine's other load costs the wall clock.
struct Cost {
    double wall = 1e30, processor = 1e30;
};

double processorSeconds() {
    FILETIME created, ended, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &ended, &kernel, &user);
    ULARGE_INTEGER k = {{kernel.dwLowDateTime, kernel.dwHighDateTime}}, u = {{user.dwLowDateTime, user.dwHighDateTime}};
    return double(k.QuadPart + u.QuadPart) / 1e7;
}

template <class Work>
void measure(Cost& best, Work work) {
    double before = processorSeconds();
    double wall = BestSeconds(1, work);
    best.wall = std::min(best.wall, wall);
    best.processor = std::min(best.processor, processorSeconds() - before);
}

}  // namespace

int main() {
    char image[MAX_PATH], folder[MAX_PATH + 16], marker[MAX_PATH + 32];
    GetModuleFileNameA(nullptr, image, sizeof image);   // this benchmark: a real x64 image
    snprintf(folder, sizeof folder, "%s", image);
    *strrchr(folder, '\\') = 0;
    strcat(folder, "\\disk_scan_tree");
    snprintf(marker, sizeof marker, "%s\\complete", folder);
    CreateDirectoryA(folder, nullptr);
    // Whatever the folder's own path holds (a skip word, say), the scan sees the drive.
    if (!testing_support::DefineWineDrive(kLetter, folder, DRIVE_FIXED)) {
        printf("could not map %c: to %s\n", kLetter, folder);
        return 1;
    }
    const char root[] = {kLetter, ':', 0};
    double made = 0;
    if (GetFileAttributesA(marker) == INVALID_FILE_ATTRIBUTES) {
        made = BestSeconds(1, [&] { makeTree(root, image); });
        CloseHandle(CreateFileA(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
    }

    ScanPlaces places;
    places.drives = 1u << (kLetter - 'A');
    JreLocationList list;
    long folders = bareWalk(root, 2, false);   // also warms the file system's caches
    // The three in turn, best of five rounds each, so that a busy spell of the machine
    // does not fall on one of them alone.
    Cost scan, bare, bareLogged;
    for (int round = 0; round < 5; round++) {
        measure(scan, [&] {
            list.clear();
            ScanFileSystem(list, places);
        });
        measure(bare, [&] { bareWalk(root, 2, false); });
        measure(bareLogged, [&] { bareWalk(root, 2, true); });
    }
    int found = list.count();

    testing_support::RemoveWineDrive(kLetter);

    printf("folders walked: %ld; runtimes found: %d of %d\n", folders, found, kRuntimes);
    if (made > 0) printf("tree made in %.0f s (kept in %s)\n", made, folder);
    printf("                                 wall      processor (this process)\n");
    printf("ScanFileSystem:                  %6.0f ms %6.0f ms\n", scan.wall * 1e3, scan.processor * 1e3);
    printf("bare FindFirstFile walk:         %6.0f ms %6.0f ms\n", bare.wall * 1e3, bare.processor * 1e3);
    printf("bare walk + a record per folder: %6.0f ms %6.0f ms\n", bareLogged.wall * 1e3, bareLogged.processor * 1e3);
    printf("ratio ScanFileSystem / bare walk: %.2f (processor %.2f)\n", scan.wall / bare.wall,
           scan.processor / bare.processor);
    printf("ratio ScanFileSystem / bare walk with the same log records: %.2f (processor %.2f)\n",
           scan.wall / bareLogged.wall, scan.processor / bareLogged.processor);
    return found == kRuntimes ? 0 : 1;
}
