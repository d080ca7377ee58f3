// RegexMatcher against a case-insensitive substring loop making the same decision as
// the disk scan (skip the folder when a skip word occurs in its path; take it as a
// candidate when its name holds a Java word), over 100,000 generated folder paths; and
// the registry text read against a bare RegQueryValueExA. Removes its key at the end.
#include <stdio.h>
#include <string.h>

#include <string>
#include <vector>

#include "bench_timer.h"
#include "regex_matcher.h"
#include "registry.h"

namespace {

const int kPaths = 100000;
const int kReads = 100000;
const char kSkipPattern[] =
    "recycle|photo|graph|pictu|sample|temp|tmp|cache|microsoft|america|image|system.volume|windows|corvalis|"
    "example|uninstall|inetpub|cache|office|skin|htm|http|theme|music|document|netscape|help|plugin|386|adobe|"
    "corel|quicken|lang|installshield|source|perl|apache|shared";
const char kCandidatePattern[] = "(.*java.*)|(.*jdk.*)|(.*jre.*)|(.*jre7.*)|(.*jre8.*)|(.*j2.*)";
const char* const kSkipWords[] = {"recycle", "photo", "graph", "pictu", "sample", "temp", "tmp", "cache",
                                  "microsoft", "america", "image", "system.volume", "windows", "corvalis",
                                  "example", "uninstall", "inetpub", "office", "skin", "htm", "http", "theme",
                                  "music", "document", "netscape", "help", "plugin", "386", "adobe", "corel",
                                  "quicken", "lang", "installshield", "source", "perl", "apache", "shared"};
// "jre7" and "jre8" contain "jre": three words decide like the six alternatives.
const char* const kCandidateWords[] = {"java", "jdk", "jre", "j2"};
const char kBenchKey[] = "Software\\Quorvane\\BenchRegex";
volatile int sink;

struct Folder {
    std::string path;
    size_t nameAt;   // where the last component starts
};

std::vector<Folder> make_folders() {
    const char* const roots[] = {"C:\\Program Files", "D:", "C:\\Program Files (x86)", "E:\\Tools"};
    const char* const vendors[] = {"Quorvane", "Java", "Adobe", "Vendor", "Sun", "Microsoft Office", "Tools",
                                   "IBM", "Games", "Common"};
    const char* const names[] = {"jre1.8.0_202", "bin", "JDK-17.0.2", "lib", "Data", "Temp", "jre7", "Plugins",
                                 "Corvalis JE", "src", "J2SE", "docs", "runtime", "Help", "x64", "share"};
    std::vector<Folder> folders;
    folders.reserve(kPaths);
    char part[32];
    for (int i = 0; i < kPaths; i++) {
        snprintf(part, sizeof part, "%s%d", i % 3 ? "Product" : "Release", i % 97);
        std::string path = std::string(roots[i % 4]) + "\\" + vendors[(i / 4) % 10] + "\\" + part + "\\";
        size_t nameAt = path.size();
        path += names[(i * 7) % 16];
        folders.push_back({path, nameAt});
    }
    return folders;
}

// The disk scan's decision for one folder: 0 skipped, 1 scanned, 2 a candidate.
int regex_decision(RegexMatcher& skip, RegexMatcher& candidate, const Folder& folder) {
    if (skip.search(folder.path.c_str(), int(folder.path.size()), 0, false) >= 0) return 0;
    return candidate.match(folder.path.c_str() + folder.nameAt) ? 2 : 1;
}

bool contains_lower(const char* lowered, const char* word) {
    return strstr(lowered, word) != nullptr;
}

int substring_decision(const Folder& folder, char* lowered) {
    size_t n = folder.path.size();
    for (size_t i = 0; i <= n; i++) {
        char c = folder.path[i];
        lowered[i] = c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
    }
    for (const char* word : kSkipWords)
        if (contains_lower(lowered, word)) return 0;
    for (const char* word : kCandidateWords)
        if (contains_lower(lowered + folder.nameAt, word)) return 2;
    return 1;
}

}  // namespace

int main() {
    std::vector<Folder> folders = make_folders();
    RegexMatcher skip(kSkipPattern);
    RegexMatcher candidate(kCandidatePattern);

    // Both must decide alike before their times mean anything.
    int counts[3] = {0, 0, 0};
    char lowered[512];
    for (const Folder& folder : folders) {
        int decision = regex_decision(skip, candidate, folder);
        if (decision != substring_decision(folder, lowered)) {
            printf("decisions differ for %s\n", folder.path.c_str());
            return 1;
        }
        counts[decision]++;
    }
    double regexSeconds = BestSeconds(3, [&] {
        int total = 0;
        for (const Folder& folder : folders) total += regex_decision(skip, candidate, folder);
        sink = total;
    });
    double substringSeconds = BestSeconds(3, [&] {
        int total = 0;
        for (const Folder& folder : folders) total += substring_decision(folder, lowered);
        sink = total;
    });

    HKEY key = create_or_open_key(HKEY_CURRENT_USER, "%s", kBenchKey);
    if (!key || !write_registry_text(key, "JavaExe", "C:\\Program Files\\Java\\jre1.8.0_202\\bin\\javaw.exe")) {
        printf("cannot write %s\n", kBenchKey);
        return 1;
    }
    double textSeconds = BestSeconds(3, [&] {
        cstring value;
        for (int i = 0; i < kReads; i++) read_registry_text(key, "JavaExe", value, nullptr);
        sink = int(value.length());
    });
    double bareSeconds = BestSeconds(3, [&] {
        char buffer[256];
        DWORD size = 0, type = 0;
        for (int i = 0; i < kReads; i++) {
            size = sizeof buffer;
            RegQueryValueExA(key, "JavaExe", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
        }
        sink = int(size);
    });
    RegCloseKey(key);
    delete_registry_tree(HKEY_CURRENT_USER, kBenchKey);

    printf("%d folder paths: %d skipped, %d scanned, %d candidates\n", kPaths, counts[0], counts[1], counts[2]);
    printf("RegexMatcher (skip search + candidate match) %11.0f folders/s\n", kPaths / regexSeconds);
    printf("case-insensitive substring loop              %11.0f folders/s\n", kPaths / substringSeconds);
    printf("ratio regex time / substring time            %11.2f\n", regexSeconds / substringSeconds);
    printf("read_registry_text                           %11.2f us/call\n", textSeconds / kReads * 1e6);
    printf("bare RegQueryValueExA                        %11.2f us/call\n", bareSeconds / kReads * 1e6);
    printf("ratio read_registry_text / RegQueryValueExA  %11.2f\n", textSeconds / bareSeconds);
    return 0;
}
