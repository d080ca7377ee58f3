// The script of the stand-in VM: what the simulated Java server does and which JNI calls
// fail. It is read when the VM is created, from the file named by STANDIN_JVM_SCRIPT or,
// when that is unset, from "standin.script" beside jvm.dll: a service started by the
// Service Control Manager does not get a test's environment.
//
// One setting per line, "key = value"; blank lines and lines starting with '#' are skipped.
// An unknown key or a bad value, or a STANDIN_JVM_SCRIPT file that cannot be read, makes
// JNI_CreateJavaVM fail with JNI_ERR ("script-error" lines in the journal). Class names
// may be written with '.' or '/'. Without a script, and for every key not given, the first
// value listed is the default: a server that runs until it is asked to stop.
//
//   class.launcher = present | missing | null       FindClass("launcher")
//   class.scm_manager = present | missing | null    FindClass of SCMEventManager
//   class.string = present | missing | null         FindClass("java/lang/String")
//       missing: null with a pending java/lang/NoClassDefFoundError; null: null alone
//   method.main = present | missing | null          GetStaticMethodID of launcher.main
//   method.get_instance = present | missing | null  GetStaticMethodID of getInstance
//       missing: null with a pending java/lang/NoSuchMethodError; null: null alone
//   get_instance = object | FAILURE                 what SCMEventManager.getInstance() does
//   main = until-stop | return | sleep MS           until-stop: main blocks until
//       dispatchSCMEvent(1); return: at once; sleep: after MS milliseconds, with no event
//   main.stop_delay = MS                            main ends MS ms after dispatchSCMEvent(1)
//   main.throws = CLASS                             main ends with this exception pending
//   option.reject = PREFIX                          JNI_CreateJavaVM returns JNI_EINVAL when
//                                                   an option starts with PREFIX
//   fail.NewObjectArray = FAILURE                   arrays of length 1 or more
//   fail.NewObjectArray.empty = FAILURE             arrays of length 0
//   fail.NewStringUTF = FAILURE
//   fail.SetObjectArrayElement = throw CLASS [at N]
//   stack_dump = TEXT                               what JVM_DumpAllStacks prints, with the
//       escapes \n, \t and \\; an empty value prints nothing (default: kDefaultStackDump)
//   delay.load = MS                                 DllMain sleeps MS ms as jvm.dll is loaded,
//       after journaling "DllMain delay.load <MS>" (read apart from the rest, see below)
//   delay.create = MS                               JNI_CreateJavaVM sleeps MS ms after its
//       "JNI_CreateJavaVM version=..." and option lines, before the VM exists
//   delay.find_launcher = MS                        FindClass("launcher") sleeps MS ms before
//       it answers
//
// FAILURE is "null [at N]" (the call returns null) or "throw CLASS [at N]" (null, with
// CLASS pending); with "at N" only the N-th such call, counted from 1, fails.
//
// The delays hold the host at one moment of its start-up for as long as a test needs to
// act then. delay.load is read by DllMain, before JNI_CreateJavaVM reads the script, with
// the C runtime alone: in the 32-bit build DllMain runs before this library's C++ globals
// are constructed. Its value is checked when the whole script is read.
#include "standin_jvm.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

Script g_script;

const char kDefaultStackDump[] =
    "Full thread dump Stand-in Java VM (simulated):\n"
    "\n"
    "\"main\" #1 prio=5 os_prio=0 waiting on condition\n"
    "   java.lang.Thread.State: WAITING (parking)\n"
    "\tat launcher.main(launcher.java)\n"
    "\n"
    "\"SCMEventManager\" #12 daemon prio=5 os_prio=0 waiting on condition\n"
    "   java.lang.Thread.State: WAITING (parking)\n"
    "\tat com.qzvltd.halvorin.scm.SCMEventManager.run(SCMEventManager.java)\n"
    "\n";

namespace {

std::string trimmed(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t\r\n");
    if (begin == std::string::npos) return "";
    size_t end = text.find_last_not_of(" \t\r\n");
    return text.substr(begin, end - begin + 1);
}

std::vector<std::string> words(const std::string& text) {
    std::istringstream stream(text);
    std::vector<std::string> result;
    for (std::string word; stream >> word;) result.push_back(word);
    return result;
}

bool parseNumber(const std::string& text, DWORD* value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos || text.size() > 9) return false;
    *value = DWORD(std::stoul(text));
    return true;
}

bool parsePresence(const std::string& value, Presence* presence) {
    if (value == "present") *presence = Presence::PRESENT;
    else if (value == "missing") *presence = Presence::MISSING;
    else if (value == "null") *presence = Presence::NULL_ONLY;
    else return false;
    return true;
}

