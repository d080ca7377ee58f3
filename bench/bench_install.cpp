// "halvorin64.exe -x" on an installed, stopped service against Wine's sc.exe rewriting the
// same registration ("sc config" with the image path, type, start mode, error control
// and display name, then "sc description"). Each side is one or two process runs.
#include <stdio.h>

#include <string>

#include "bench_product.h"

namespace {

const int kRounds = 5;

bool runProcess(const std::string& commandLine) {
    return RunAndWait(commandLine) == 0;
}

// Mean milliseconds of one round of the given command lines.
double meanMs(const std::string& first, const std::string& second = "") {
    double total = 0;
    for (int round = 0; round < kRounds; round++) {
        double start = NowMs();
        runProcess(first);
        if (!second.empty()) runProcess(second);
        total += NowMs() - start;
    }
    return total / kRounds;
}

}  // namespace

int main() {
    BenchProduct product("bench-install");
    std::string host = "\"" + product.host + "\"";
    if (!runProcess(host + " -i -q")) {
        printf("install benchmark failed: -i did not succeed\n");
        return 1;
    }
    double upgrade = meanMs(host + " -x -q");
    std::string config = "sc.exe config Halvorin binPath= \"\\\"" + product.host +
                         "\\\"\" type= own start= demand error= normal DisplayName= \"QZV Halvorin Server (64-bit)\"";
    double scConfig = meanMs(config);
    double scBoth = meanMs(config, "sc.exe description Halvorin \"Provides performance monitoring\"");
    runProcess(host + " -r -q");

    printf("halvorin64.exe -x:                 %.1f ms\n", upgrade);
    printf("sc config:                         %.1f ms   ratio -x / sc config %.2f\n", scConfig, upgrade / scConfig);
    printf("sc config + sc description:        %.1f ms   ratio -x / both      %.2f\n", scBoth, upgrade / scBoth);
    printf("(mean of %d rounds each; each side starts its own processes)\n", kRounds);
    return 0;
}
