// What the configurator does to the machine outside its settings: the client's and the
// documentation's shortcuts, "/install" (stale uninstall entries, the desktop install
// log, the runtime choice) and "/remove" (the Start-menu groups), and the tree deletions.
#include "krlxconfig.h"

#include <objbase.h>
#include <shlobj.h>

#include <initializer_list>

#include "files.h"
#include "folders.h"
#include "process_info.h"
#include "regex_matcher.h"
#include "registry.h"

// The maker's documentation of the client and the service, opened by the Start-menu link
// "Corvalis and Halvorin".
const char kDocumentationAddress[] = "https://docs.quorvane.com/corvalis/Corvalis_and_Halvorin.pdf";

namespace {

const char kUninstallRoot[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kOwnUninstallEntry[] = "QZV CorvalisJE 6";

// Icon indexes count the configurator's icon groups in resource order: 105, 121, 130.
const int kConfiguratorIconIndex = 0;   // icon 105
const int kClientIconIndex = 1;         // icon 121

// In the 64-bit build, the shortcuts name the 32-bit configurator in the program folder,
// which is the one that ships.
void configuratorPath(cstring& out, const char* programFolder) {
    if (kBuildIs64 || programFolder) {
        ProgramFolder(out, programFolder);
        out.append("\\" KRLX_CONFIGURATOR_FILE);
    } else {
        out.assign(executable_path());
    }
}

// The common folder when it can be had and written, else the user's; false for neither.
bool chooseFolder(char* folder, int commonCsidl, int userCsidl) {
    for (int csidl : {commonCsidl, userCsidl}) {
        folder[0] = 0;
        if (GetShellFolder(folder, csidl, TRUE) && CanWriteDirectory(folder)) return true;
    }
    folder[0] = 0;
    return false;
}

void deleteIfPresent(const cstring& path) {
    if (file_exists(path.c_str())) DeleteFileA(path.c_str());
}

// The clients' links open the runtime without a console: a java.exe gives way to the
// javaw.exe beside it.
void linkTarget(const cstring& java, cstring& target) {
    target.assign(java);
    if (!target.ends_with("java.exe", false)) return;
    cstring windowed(target);
    windowed.set_length(windowed.length() - 8);
    windowed.append("javaw.exe");
    if (file_exists(windowed.c_str())) target.assign(windowed);
}

// A link that starts the client, with the configurator's client icon; the link path is
// the caller's.
void clientShortcut(ShortcutSpec& shortcut, const cstring& target, const cstring& arguments, const char* programFolder) {
    shortcut.target = target;
    shortcut.arguments = arguments;
    configuratorPath(shortcut.icon, programFolder);
    shortcut.iconIndex = kClientIconIndex;
}

// The Start-menu links of the client, its configurator, the release notes and the
// service's documentation, in this order; the link in the script folder is the one
// StartClient opens. A link that fails does not stop the others.
void createProgramLinks(const char* programs, const cstring& target, const cstring& arguments,
                        const char* programFolder) {
    const char* name = KRLX_PRODUCT_NAME;
    const char* edition = KRLX_EDITION_SUFFIX;
    cstring scriptFolder, program, root, configurator;
    if (!ScriptFolder(scriptFolder, programFolder)) ProgramFolder(scriptFolder, programFolder);
    ProgramFolder(program, programFolder);
    RootFolder(root, programFolder);
    configuratorPath(configurator, programFolder);
    cstring service(cstring::formatted, "%s\\halvorin", root.c_str());
    cstring serviceGroup(cstring::formatted, "%s\\QZV\\Halvorin%s", programs, edition);
    cstring pdfIcon(cstring::formatted, "%s\\common\\pdf.ico", root.c_str());

    ShortcutSpec client;
    clientShortcut(client, target, arguments, programFolder);
    client.link.format("%s\\QZV\\%s\\%s.lnk", programs, name, name);
    CreateShortcut(client, programFolder);
    client.link.format("%s\\%s.lnk", scriptFolder.c_str(), name);
    CreateShortcut(client, programFolder);

    ShortcutSpec configure;
    configure.link.format("%s\\QZV\\%s\\Configure %s.lnk", programs, name, name);
    configure.target = configurator;
    configure.arguments = "/setup";
    configure.icon = configurator;
    configure.iconIndex = kConfiguratorIconIndex;
    CreateShortcut(configure, programFolder);

    ShortcutSpec notes;
    notes.link.format("%s\\QZV\\%s\\Release Notes%s.lnk", programs, name, edition);
    notes.target.format("%s\\doc\\readme.html", program.c_str());
    CreateShortcut(notes, programFolder);
    notes.link.format("%s\\QZV\\Release Notes.lnk", programs);
    notes.target.format("%s\\readme.html", root.c_str());
    CreateShortcut(notes, programFolder);

    ShortcutSpec guide;
    guide.link.format("%s\\Halvorin Quick Start Guide.lnk", serviceGroup.c_str());
    guide.target.format("%s\\doc\\Halvorin_User_Guide.pdf", service.c_str());
    guide.icon = pdfIcon;
    guide.iconIndex = 0;
    CreateShortcut(guide, programFolder);
    guide.link.format("%s\\QZV\\Corvalis and Halvorin.lnk", programs);
    guide.target = kDocumentationAddress;
    CreateShortcut(guide, programFolder);

    ShortcutSpec serviceNotes;
    serviceNotes.link.format("%s\\Release Notes.lnk", serviceGroup.c_str());
    serviceNotes.target.format("%s\\doc\\readme.html", service.c_str());
    CreateShortcut(serviceNotes, programFolder);
}

// Links of older releases that the current set replaces.
void removeOldLinks(const char* programs) {
    deleteIfPresent(cstring(cstring::formatted, "%s\\%s\\Configure JVM.lnk", programs, KRLX_PRODUCT_NAME));
    deleteIfPresent(cstring(cstring::formatted, "%s\\%s\\Configure JRE.lnk", programs, KRLX_PRODUCT_NAME));
}

// Shell links need OLE on this thread; the calls in between return normally.
int createLinks(const cstring& java, const char* programFolder) {
    HRESULT ole = OleInitialize(nullptr);
    if (ole != S_OK && ole != S_FALSE) return 0;
    cstring target, arguments;
    linkTarget(java, target);
    AppendShortcutArguments(arguments, programFolder);

    int result = 0;
    char folder[MAX_PATH + 1];
    if (chooseFolder(folder, CSIDL_COMMON_PROGRAMS, CSIDL_PROGRAMS)) {
        removeOldLinks(folder);
        createProgramLinks(folder, target, arguments, programFolder);
        cstring beta(cstring::formatted, "%s\\Corvalis JE (R6 Beta)", folder);
        if (is_folder(beta.c_str())) DeleteTree(beta.c_str());
        result = 1;
    }
    if (chooseFolder(folder, CSIDL_COMMON_DESKTOPDIRECTORY, CSIDL_DESKTOPDIRECTORY)) {
        ShortcutSpec desktop;
        clientShortcut(desktop, target, arguments, programFolder);
        desktop.link.format("%s\\%s%s.lnk", folder, KRLX_PRODUCT_NAME, KRLX_EDITION_SUFFIX);
        CreateShortcut(desktop, programFolder);
    }
    OleUninitialize();
    return result;
}

// A key name matched by the stale-entry pattern that is neither ours nor the kept one.
bool isStaleEntry(RegexMatcher& pattern, const cstring& name) {
    return pattern.match(name.c_str()) && !name.equals_nocase(kOwnUninstallEntry) && !name.equals_nocase("CorvalisJE");
}

}  // namespace

bool CreateShortcut(const ShortcutSpec& shortcut, const char* programFolder) {
    IShellLinkA* link = nullptr;
    HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                      reinterpret_cast<void**>(&link));
    if (FAILED(result)) {
        SetLastError(DWORD(result));
        LogOsError("CoCreateInstance(IShellLink) failed");
        return false;
    }
    IPersistFile* file = nullptr;
    result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
    if (FAILED(result)) {
        SetLastError(DWORD(result));
        LogOsError("IShellLink.QueryInterface(IPersistFile) failed");
        link->Release();
        return false;
    }
    make_folder_of_file(shortcut.link.c_str());
    deleteIfPresent(shortcut.link);

