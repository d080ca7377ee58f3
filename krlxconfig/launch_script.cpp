// The client's start script "Corvalis.bat", the Java command line it and the client
// shortcut carry, the choice of the Java executable when the user has made none, and the
// client start through the shortcut "Corvalis.lnk" in the script folder.
#include "krlxconfig.h"

#include <shellapi.h>
#include <shlobj.h>

#include "exception.h"
#include "files.h"
#include "process_info.h"
#include "registry.h"

namespace {

// The client's JVM options, class path and main class, up to its -root argument. The
// script's class path starts at the script's own folder, the shortcut's at its working
// folder.
const char kScriptArguments[] =
    "-Dsun.java2d.noddraw=false -classpath \"%~dp0;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" "
    "launcher -root \"";
const char kShortcutArguments[] =
    "-Dsun.java2d.noddraw=false -classpath \".;lib\\ifxjdbc.jar;lib\\derby.jar;lib\\jh.jar;lib\\tools.jar\" "
    "launcher -root \"";

// cmd takes a "%" in a script for the start of a variable, between quotes too, and a
// doubled one for the sign itself: a path written into the script has each one doubled.
void escapeForScript(cstring& path) {
    path.replace_all("%", "%%");
}

// "-Xmx<heap>m <fixed text><root>", the root without a final backslash; the shortcut's
// arguments are not read by cmd and keep the root as it is.
void appendArguments(cstring& text, const char* fixedText, const char* ending, bool forScript,
                     const char* programFolder) {
    cstring root;
    RootFolder(root, programFolder);
    if (forScript) escapeForScript(root);
    cstring arguments(cstring::formatted, "-Xmx%dm ", int(ReadMemory()));
    arguments.append(fixedText);
    arguments.append(root);
    if (arguments.last_char() == '\\') arguments.remove_last();
    arguments.append(ending);
    if (text.length()) text.append_char(' ');
    text.append(arguments);
}

// The script runs the console VM: a chosen javaw.exe gives way to the java.exe beside it.
void scriptExecutable(const char* java, cstring& out) {
    out.assign(java);
    if (!out.ends_with("javaw.exe", false)) return;
    cstring console(out);
    console.set_length(console.length() - 9);
    console.append("java.exe");
    if (file_exists(console.c_str())) out.assign(console);
}

// JavaExe of the key when it loads.
bool readLoadable(HKEY key, cstring& java) {
    return key && read_registry_text(key, "JavaExe", java) && IsLoadableImage(java.c_str());
}

}  // namespace

void ProgramFolder(cstring& out, const char* programFolder) {
    if (!programFolder) programFolder = ProgramFolderHandedOver[0] ? ProgramFolderHandedOver : executable_folder();
    out.assign(programFolder);
    out.trim_right_chars("\\/");
}

void RootFolder(cstring& out, const char* programFolder) {
    ProgramFolder(out, programFolder);
    ParentFolder(out);
    out.trim_right_chars("\\/");
}

bool ScriptFolder(cstring& folder, const char* programFolder) {
    ProgramFolder(folder, programFolder);
    if (CanWriteDirectory(folder.c_str())) return true;
    char profile[MAX_PATH + 1] = "";
    GetShellFolder(profile, CSIDL_PROFILE, TRUE);
    folder.format("%s\\.qzv", profile);
    if (!is_folder(folder.c_str())) CreateDirectoryA(folder.c_str(), nullptr);
    return is_folder(folder.c_str());
}

void AppendLaunchArguments(cstring& text, const char* programFolder) {
    appendArguments(text, kScriptArguments, "\" %*", true, programFolder);
}

void AppendShortcutArguments(cstring& text, const char* programFolder) {
    appendArguments(text, kShortcutArguments, "\"", false, programFolder);
}

