// Reading a shell link back through IShellLinkA, as the shell would: for the
// configurator's tests, its benchmark and read_links.exe of the demo.
#pragma once

#include <string>

namespace krlx_testing {

struct ShellLinkFields {
    std::string target;
    std::string arguments;
    std::string icon;
    int iconIndex = 0;
    std::string workingFolder;
};

// Loads the .lnk file; false when it does not load. OLE must be initialised on the thread.
bool ReadShellLink(const std::string& path, ShellLinkFields& fields);

}  // namespace krlx_testing
