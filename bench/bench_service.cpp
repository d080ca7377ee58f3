// Start to RUNNING and the stop control to STOPPED of halvorin64.exe under Wine's Service
// Control Manager, with the stand-in Java server ending at once on the stop event,
// against a service of a few lines that does no work.
#include <stdio.h>

#include <string>
#include <vector>

#include "bench_timer.h"

namespace {

const int kRounds = 5;

std::string folderOf(const std::string& path) { return path.substr(0, path.find_last_of('\\')); }

std::string thisFolder() {
    char path[MAX_PATH];
    GetModuleFileNameA(nullptr, path, sizeof path);
    return folderOf(path);
}

double now() {
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return double(counter.QuadPart) * 1000.0 / double(frequency.QuadPart);
}

bool waitFor(SC_HANDLE service, DWORD state) {
    SERVICE_STATUS status;
    for (int i = 0; i < 20000; i++) {
        if (!QueryServiceStatus(service, &status)) return false;
        if (status.dwCurrentState == state) return true;
        Sleep(1);
    }
    return false;
}

struct Timing {
    double start = 0, stop = 0;
};

// Mean milliseconds of start-to-RUNNING and stop-to-STOPPED over kRounds.
bool measure(SC_HANDLE manager, const char* name, const std::string& image, Timing* timing) {
    SC_HANDLE service = CreateServiceA(manager, name, name, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                       SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, ("\"" + image + "\"").c_str(),
                                       nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!service) {
        printf("cannot create service %s: %lu\n", name, GetLastError());
        return false;
    }
    bool ok = true;
    for (int round = 0; round < kRounds && ok; round++) {
        double t0 = now();
        while (!StartServiceA(service, 0, nullptr))
            if (GetLastError() != ERROR_SERVICE_DATABASE_LOCKED) ok = false;
        ok = ok && waitFor(service, SERVICE_RUNNING);
        double t1 = now();
        Sleep(300);   // let the Java server come up before it is asked to stop
        SERVICE_STATUS status;
        double t2 = now();
        ok = ok && ControlService(service, SERVICE_CONTROL_STOP, &status) && waitFor(service, SERVICE_STOPPED);
        double t3 = now();
        timing->start += (t1 - t0) / kRounds;
        timing->stop += (t3 - t2) / kRounds;
    }
    DeleteService(service);
    CloseServiceHandle(service);
    return ok;
}

}  // namespace

int main() {
    std::string bench = thisFolder();
    std::string build = folderOf(bench);
    std::string dist = folderOf(folderOf(build)) + "\\dist";
    char temp[MAX_PATH];
    GetTempPathA(sizeof temp, temp);
    std::string root = std::string(temp) + "bench-service";
    for (const char* sub : {"", "\\halvorin", "\\jre", "\\jre\\bin", "\\jre\\bin\\server"})
        CreateDirectoryA((root + sub).c_str(), nullptr);
    std::string host = root + "\\halvorin\\halvorin64.exe";
    std::string jvm = root + "\\jre\\bin\\server\\jvm.dll";
    CopyFileA((dist + "\\halvorin64.exe").c_str(), host.c_str(), FALSE);
    CopyFileA((build + "\\tests\\doubles\\standin_jvm\\jvm.dll").c_str(), jvm.c_str(), FALSE);
    FILE* specFile = fopen((root + "\\halvorin\\halvorin.vm").c_str(), "wb");
    if (specFile) {
        fputs((root + "\\jre").c_str(), specFile);
        fclose(specFile);
    }
    DeleteFileA((root + "\\jre\\bin\\server\\standin.script").c_str());   // runs until stopped
    DeleteFileA((root + "\\jre\\bin\\server\\standin.journal").c_str());

    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    Timing baseline, halvorin;
    bool ok = manager && measure(manager, "HalvorinBaseline", bench + "\\minimal_service.exe", &baseline) &&
              measure(manager, "Halvorin", host, &halvorin);
    if (manager) CloseServiceHandle(manager);
    for (const char* file : {"\\halvorin\\halvorin64.exe", "\\halvorin\\halvorin.vm", "\\jre\\bin\\server\\jvm.dll",
                             "\\jre\\bin\\server\\standin.journal"})
        DeleteFileA((root + file).c_str());
    for (const char* sub : {"\\jre\\bin\\server", "\\jre\\bin", "\\jre", "\\halvorin", ""})
        RemoveDirectoryA((root + sub).c_str());
    if (!ok) {
        printf("service benchmark failed\n");
        return 1;
    }
    printf("start to RUNNING:   halvorin %.1f ms, minimal service %.1f ms: overhead %.1f ms, ratio %.2f\n",
           halvorin.start, baseline.start, halvorin.start - baseline.start, halvorin.start / baseline.start);
    printf("stop to STOPPED:    halvorin %.1f ms, minimal service %.1f ms: overhead %.1f ms, ratio %.2f\n",
           halvorin.stop, baseline.stop, halvorin.stop - baseline.stop, halvorin.stop / baseline.stop);
    printf("(mean of %d rounds each)\n", kRounds);
    return 0;
}
