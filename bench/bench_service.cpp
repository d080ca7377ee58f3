// Start to RUNNING and the stop control to STOPPED of halvorin64.exe under Wine's Service
// Control Manager, with the stand-in Java server ending at once on the stop event,
// against a service of a few lines that does no work.
#include <stdio.h>

#include <string>
#include <vector>

#include "bench_product.h"

namespace {

const int kRounds = 5;

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
        double t0 = NowMs();
        while (!StartServiceA(service, 0, nullptr))
            if (GetLastError() != ERROR_SERVICE_DATABASE_LOCKED) ok = false;
        ok = ok && waitFor(service, SERVICE_RUNNING);
        double t1 = NowMs();
        Sleep(300);   // let the Java server come up before it is asked to stop
        SERVICE_STATUS status;
        double t2 = NowMs();
        ok = ok && ControlService(service, SERVICE_CONTROL_STOP, &status) && waitFor(service, SERVICE_STOPPED);
        double t3 = NowMs();
        timing->start += (t1 - t0) / kRounds;
        timing->stop += (t3 - t2) / kRounds;
    }
    DeleteService(service);
    CloseServiceHandle(service);
    return ok;
}

}  // namespace

int main() {
    BenchProduct product("bench-service");
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    Timing baseline, halvorin;
    bool ok = manager && measure(manager, "HalvorinBaseline", product.benchFolder + "\\minimal_service.exe", &baseline) &&
              measure(manager, "Halvorin", product.host, &halvorin);
    if (manager) CloseServiceHandle(manager);
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