// "null [at N]" or "throw CLASS [at N]"; allowNull false for functions without a result.
bool parseFailure(const std::string& value, Failure* failure, bool allowNull = true) {
    std::vector<std::string> w = words(value);
    size_t next = 0;
    if (w.size() >= 1 && w[0] == "null" && allowNull) {
        failure->action = Failure::RETURN_NULL;
        next = 1;
    } else if (w.size() >= 2 && w[0] == "throw") {
        failure->action = Failure::THROW;
        failure->exception = InternalName(w[1]);
        next = 2;
    } else {
        return false;
    }
    if (next == w.size()) return true;
    DWORD call = 0;
    if (w.size() != next + 2 || w[next] != "at" || !parseNumber(w[next + 1], &call) || call == 0) return false;
    failure->onlyCall = int(call);
    return true;
}

bool parseMain(const std::string& value, Script* script) {
    std::vector<std::string> w = words(value);
    if (w.size() == 1 && w[0] == "until-stop") script->mainRun = MainRun::UNTIL_STOP;
    else if (w.size() == 1 && w[0] == "return") script->mainRun = MainRun::RETURN;
    else if (w.size() == 2 && w[0] == "sleep" && parseNumber(w[1], &script->sleepMs)) script->mainRun = MainRun::SLEEP;
    else return false;
    return true;
}

std::string unescaped(const std::string& value) {
    std::string text;
    for (size_t i = 0; i < value.size(); i++) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            char c = value[++i];
            text += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            text += value[i];
        }
    }
    return text;
}

bool applySetting(const std::string& key, const std::string& value, Script* script) {
    if (key == "class.launcher") return parsePresence(value, &script->launcherClass);
    if (key == "class.scm_manager") return parsePresence(value, &script->managerClass);
    if (key == "class.string") return parsePresence(value, &script->stringClass);
    if (key == "method.main") return parsePresence(value, &script->mainMethod);
    if (key == "method.get_instance") return parsePresence(value, &script->getInstanceMethod);
    if (key == "get_instance") return value == "object" || parseFailure(value, &script->getInstance);
    if (key == "main") return parseMain(value, script);
    if (key == "main.stop_delay") return parseNumber(value, &script->stopDelayMs);
    if (key == "main.throws") {
        script->mainThrows = InternalName(value);
        return !value.empty() && words(value).size() == 1;
    }
    if (key == "option.reject") {
        script->rejectOption = value;
        return !value.empty();
    }
    if (key == "fail.NewObjectArray") return parseFailure(value, &script->newObjectArray);
    if (key == "fail.NewObjectArray.empty") return parseFailure(value, &script->newEmptyArray);
    if (key == "fail.NewStringUTF") return parseFailure(value, &script->newStringUTF);
    if (key == "fail.SetObjectArrayElement") return parseFailure(value, &script->setObjectArrayElement, false);
    if (key == "delay.load") {   // applied by DllMain (ScriptedLoadDelay); only checked here
        DWORD ms = 0;
        return parseNumber(value, &ms);
    }
    if (key == "delay.create") return parseNumber(value, &script->createDelayMs);
    if (key == "delay.find_launcher") return parseNumber(value, &script->findLauncherDelayMs);
    if (key == "stack_dump") {
        script->stackDump = unescaped(value);
        return true;
    }
    return false;
}

bool readFile(const std::string& path, std::string* text) {
    FILE* file = fopen(path.c_str(), "rb");
    if (!file) return false;
    char chunk[4096];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, file)) > 0) text->append(chunk, n);
    fclose(file);
    return true;
}

}  // namespace

bool LoadScript() {
    g_script = Script();
    g_script.stackDump = kDefaultStackDump;
    bool named = false;
    std::string path = ConfigFile("STANDIN_JVM_SCRIPT", "standin.script", &named);
    std::string text;
    if (!readFile(path, &text)) {
        if (!named) {
            Journal("script none");
            return true;
        }
        Complain("script-error cannot read %s", path.c_str());
        return false;
    }
    g_script.path = path;
    Journal("script %s", path.c_str());
    bool ok = true;
    std::istringstream lines(text);
    int number = 0;
    for (std::string line; std::getline(lines, line);) {
        number++;
        std::string content = trimmed(line);
        if (content.empty() || content[0] == '#') continue;
        size_t equals = content.find('=');
        if (equals == std::string::npos ||
            !applySetting(trimmed(content.substr(0, equals)), trimmed(content.substr(equals + 1)), &g_script)) {
            Complain("script-error line %d: %s", number, Printable(content).c_str());
            ok = false;
        }
    }
    return ok;
}

DWORD ScriptedLoadDelay() {
    bool named = false;
    FILE* file = fopen(ConfigFile("STANDIN_JVM_SCRIPT", "standin.script", &named).c_str(), "rb");
    if (!file) return 0;
    DWORD delay = 0;
    char line[512];
    while (fgets(line, sizeof line, file)) {
        const char* p = line + strspn(line, " \t");
        if (strncmp(p, "delay.load", 10)) continue;
        p += 10;
        p += strspn(p, " \t");
        if (*p == '=') delay = DWORD(strtoul(p + 1, nullptr, 10));
    }
    fclose(file);
    return delay;
}