// The new script is written beside the old one and then renamed over it, so that either
// the old or the new script is in place at every moment; a new script that cannot take
// its place is removed. The first script replaced is kept as "Corvalis.bat.bak"; later
// ones are not.
int WriteLaunchScript(const char* java, const char* programFolder) {
    cstring folder;
    ScriptFolder(folder, programFolder);
    cstring script(cstring::formatted, "%s\\Corvalis.bat", folder.c_str());
    cstring temporary(cstring::formatted, "%s\\Corvalis.bat.tmp", folder.c_str());
    cstring backup(cstring::formatted, "%s\\Corvalis.bat.bak", folder.c_str());

    HANDLE file = CreateFileA(temporary.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    cstring executable, escaped;
    scriptExecutable(java, executable);
    escaped.assign(executable);
    escapeForScript(escaped);
    cstring text(cstring::formatted, "@echo off\r\n\"%s\"", escaped.c_str());
    AppendLaunchArguments(text, programFolder);
    DWORD written = 0;
    if (!WriteFile(file, text.c_str(), text.length(), &written, nullptr) || written != text.length()) {
        DWORD error = GetLastError();
        CloseHandle(file);
        DeleteFileA(temporary.c_str());
        SetLastError(error);
        return 0;
    }
    CloseHandle(file);

    CopyFileA(script.c_str(), backup.c_str(), TRUE);   // fails when there is no script or a backup exists
    // MoveFileEx does not replace a read-only file: the old script loses the attribute for
    // the move (its backup keeps it) and gets it back when the move fails all the same.
    DWORD attributes = GetFileAttributesA(script.c_str());
    bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
    DWORD writable = attributes & ~FILE_ATTRIBUTE_READONLY;
    if (readOnly) SetFileAttributesA(script.c_str(), writable ? writable : FILE_ATTRIBUTE_NORMAL);
    if (!MoveFileExA(temporary.c_str(), script.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        LogOsError("MoveFileEx(%s, %s) failed", temporary.c_str(), script.c_str());
        if (readOnly) SetFileAttributesA(script.c_str(), attributes);
        DeleteFileA(temporary.c_str());
        return 0;
    }
    LogPrint("replaced batch file %s: JVM=%s\n", script.c_str(), executable.c_str());
    return 1;
}

// Where the process may not create HKEY_LOCAL_MACHINE\Software, the user's own choice
// comes first. A runtime found by discovery is stored as the machine's choice when the
// machine key opened for writing (a user value there gets it too, see WriteJavaExe); a key
// opened only for reading would refuse the write, so none is tried.
bool GetJavaExecutable(cstring& java, const char* programFolder) {
    java.clear();
    bool found = false;
    if (!CanWriteMachineRegistry()) {
        HKEY user = open_key_for_reading(HKEY_CURRENT_USER, "%s", KRLX_SETTINGS_KEY);
        found = readLoadable(user, java);
        if (user) RegCloseKey(user);
    }
    bool machineWritable = false;
    if (!found) {
        HKEY key = create_or_open_key(HKEY_LOCAL_MACHINE, "%s", KRLX_SETTINGS_KEY);
        machineWritable = key != nullptr;
        if (!key) key = open_key_for_reading(HKEY_LOCAL_MACHINE, "%s", KRLX_SETTINGS_KEY);
        if (!key) key = open_key_for_reading(HKEY_CURRENT_USER, "%s", KRLX_SETTINGS_KEY);
        found = readLoadable(key, java);
        if (key) RegCloseKey(key);
    }
    if (!found) {
        JreLocationList list;
        Discover(list, programFolder);
        found = list.executable_at(0, java);
        if (found && machineWritable) WriteJavaExe(java.c_str());
    }
    if (!found) java.clear();
    return found;
}

void StartClient(const char* programFolder) {
    cstring folder;
    ScriptFolder(folder, programFolder);
    SetCurrentDirectoryA(folder.c_str());
    StopScan = false;
    cstring java;
    if (!GetJavaExecutable(java, programFolder))
        throw new CVelmorException(1902, "JRE location cannot be determined\n");
    LogPrint("\n\t----------------------------------------------------------\n\tJRE = %s"
             "\n\t----------------------------------------------------------\n",
             java.c_str());
    cstring link(cstring::formatted, "%s\\%s.lnk", folder.c_str(), KRLX_PRODUCT_NAME);
    INT_PTR result = INT_PTR(ShellExecuteA(nullptr, "open", link.c_str(), "", folder.c_str(), SW_SHOW));
    if (result <= 32)
        throw CVelmorException::for_os_error(1995, DWORD(result), "Cannot launch shortcut \"%s\"\n", link.c_str());
}
