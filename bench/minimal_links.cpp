// The baseline of bench_configurator_install: a program that writes the same nine links
// as "krlxconfig64.exe /install" for a product root (its first argument) with nothing but
// IShellLinkA and IPersistFile: no discovery, no script, no registry, no log.
#include <windows.h>
#include <objbase.h>
#include <shlobj.h>

#include <string>

namespace {

void writeLink(const std::string& path, const std::string& target, const char* arguments, const std::string& icon,
               int iconIndex, const std::string& workingFolder) {
    CreateDirectoryA(path.substr(0, path.find_last_of('\\')).c_str(), nullptr);
    IShellLinkA* link = nullptr;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link))))
        return;
    IPersistFile* file = nullptr;
    if (SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
        link->SetPath(target.c_str());
        link->SetArguments(arguments);
        if (!icon.empty()) link->SetIconLocation(icon.c_str(), iconIndex);
        link->SetWorkingDirectory(workingFolder.c_str());
        std::wstring wide(path.begin(), path.end());
        file->Save(wide.c_str(), TRUE);
        file->Release();
    }
    link->Release();
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string root = argv[1];
    const std::string program = root + "\\krlxconfig";
    char folder[MAX_PATH];
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_PROGRAMS, TRUE);
    const std::string programs = folder;
    SHGetSpecialFolderPathA(nullptr, folder, CSIDL_COMMON_DESKTOPDIRECTORY, TRUE);
    const std::string desktop = folder;
    const std::string javaw = program + "\\jre\\bin\\javaw.exe";
    const std::string configurator = program + "\\krlxconfig.exe";
    const std::string pdf = root + "\\common\\pdf.ico";
    const std::string arguments =
        "-Xmx512m -Dsun.java2d.noddraw=false -classpath \".;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" "
        "launcher -root \"" + root + "\"";
    const std::string work = program + "\\";
    OleInitialize(nullptr);
    writeLink(programs + "\\QZV\\Corvalis\\Corvalis.lnk", javaw, arguments.c_str(), configurator, 1, work);
    writeLink(program + "\\Corvalis.lnk", javaw, arguments.c_str(), configurator, 1, work);
    writeLink(programs + "\\QZV\\Corvalis\\Configure Corvalis.lnk", configurator, "/setup", configurator, 0, work);
    writeLink(programs + "\\QZV\\Corvalis\\Release Notes.lnk", program + "\\doc\\readme.html", "", "", -1, work);
    writeLink(programs + "\\QZV\\Release Notes.lnk", root + "\\readme.html", "", "", -1, work);
    writeLink(programs + "\\QZV\\Halvorin\\Halvorin Quick Start Guide.lnk",
              root + "\\halvorin\\doc\\Halvorin_User_Guide.pdf", "", pdf, 0, work);
    writeLink(programs + "\\QZV\\Corvalis and Halvorin.lnk", "https://docs.quorvane.com/corvalis/Corvalis_and_Halvorin.pdf",
              "", pdf, 0, work);
    writeLink(programs + "\\QZV\\Halvorin\\Release Notes.lnk", root + "\\halvorin\\doc\\readme.html", "", "", -1, work);
    writeLink(desktop + "\\Corvalis.lnk", javaw, arguments.c_str(), configurator, 1, work);
    OleUninitialize();
    return 0;
}
