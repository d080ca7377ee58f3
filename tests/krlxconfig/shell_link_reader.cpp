// Reads a .lnk file with the shell's link object (IShellLinkA and IPersistFile).
#include "shell_link_reader.h"

#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

namespace krlx_testing {

bool ReadShellLink(const std::string& path, ShellLinkFields& fields) {
    fields = ShellLinkFields();
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return false;
    IPersistFile* file = nullptr;
    bool loaded = false;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        std::wstring widePath(path.begin(), path.end());
        loaded = SUCCEEDED(file->Load(widePath.c_str(), STGM_READ));
        file->Release();
    }
    if (loaded) {
        char text[4096];
        int index = 0;
        text[0] = 0;
        link->GetPath(text, sizeof text, nullptr, SLGP_RAWPATH);
        fields.target = text;
        text[0] = 0;
        link->GetArguments(text, sizeof text);
        fields.arguments = text;
        text[0] = 0;
        link->GetIconLocation(text, sizeof text, &index);
        fields.icon = text;
        fields.iconIndex = index;
        text[0] = 0;
        link->GetWorkingDirectory(text, sizeof text);
        fields.workingFolder = text;
    }
    link->Release();
    return loaded;
}

}  // namespace krlx_testing