    cstring workingFolder;
    ProgramFolder(workingFolder, programFolder);
    workingFolder.append_char('\\');
    link->SetPath(shortcut.target.c_str());
    link->SetArguments(shortcut.arguments.c_str());
    if (shortcut.icon.length()) link->SetIconLocation(shortcut.icon.c_str(), shortcut.iconIndex);
    link->SetWorkingDirectory(workingFolder.c_str());
    cstring path(shortcut.link);
    const wchar_t* widePath = path.to_wide();
    result = widePath ? file->Save(widePath, TRUE) : E_OUTOFMEMORY;
    bool saved = SUCCEEDED(result);
    if (!saved) {
        SetLastError(DWORD(result));
        LogOsError("Creation of shortcut file %s failed", shortcut.link.c_str());
    }
    file->Release();
    link->Release();
    LogPrint("%screated shortcut:\n\tlink:   \"%s\"\n\ttarget: \"%s\"\n\tparams: \"%s\"\n\ticon:   \"%s\",%d\n",
             saved ? "" : "NOT ", shortcut.link.c_str(), shortcut.target.c_str(), shortcut.arguments.c_str(),
             shortcut.icon.c_str(), shortcut.iconIndex);
    return saved;
}

// A runtime that had to be discovered here gets its start script at once; a given one
// only when no script is found under the root.
int CreateShortcutSet(cstring& java, const char* programFolder) {
    if (!java.length()) {
        if (!DiscoverJVM(java, programFolder)) return 0;
        WriteLaunchScript(java.c_str(), programFolder);
    }
    cstring root;
    RootFolder(root, programFolder);
    cstring rootScript(cstring::formatted, "%s\\Corvalis.bat", root.c_str());
    if (!file_exists(rootScript.c_str()) && java.length()) WriteLaunchScript(java.c_str(), programFolder);
    return createLinks(java, programFolder);
}

