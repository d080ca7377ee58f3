// cstring append and format throughput against std::string and snprintf doing the same
// work: building short paths and one large text, formatting records into a string.
#include <stdio.h>

#include <string>

#include "bench_timer.h"
#include "cstring.h"

namespace {

const int kPieces = 200000;
const int kRecords = 200000;
volatile size_t sink;   // keeps the results alive

void report(const char* what, double seconds, double baseline, const char* baselineName, int operations) {
    printf("%-30s %11.0f ops/s   %-22s %11.0f ops/s   ratio %.2f\n", what, operations / seconds, baselineName,
           operations / baseline, seconds / baseline);
}

}  // namespace

int main() {
    const char* piece = "C:\\Program Files\\";   // 17 bytes
    const char* parts[] = {"C:\\Program Files", "\\Quorvane", "\\Corvalis", "\\jre", "\\bin", "\\java.exe"};

    // Path building: a fresh string of six parts, as the configurator builds its paths.
    double cstringPaths = BestSeconds(5, [&] {
        for (int i = 0; i < kRecords; i++) {
            cstring s("");
            for (const char* part : parts) s.append(part);
            sink = s.length();
        }
    });
    double stdPaths = BestSeconds(5, [&] {
        for (int i = 0; i < kRecords; i++) {
            std::string s;
            for (const char* part : parts) s.append(part);
            sink = s.size();
        }
    });
    // One text of 3.4 MB, with the default 64-byte step and with a 1 MB step.
    double cstringLarge = BestSeconds(3, [&] {
        cstring s;
        for (int i = 0; i < kPieces; i++) s.append(piece, 17);
        sink = s.length();
    });
    double cstringLargeStep = BestSeconds(3, [&] {
        cstring s;
        s.set_growth_step(1 << 20);
        for (int i = 0; i < kPieces; i++) s.append(piece, 17);
        sink = s.length();
    });
    double stdLarge = BestSeconds(3, [&] {
        std::string s;
        for (int i = 0; i < kPieces; i++) s.append(piece, 17);
        sink = s.size();
    });
    double cstringChar = BestSeconds(5, [&] {
        for (int i = 0; i < kRecords / 10; i++) {
            cstring s;
            for (int j = 0; j < 200; j++) s.append_char(char('a' + j % 26));
            sink = s.length();
        }
    });
    double stdChar = BestSeconds(5, [&] {
        for (int i = 0; i < kRecords / 10; i++) {
            std::string s;
            for (int j = 0; j < 200; j++) s.push_back(char('a' + j % 26));
            sink = s.size();
        }
    });

    double cstringFormat = BestSeconds(5, [&] {
        cstring s;
        for (int i = 0; i < kRecords; i++) {
            s.format("%s\\%s-%05d.log [%d bytes]", "C:\\ProgramData\\Quorvane", "krlxconfig", i, i * 7);
            sink = s.length();
        }
    });
    double snprintfFormat = BestSeconds(5, [&] {
        char buffer[256];
        for (int i = 0; i < kRecords; i++) {
            int n = snprintf(buffer, sizeof buffer, "%s\\%s-%05d.log [%d bytes]", "C:\\ProgramData\\Quorvane",
                             "krlxconfig", i, i * 7);
            sink = size_t(n);
        }
    });
    double cstringAppendFormat = BestSeconds(5, [&] {
        for (int i = 0; i < kRecords / 10; i++) {
            cstring s;
            for (int j = 0; j < 10; j++) s.append_format("%d=%s;", j, "value");
            sink = s.length();
        }
    });
    double snprintfAppend = BestSeconds(5, [&] {
        char buffer[32];
        for (int i = 0; i < kRecords / 10; i++) {
            std::string s;
            for (int j = 0; j < 10; j++) s.append(buffer, size_t(snprintf(buffer, sizeof buffer, "%d=%s;", j, "value")));
            sink = s.size();
        }
    });

    printf("ratio = cstring time / baseline time (below 1: cstring is faster)\n");
    report("append: 6-part paths", cstringPaths, stdPaths, "std::string", kRecords);
    report("append_char: 200-byte texts", cstringChar, stdChar, "std::string push_back", kRecords / 10);
    report("append: 3.4 MB, 64-byte step", cstringLarge, stdLarge, "std::string", kPieces);
    report("append: 3.4 MB, 1 MB step", cstringLargeStep, stdLarge, "std::string", kPieces);
    report("format: one record", cstringFormat, snprintfFormat, "snprintf to a buffer", kRecords);
    report("append_format: 10 records", cstringAppendFormat, snprintfAppend, "snprintf + append", kRecords / 10);
    return 0;
}
