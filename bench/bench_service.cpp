// Start to RUNNING and the stop control to STOPPED of halvorin64.exe under Wine's Service
// Control Manager, with the stand-in Java server ending at once on the stop event, against
// two baselines: a service of a few lines that does no work (minimal_service.exe), and one
// that does what the design requires and nothing else (design_service.exe: the host's
// status reports, its own log records written the same way, the same VM calls). The three
// take turns, round by round; the figures are medians.
#include <stdio.h>

#include <algorithm>
#include <string>
#include <vector>

#include "bench_product.h"

namespace {

const int kRounds = 41;

bool waitFor(SC_HANDLE service, DWORD state) {
    SERVICE_STATUS status;
    for (int i = 0; i < 20000; i++) {
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == state) return true;
        Sleep(1);
    }
    return false;
}

struct Service {
    const char* name;
    std::string image;
    std::vector<std::string> args;
    SC_HANDLE handle = nullptr;
    std::vector<double> start, stop;
};

bool create(SC_HANDLE manager, Service& service) {
    if (SC_HANDLE left = OpenServiceA(manager, service.name, SERVICE_ALL_ACCESS)) {   // from an interrupted run
        SERVICE_STATUS status;
        ControlService(left, SERVICE_CONTROL_STOP, &status);
        waitFor(left, SERVICE_STOPPED);
        DeleteService(left);
        CloseServiceHandle(left);
    }
    service.handle = CreateServiceA(manager, service.name, service.name, SERVICE_ALL_ACCESS,
                                    SERVICE_WIN32_OWN_PROCESS, SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL,
                                    ("\"" + service.image + "\"").c_str(), nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!service.handle) printf("cannot create service %s: %lu\n", service.name, GetLastError());
    return service.handle != nullptr;
}

// One start and stop; the times are kept.
bool cycle(Service& service) {
    std::vector<const char*> argv;
    for (const std::string& arg : service.args) argv.push_back(arg.c_str());
    double t0 = NowMs();
    while (!StartServiceA(service.handle, DWORD(argv.size()), argv.empty() ? nullptr : argv.data()))
        if (GetLastError() != ERROR_SERVICE_DATABASE_LOCKED) return false;
    if (!waitFor(service.handle, SERVICE_RUNNING)) return false;
    double t1 = NowMs();
    Sleep(300);   // let the Java server come up before it is asked to stop
    SERVICE_STATUS status;
    double t2 = NowMs();
    if (!ControlService(service.handle, SERVICE_CONTROL_STOP, &status) || !waitFor(service.handle, SERVICE_STOPPED))
        return false;
    double t3 = NowMs();
    service.start.push_back(t1 - t0);
    service.stop.push_back(t3 - t2);
    return true;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string readFrom(const std::string& path, long long offset) {
    std::string text;
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return text;
    _fseeki64(file, offset, SEEK_SET);
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, file)) > 0;) text.append(buffer, n);
    fclose(file);
    return text;
}

bool startsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

// Splits one run of the host in halvorin.log into its records (each starts a line with
// "[hh:mm:ss] ") and files them for design_service.exe by the thread and moment that
// write them.
bool writeRecords(const std::string& log, const std::string& folder) {
    auto stampAt = [&](size_t at) {
        return at + 11 <= log.size() && log[at] == '[' && log[at + 3] == ':' && log[at + 6] == ':' &&
               log[at + 9] == ']' && log[at + 10] == ' ';
    };
    std::vector<std::string> records;
    for (size_t at = 0; stampAt(at);) {
        size_t next = at + 11;
        while ((next = log.find('\n', next)) != std::string::npos && !stampAt(next + 1)) next++;
        size_t end = next == std::string::npos ? log.size() : next + 1;
        records.push_back(log.substr(at + 11, end - at - 11));
        at = end;
    }
    const char* control[] = {"SERVICE_CONTROL_STOP received", "SetServiceStatus(STOP_PENDING): WaitHint=10000",
                             "signalling hStopRequestEvent", "STOP_PENDING status reported",
                             "passing JS_SERVICE_STOPPED", "JS_SERVICE_STOPPED request has been passed",
                             "hServerStopEvent = "};
    const char* end[] = {"unloaded JVM DLL", "signaling hServerStopEvent"};
    const char* final[] = {"hServerStop event received", "JVM thread finished", "ServiceStart() finished",
                           "reporting SERVICE_STOPPED"};
    std::string parts[6];   // start, vm, control, dump, end, final
    int phase = 0;
    for (const std::string& record : records) {
        if (phase == 0 && startsWith(record, "created thread.")) phase = 1;
        if (startsWith(record, "SERVICE_CONTROL_STOP received")) phase = 3;
        int part = phase;
        if (phase == 3) {
            for (const char* prefix : control) part = startsWith(record, prefix) ? 2 : part;
            for (const char* prefix : end) part = startsWith(record, prefix) ? 4 : part;
            for (const char* prefix : final) part = startsWith(record, prefix) ? 5 : part;
        }
        parts[part] += record + '\0';
    }
    const char* names[] = {"start", "vm", "control", "dump", "end", "final"};
    CreateDirectoryA(folder.c_str(), nullptr);
    for (int i = 0; i < 6; i++) {
        FILE* file = fopen((folder + "\\" + names[i] + ".rec").c_str(), "wb");
        if (!file) return false;
        fwrite(parts[i].data(), 1, parts[i].size(), file);
        fclose(file);
    }
    return !parts[0].empty() && !parts[5].empty();
}

