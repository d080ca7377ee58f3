// read_links.exe (tests only): prints each .lnk file named on its command line as the
// shell reads it back: link, target, arguments, icon with index, working folder.
#include <windows.h>
#include <objbase.h>
#include <stdio.h>

#include "shell_link_reader.h"

int main(int argc, char** argv) {
    CoInitialize(nullptr);
    int failures = 0;
    for (int i = 1; i < argc; i++) {
        krlx_testing::ShellLinkFields link;
        if (!krlx_testing::ReadShellLink(argv[i], link)) {
            printf("%s\n  (does not load)\n", argv[i]);
            failures++;
            continue;
        }
        printf("%s\n  target:    %s\n", argv[i], link.target.c_str());
        if (!link.arguments.empty()) printf("  arguments: %s\n", link.arguments.c_str());
        if (!link.icon.empty()) printf("  icon:      %s,%d\n", link.icon.c_str(), link.iconIndex);
        printf("  folder:    %s\n", link.workingFolder.c_str());
    }
    CoUninitialize();
    return failures;
}
