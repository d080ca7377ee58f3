// LogMessage records per second against a bare open-append-close loop writing the same
// stamped records to a file of its own.
#include <stdio.h>

#include "bench_timer.h"
#include "service_host.h"

int main() {
    const int kRecords = 5000;
    char barePath[MAX_PATH];
    snprintf(barePath, sizeof barePath, "%s\\bench-bare-%lu.log", GetTempFolder(), GetCurrentProcessId());

    LogMessage("bench_log: warming up\n");
    double logged = BestSeconds(3, [&] {
        for (int i = 0; i < kRecords; i++) LogMessage("bench_log record %d of %d\n", i, kRecords);
    });
    double bare = BestSeconds(3, [&] {
        for (int i = 0; i < kRecords; i++) {
            FILE* f = fopen(barePath, "ab+");
            if (!f) continue;
            SYSTEMTIME now;
            GetLocalTime(&now);
            fprintf(f, "[%02d:%02d:%02d] ", now.wHour, now.wMinute, now.wSecond);
            fprintf(f, "bench_log record %d of %d\n", i, kRecords);
            fclose(f);
        }
    });
    DeleteFileA(barePath);
    printf("LogMessage:             %.0f records/s\n", kRecords / logged);
    printf("open-append-close loop: %.0f records/s\n", kRecords / bare);
    printf("ratio LogMessage / bare loop time: %.2f\n", logged / bare);
    return 0;
}