// A runtime inside or beside the program folder wins over the stored choice: it is the
// one the product was installed with.
int InstallTasks(const char* programFolder) {
    cstring java;
    ReadJavaExe(java);
    cstring local;
    if (FindLocalJre(local, programFolder)) {
        java.assign(local);
        WriteLaunchScript(java.c_str(), programFolder);
    }
    int result = CreateShortcutSet(java, programFolder);
    if (java.length()) WriteJavaExe(java.c_str());
    return result;
}

// Older clients registered themselves under other names. The names are collected before
// any is deleted, so that the deletions do not shift the enumeration.
bool CleanUninstallEntries() {
    HKEY own = create_or_open_key(HKEY_LOCAL_MACHINE, "%s\\%s", kUninstallRoot, kOwnUninstallEntry);
    if (!own) return false;
    RegexMatcher pattern("Corvalis.*JE.*");
    HKEY uninstall = create_or_open_key(HKEY_LOCAL_MACHINE, "%s", kUninstallRoot);
    if (uninstall) {
        cstring_array stale;
        cstring name;
        for (DWORD index = 0; enumerate_subkey(uninstall, index, name) == ERROR_SUCCESS; index++)
            if (isStaleEntry(pattern, name)) stale.add(name.c_str());
        for (int i = 0; i < stale.count(); i++) DeleteRegistryTree(uninstall, stale[i]->c_str());
        DeleteRegistryTree(uninstall, "Corvalis and Halvorin");
        RegCloseKey(uninstall);
    }
    RegCloseKey(own);
    return true;
}

bool DeleteDesktopInstallLog() {
    char desktop[MAX_PATH + 1] = "";
    if (!GetShellFolder(desktop, CSIDL_DESKTOPDIRECTORY, FALSE)) return true;
    cstring log(cstring::formatted, "%s\\Corvalis_and_Halvorin_InstallLog.log", desktop);
    if (!file_exists(log.c_str())) return true;
    return DeleteFileA(log.c_str()) != FALSE;
}

// Only the groups go: settings, product files and desktop links stay.
bool RemoveProgramGroups() {
    char programs[MAX_PATH + 1] = "";
    if (!GetShellFolder(programs, CSIDL_COMMON_PROGRAMS, TRUE)) return true;
    cstring folder(programs);
    folder.trim_right_chars("\\");
    bool removed = DeleteTree(cstring(cstring::formatted, "%s\\QZV", folder.c_str()).c_str());
    DeleteTree(cstring(cstring::formatted, "%s\\QZV (Preview)", folder.c_str()).c_str());
    return removed;
}

// Read-only files go too. The walk never follows a junction out of the tree: a folder
// that is itself a junction or folder link is removed as the link, its target's files
// stay. An empty path is refused rather than taken as the current drive's root.
bool DeleteTree(const char* folder) {
    cstring path(folder);
    path.trim_right_chars("\\/");
    // No "drive not ready" boxes while a removable or network folder is walked.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    DWORD attributes = path.length() ? GetFileAttributesA(path.c_str()) : INVALID_FILE_ATTRIBUTES;
    bool link = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT);
    if (path.length() && !link) delete_folder_contents(path.c_str());
    return path.length() && RemoveDirectoryA(folder);
}

bool DeleteRegistryTree(HKEY parent, const char* name) {
    return delete_registry_tree(parent, name);
}