int occurrences(const std::string& text, const std::string& what) {
    int count = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) count++;
    return count;
}

long long fileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return 0;
    return (long long)data.nFileSizeHigh << 32 | data.nFileSizeLow;
}

}  // namespace

int main() {
    BenchProduct product("bench-service");
    char profile[MAX_PATH] = "";
    GetEnvironmentVariableA("USERPROFILE", profile, sizeof profile);   // the services' account here
    std::string hostLog = std::string(profile) + "\\.qzv\\halvorin.log";
    std::string records = product.root + "\\records";
    std::string designLog = product.root + "\\design.log";
    DeleteFileA(designLog.c_str());

    Service minimal{"HalvorinBaseline", product.benchFolder + "\\minimal_service.exe"};
    Service design{"HalvorinDesign", product.benchFolder + "\\design_service.exe",
                   {product.root + "\\jre\\bin\\server\\jvm.dll", records, designLog}};
    Service host{"Halvorin", product.host};
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    bool ok = manager && create(manager, minimal) && create(manager, design) && create(manager, host);

    // A first run of the host gives the records; it and a first run of each baseline are
    // not counted.
    long long logStart = fileSize(hostLog);
    ok = ok && cycle(host) && writeRecords(readFrom(hostLog, logStart), records) && cycle(minimal) && cycle(design);
    for (Service* service : {&minimal, &design, &host}) service->start.clear(), service->stop.clear();
    for (int round = 0; round < kRounds && ok; round++)
        ok = cycle(minimal) && cycle(design) && cycle(host);
    // The design baseline did its work: every run wrote its records and ended its VM, and
    // the stand-in saw no call it does not serve.
    int runs = kRounds + 1;
    std::string designText = readFrom(designLog, 0);
    std::string journal = readFrom(product.root + "\\jre\\bin\\server\\standin.journal", 0);
    if (ok && (occurrences(designText, "] reporting SERVICE_STOPPED status\n") != runs ||
               occurrences(designText, "] design baseline: ") != 0 ||
               occurrences(journal, " DestroyJavaVM -> 0") != 2 * runs || occurrences(journal, " unexpected ") != 0 ||
               occurrences(journal, " misuse ") != 0)) {
        printf("the design baseline did not do the host's work\n");
        ok = false;
    }

    for (Service* service : {&minimal, &design, &host}) {
        if (service->handle) {
            DeleteService(service->handle);
            CloseServiceHandle(service->handle);
        }
    }
    if (manager) CloseServiceHandle(manager);
    DeleteFileA(designLog.c_str());
    for (const char* name : {"start", "vm", "control", "dump", "end", "final"})
        DeleteFileA((records + "\\" + name + ".rec").c_str());
    RemoveDirectoryA(records.c_str());
    if (!ok) {
        printf("service benchmark failed\n");
        return 1;
    }
    const struct {
        const char* what;
        std::vector<double> Service::*times;
    } figures[] = {{"start to RUNNING", &Service::start}, {"stop to STOPPED", &Service::stop}};
    for (const auto& figure : figures) {
        double h = median(host.*figure.times), d = median(design.*figure.times), m = median(minimal.*figure.times);
        printf("%-17s halvorin %.1f ms; design baseline %.1f ms: ratio %.2f (%+.1f ms); minimal service %.1f ms: "
               "ratio %.2f (%+.1f ms)\n",
               figure.what, h, d, h / d, h - d, m, h / m, h - m);
    }
    printf("(medians of %d rounds, the three services taking turns)\n", kRounds);
    return 0;
}
