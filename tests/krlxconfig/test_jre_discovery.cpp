// JRE discovery on machines laid out per test: runtimes are copies of tiny_java.exe
// (padded to the sizes of old launchers where a row needs it), the VM file qzv.vm and the
// start script are real files, the vendors' keys and JavaExe real registry values.
// The order of whole machines, version parsing, the qualifying rules, the start-script
// and registry scans with their log lines, notifications across threads, bad input, and
// the newer runtimes' keys and JAVA_HOME on machines where nothing else is found.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "jre_machine.h"
#include "krlxconfig.h"
#include "test_support.h"
#include "wine_drive.h"

using namespace krlx_testing;
using namespace testing_support;

namespace {

using Strings = std::vector<std::string>;

Strings executables(const JreLocationList& list) {
    Strings out;
    cstring executable;
    for (int i = 0; list.executable_at(i, executable); i++) out.push_back(executable.c_str());
    return out;
}

// "major.minor.micro.update"
std::string parts(const JreLocation& location) {
    const int* p = location.versionParts;
    return std::to_string(p[0]) + "." + std::to_string(p[1]) + "." + std::to_string(p[2]) + "." + std::to_string(p[3]);
}

std::string quoted(const std::string& text) { return "\"" + text + "\""; }

class JreDiscovery : public ::testing::Test {
protected:
    void SetUp() override { ClearJavaRegistry(), ClearSettings(), SetEnvironmentVariableA("JAVA_HOME", nullptr); }
    void TearDown() override { ClearJavaRegistry(), ClearSettings(), SetEnvironmentVariableA("JAVA_HOME", nullptr); }
    Strings discover(const Machine& on) {
        JreLocationList list;
        Discover(list, on.program().c_str());
        return executables(list);
    }
    Strings scanScript(const std::string& content, Strings* records = nullptr) {
        machine.WriteScript(content);
        ConfigLogWatch watch;
        JreLocationList list;
        ScanBatchFiles(list, machine.program().c_str());
        if (records) *records = watch.Records();
        return executables(list);
    }

    Machine machine;
};

}  // namespace

TEST(JreParentFolder, CutsTheLastComponent) {
    struct Row {
        const char *path, *expected;
        bool cut;
    } rows[] = {
        {"", "", false}, {"C", "C", false}, {"C:\\jdk\\bin", "C:\\jdk", true}, {"C:\\jdk\\bin\\/\\", "C:\\jdk", true},
        {"C:/jdk/bin/", "C:/jdk", true}, {"\\\\server\\share", "\\\\server", true}, {"C:\\", "C:", false},
        {"\\jdk", "\\jdk", false},   // the only separator is the first character
        {"\\\\", "\\", false},     // never below one character
        {"jdk", "jdk", false},
    };
    for (const Row& row : rows) {
        cstring path(row.path);
        EXPECT_EQ(ParentFolder(path), row.cut) << row.path;
        EXPECT_STREQ(path.c_str(), row.expected) << row.path;
    }
}

TEST_F(JreDiscovery, LoadableImages) {
    machine.PutFile("notes.txt", "not an image");
    machine.PutFile("empty.exe", "");
    machine.PutFile("plain\\java", "text, beside a real java.dll");
    machine.PutJava("plain\\java.dll");
    struct Row {
        std::string path;
        int reason;   // 0: loads
    } rows[] = {
        {"", kImageMissing}, {machine.at("missing.exe"), kImageMissing}, {machine.at("notes.txt"), kImageNotLoadable},
        {machine.at("empty.exe"), kImageNotLoadable}, {machine.root(), kImageNotLoadable},
        {machine.PutJava("bin\\javaw.exe"), 0}, {machine.PutJava("padded\\java.exe", 2490489), 0},
        // A name without an extension is taken as it is, never as java.dll. Windows
        // appends ".dll" to it; Wine 8 does not for data files, so here these two rows
        // pass either way.
        {machine.at("plain\\java"), kImageNotLoadable}, {machine.PutJava("bare\\java"), 0},
    };
    for (const Row& row : rows) {
        int reason = 0;
        EXPECT_EQ(IsLoadableImage(row.path.c_str(), &reason), row.reason == 0) << row.path;
        EXPECT_EQ(reason, row.reason) << row.path;
    }
}

// Each row lays out one runtime executable (padded to size when given) and makes a
// location of it: from the home folder when one is named, else from the path itself.
TEST_F(JreDiscovery, ResolvesAndParsesVersions) {
    machine.PutJava("e\\bin\\java.exe");   // jre\bin\javaw.exe comes first in the table
    struct Row {
        const char* file;
        long size;
        const char *home, *version, *text, *parts, *copyParts;
    } rows[] = {
        {"six\\bin\\javaw.exe", 0, "six", "1.6.0_45", "1.6.0_45", "1.6.0.45", "1.6.0.45"},
        {"jre1.6.5\\bin\\javaw.exe", 0, nullptr, "", "1.6.5", "1.6.5.0", "1.6.5.0"},
        {"jre1.6.0_45\\bin\\javaw.exe", 0, nullptr, "", "1.6.0", "1.6.0.45", "1.6.0.0"},
        {"jre7\\bin\\javaw.exe", 0, nullptr, "", "", "0.0.0.0", "0.0.0.0"},
        // The size of an old launcher wins over the path, and the registry's text over both.
        {"jre1.6.5\\bin\\java.exe", 1208439, nullptr, "", "1.4.2", "1.4.2.28", "1.4.2.0"},
        {"old\\bin\\java.exe", 282699, "old", "", "1.3.1", "1.3.1.24", "1.3.1.0"},
        {"reg\\bin\\javaw.exe", 1208439, "reg", "1.8.0_202", "1.8.0_202", "1.8.0.202", "1.8.0.202"},
        {"b\\bin\\javaw.exe", 0, "b", "1..7.0-b12_3", "1..7.0-b12_3", "1.7.0.3", "1.7.0.3"},
        {"c\\bin\\javaw.exe", 0, "c", "x1.99999999999", "x1.99999999999", "0.2147483647.0.0", "0.2147483647.0.0"},
        {"e\\jre\\bin\\javaw.exe", 0, "e", "11", "11", "11.0.0.0", "11.0.0.0"},
        {"f\\jre8\\bin\\java.exe", 0, "f", "1.8", "1.8", "1.8.0.0", "1.8.0.0"},
    };
    for (const Row& row : rows) {
        std::string file = machine.PutJava(row.file, row.size);
        JreLocation location(row.home ? machine.at(row.home).c_str() : "", row.version, nullptr,
                             row.home ? "" : file.c_str());
        SCOPED_TRACE(row.file);
        EXPECT_STREQ(location.executable.c_str(), file.c_str());
        EXPECT_STREQ(location.version.c_str(), row.text);
        EXPECT_EQ(parts(location), row.parts);
        EXPECT_EQ(parts(JreLocation(location)), row.copyParts);
    }
    // Nothing loads under the home: the executable stays as given.
    std::string given = machine.at("nothing\\javaw.exe");
    EXPECT_STREQ(JreLocation(machine.at("nothing").c_str(), "", "", given.c_str()).executable.c_str(), given.c_str());
}

TEST_F(JreDiscovery, QualifyingRules) {
    std::string image = machine.PutJava("rt\\bin\\javaw.exe");
    struct Row {
        const char* version;
        bool accepted;
    } rows[] = {
        {"1.3.0", false}, {"1.3.1_24", true}, {"1.3.1", false}, {"1.3.0_01", true}, {"1.2.2", false},
        {"1.1.8_10", false}, {"1.0", false}, {"1.4.0", true}, {"11.0.2", true}, {"2", true}, {"", true},
    };
    for (const Row& row : rows) {
        JreLocationList list;
        EXPECT_EQ(AddIfQualifies(list, JreLocation(nullptr, row.version, nullptr, image.c_str())),
                  row.accepted ? 0 : -1)
            << row.version;
        EXPECT_EQ(list.count(), row.accepted ? 1 : 0) << row.version;
    }
    JreLocationList list;
    std::string upper = image;
    for (char& c : upper) c = char(toupper(c));
    machine.PutFile("text\\javaw.exe", "not an image");
    EXPECT_EQ(AddIfQualifies(list, JreLocation(nullptr, "1.8", nullptr, image.c_str())), 0);
    EXPECT_EQ(AddIfQualifies(list, JreLocation(nullptr, "1.8", nullptr, upper.c_str())), -1);
    EXPECT_EQ(AddIfQualifies(list, JreLocation(nullptr, "1.8", nullptr, machine.at("text\\javaw.exe").c_str())), -1);
    // AddMachine checks nothing.
    EXPECT_EQ(AddMachine(list, JreLocation(nullptr, "1.1", nullptr, upper.c_str())), 1);
    EXPECT_EQ(executables(list), Strings({image, upper}));
}

// Whole machines: what Discover lists, best first.
TEST_F(JreDiscovery, OrdersMachinesBestFirst) {
    struct Row {
        const char* name;
        std::function<void(const Machine&)> layout;
        Strings expected;
    } rows[] = {
        {"VM file, start script, beside the program, then versions",
         [](const Machine& m) {
             m.WriteSpecFile("  " + m.PutJava("old\\bin\\javaw.exe", 282699) + " \r\n");
             m.PutHome("scripted");
             m.WriteScript("@echo off\r\n" + quoted(m.at("scripted\\bin\\java.exe")) + " -jar corvalis.jar\r\n");
             m.PutJava("krlxconfig\\jre\\bin\\javaw.exe");
             RegisterHome(kJavaSoftKey, "1.6.0_45", m.PutHome("six"));
             RegisterHome(kJavaSoftKey, "11.0.2", m.PutHome("eleven"));
         },
         {"old\\bin\\javaw.exe", "scripted\\bin\\javaw.exe", "krlxconfig\\jre\\bin\\javaw.exe",
          "eleven\\bin\\javaw.exe", "six\\bin\\javaw.exe"}},
        {"major, minor, then the fourth part before the third",
         [](const Machine& m) {
             RegisterHome(kJavaSoftKey, "1.6.0_45", m.PutHome("a"));
             RegisterHome(kJavaSoftKey, "1.6.5", m.PutHome("b"));
             RegisterHome(kJavaSoftKey, "1.7.0", m.PutHome("c"));
             RegisterHome(kJavaSoftKey, "1.6.0_7", m.PutHome("d"));
             RegisterHome(kIbmKey, "1.10.0", m.PutHome("e"));
         },
         {"e\\bin\\javaw.exe", "c\\bin\\javaw.exe", "a\\bin\\javaw.exe", "d\\bin\\javaw.exe", "b\\bin\\javaw.exe"}},
        {"no vendor before Sun before IBM",
         [](const Machine& m) {
             RegisterHome(kIbmKey, "1.6.0", m.PutHome("ibm"));
             RegisterHome(kJavaSoftKey, "1.6.0", m.PutHome("sun"));
             ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe",
                                        m.PutJava("jre1.6.0\\bin\\javaw.exe")));
         },
         {"jre1.6.0\\bin\\javaw.exe", "sun\\bin\\javaw.exe", "ibm\\bin\\javaw.exe"}},
        {"equal otherwise: the later home first",
         [](const Machine& m) {
             RegisterHome(kJavaSoftKey, "1.8.0_1", m.PutHome("earlier"));
             RegisterHome(kJavaSoftKey, "1.8.0_01", m.PutHome("later"));
             m.PutHome("scriptold");
             m.PutHome("scriptnew");
             m.WriteScript(quoted(m.at("scriptold\\bin\\java.exe")) + "\r\n" +
                           quoted(m.at("scriptnew\\bin\\java.exe")) + "\r\n");
             m.SetWritten("earlier", 2001);
             m.SetWritten("later", 2020);
             m.SetWritten("scriptold", 1999);
             m.SetWritten("scriptnew", 2015);
         },
         {"scriptnew\\bin\\javaw.exe", "scriptold\\bin\\javaw.exe", "later\\bin\\javaw.exe",
          "earlier\\bin\\javaw.exe"}},
        {"one runtime through the script and the registry, letters in other case",
         [](const Machine& m) {
             m.PutHome("shared");
             m.WriteScript("start " + quoted(m.at("SHARED\\BIN\\JAVA.EXE")) + "\n");
             RegisterHome(kJavaSoftKey, "1.8.0", m.at("shared"));
         },
         {"SHARED\\bin\\javaw.exe"}},
        {"empty machine", [](const Machine&) {}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearJavaRegistry();
        ClearSettings();
        Machine m;
        row.layout(m);
        Strings expected;
        for (const std::string& relative : row.expected) expected.push_back(m.at(relative));
        EXPECT_EQ(discover(m), expected);
    }
}

// What whole machines cannot show: vendors of equal rank and missing homes.
TEST_F(JreDiscovery, ComparesVendorsAndHomes) {
    std::string image = machine.PutJava("x\\bin\\javaw.exe");
    machine.PutFile("one\\file", "");
    machine.PutFile("two\\file", "");
    machine.SetWritten("one", 2010);
    machine.SetWritten("two", 2010);
    auto make = [&](const char* home, const char* vendor) {
        return JreLocation(*home ? machine.at(home).c_str() : "", "1.6", vendor, image.c_str());
    };
    struct Row {
        JreLocation a, b;
        int expected;
    } rows[] = {
        {make("", "Oracle Corporation"), make("", "IBM Corporation"), 1},
        {make("", "Unknown"), make("", "Sun"), -1},
        {make("missing\\b", "Unknown"), make("MISSING\\a", ""), 1},   // equal ranks: the homes decide
        {make("missing\\a", "sun"), make("MISSING\\b", "SUN"), -1},
        {make("zzz", "Sun"), make("one", "Sun"), 1},
        {make("one", "Sun"), make("two", "Sun"), 0},
    };
    for (const Row& row : rows) {
        int order = CompareLocations(row.a, row.b);
        EXPECT_EQ((order > 0) - (order < 0), row.expected) << row.a.home.c_str() << " vs " << row.b.home.c_str();
    }
}

TEST_F(JreDiscovery, LocalRuntimesAndTheChosenOne) {
    const char* probes[] = {"krlxconfig\\jre\\bin\\javaw.exe",  "krlxconfig\\jre7\\bin\\javaw.exe",
                            "krlxconfig\\jre8\\bin\\javaw.exe", "common\\jre\\bin\\javaw.exe",
                            "jre\\bin\\javaw.exe",              "jre7\\bin\\javaw.exe",
                            "jre8\\bin\\javaw.exe"};
    Strings expected;
    for (const char* probe : probes) expected.push_back(machine.PutJava(probe));
    machine.PutJava("krlxconfig\\jre\\bin\\java.exe");   // java.exe is not looked for here
    JreLocationList list;
    FindLocalJres(list, (machine.program() + "\\/").c_str());
    EXPECT_EQ(executables(list), expected);
    for (int i = 0; i < list.count(); i++) EXPECT_EQ(list.at(i)->local, 1) << i;

    Machine other;
    std::string local = other.PutJava("jre8\\bin\\javaw.exe");
    std::string named = other.PutJava("named\\bin\\javaw.exe");
    other.WriteSpecFile(named);
    cstring chosen;
    ConfigLogWatch watch;
    EXPECT_TRUE(DiscoverJVM(chosen, other.program().c_str()));
    EXPECT_STREQ(chosen.c_str(), named.c_str());
    EXPECT_EQ(watch.Records().back(), "DiscoverJVM: Chosen VM=\"" + named + "\"\n");
    EXPECT_TRUE(FindLocalJre(chosen, other.program().c_str()));
    EXPECT_STREQ(chosen.c_str(), local.c_str());
    Machine empty;
    EXPECT_FALSE(DiscoverJVM(chosen, empty.program().c_str()));
    EXPECT_FALSE(FindLocalJre(chosen, empty.program().c_str()));
    EXPECT_STREQ(chosen.c_str(), "");
}

TEST_F(JreDiscovery, StartScriptLines) {
    std::string script = machine.program() + "\\Corvalis.bat";
    std::string spaced = machine.PutHome("Program Files\\jre one");
    std::string jdk = machine.PutHome("jdk");
    std::string jre11 = machine.PutHome("jre1.1.8"), jre12 = machine.PutHome("jre1.2.2");
    struct Row {
        std::string content;
        Strings records;   // after "analyzing file"
        Strings listed;
    } rows[] = {
        {quoted(spaced + "\\bin\\java.exe") + " -Xmx256m -jar \"C:\\corvalis.jar\"\r\n",
         {"checking line: \"" + quoted(spaced + "\\bin\\java.exe") + " -Xmx256m -jar \"C:\\corvalis.jar\"\r\"\n",
          "checking element: \"" + spaced + "\\bin\\java.exe\"\n", "JVM location \"" + spaced + "\" qualifies!\n",
          "+++ AddMachine: " + spaced + "\\bin\\javaw.exe\n"},
         {spaced + "\\bin\\javaw.exe"}},
        // The script this program writes: a quoted path without spaces starts the line.
        {"@echo off\r\n" + quoted(jdk + "\\bin\\java.exe") + " -Xmx512m -classpath \"%~dp0;lib\\jh.jar\" launcher %*",
         {"checking line: \"@echo off\r\"\n", "checking element: \"@echo\"\n",
          "checking line: \"" + quoted(jdk + "\\bin\\java.exe") + " -Xmx512m -classpath \"%~dp0;lib\\jh.jar\" launcher %*\"\n",
          "checking element: \"" + jdk + "\\bin\\java.exe\"\n", "JVM location \"" + jdk + "\" qualifies!\n",
          "+++ AddMachine: " + jdk + "\\bin\\javaw.exe\n"},
         {jdk + "\\bin\\javaw.exe"}},
        {"java -cp \"lib.jar\" " + quoted(jdk + "\\bin\\java.exe") + "\n",
         {"checking line: \"java -cp \"lib.jar\" " + quoted(jdk + "\\bin\\java.exe") + "\"\n",
          "checking element: \"java\"\n", "checking element: \"lib.jar\"\n",
          "checking element: \"" + jdk + "\\bin\\java.exe\"\n", "JVM location \"" + jdk + "\" qualifies!\n",
          "+++ AddMachine: " + jdk + "\\bin\\javaw.exe\n"},
         {jdk + "\\bin\\javaw.exe"}},
        // Leading tabs go, the CR stays in the line; a third parent is tried, then the next line.
        {"\t \t@echo off\r\n\t" + quoted(jdk + "\\lib\\ext\\x.jar") + "\t" + quoted(jdk + "\\bin\\java.exe") +
             "\r\n" + quoted(machine.at("nowhere\\bin\\java.exe")) + "\r\n",
         {"checking line: \"@echo off\r\"\n", "checking element: \"@echo\"\n",
          "checking line: \"" + quoted(jdk + "\\lib\\ext\\x.jar") + "\t" + quoted(jdk + "\\bin\\java.exe") + "\r\"\n",
          "checking element: \"" + jdk + "\\lib\\ext\\x.jar\"\n", "JVM location \"" + jdk + "\" qualifies!\n",
          "+++ AddMachine: " + jdk + "\\bin\\javaw.exe\n",
          "checking line: \"" + quoted(machine.at("nowhere\\bin\\java.exe")) + "\r\"\n",
          "checking element: \"" + machine.at("nowhere\\bin\\java.exe") + "\"\n",
          "JVM location \"" + machine.root() + "\" doesn't qualify\n"},
         {jdk + "\\bin\\javaw.exe"}},
        // Only the validity check filters a script's runtimes: 1.1 is refused, 1.2 taken.
        {quoted(jre11 + "\\bin\\java.exe") + "\r\n" + quoted(jre12 + "\\bin\\java.exe") + "\r\n",
         {"checking line: \"" + quoted(jre11 + "\\bin\\java.exe") + "\r\"\n",
          "checking element: \"" + jre11 + "\\bin\\java.exe\"\n",
          "JVM location \"" + machine.root() + "\" doesn't qualify\n",
          "checking line: \"" + quoted(jre12 + "\\bin\\java.exe") + "\r\"\n",
          "checking element: \"" + jre12 + "\\bin\\java.exe\"\n", "JVM location \"" + jre12 + "\" qualifies!\n",
          "+++ AddMachine: " + jre12 + "\\bin\\javaw.exe\n"},
         {jre12 + "\\bin\\javaw.exe"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.content);
        Strings records;
        EXPECT_EQ(scanScript(row.content, &records), row.listed);
        Strings expected = {"analyzing file \"" + script + "\"\n"};
        expected.insert(expected.end(), row.records.begin(), row.records.end());
        EXPECT_EQ(records, expected);
    }
}

// A VM file (qzv.vm) or start script that exists but cannot be read costs one log line; the
// other sources are still read.
TEST_F(JreDiscovery, UnreadableSpecFileAndScript) {
    std::string home = machine.PutHome("registered");
    RegisterHome(kJavaSoftKey, "1.8.0", home);
    std::string vmFile = machine.at("qzv.vm"), script = machine.program() + "\\Corvalis.bat";
    std::string vmFileError = "Exception in ReadSpecFile: Error 18001: Cannot open file \"" + vmFile + "\": ";
    std::string scriptError = "Exception in ScanBatchFiles: Error 18006: Cannot open file \"" + script + "\": ";
    struct Row {
        std::string path;
        bool locked;   // else a folder of that name
        std::string record;
    } rows[] = {{vmFile, false, vmFileError}, {vmFile, true, vmFileError}, {script, false, scriptError},
                {script, true, scriptError}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.path + (row.locked ? " locked" : " folder"));
        RemoveTree(vmFile);
        RemoveTree(script);
        HANDLE held = nullptr;
        if (row.locked) {
            WriteFileText(row.path, quoted(home + "\\bin\\java.exe"));
            held = CreateFileA(row.path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
        } else {
            CreateDirectoryA(row.path.c_str(), nullptr);
        }
        ConfigLogWatch watch;
        EXPECT_EQ(discover(machine), Strings({home + "\\bin\\javaw.exe"}));
        if (held) CloseHandle(held);
        Strings exceptions;
        for (const std::string& record : watch.Records())
            if (record.find("Exception in ") == 0) exceptions.push_back(record.substr(0, row.record.size()));
        EXPECT_EQ(exceptions, Strings({row.record}));
    }
}

TEST_F(JreDiscovery, RegistryScan) {
    std::string six = machine.PutHome("six"), ibm = machine.PutHome("ibm");
    RegisterHome(kJavaSoftKey, "1.6", six);
    RegisterHome(kJavaSoftKey, "1.6.0_45", six);
    RegisterHome(kJavaSoftKey, "1.7", machine.at("gone"));
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, std::string(kJavaSoftKey) + "\\1.8", "RuntimeLib", "x"));
    // Another program may store the home without its terminating zero.
    PutRawValue(HKEY_LOCAL_MACHINE, std::string(kIbmKey) + "\\1.5.0", "JavaHome", REG_SZ, ibm);
    ConfigLogWatch watch;
    JreLocationList list;
    ScanSettingsAndRegistry(list);
    const std::string sun = std::string("checking registry (64-bit): ") + kJavaSoftKey + "\\";
    Strings expected = {
        sun + "1.6\n",
        "registry match (64-bit): 1.6 = " + six + "\\bin\\javaw.exe\n",
        "+++ AddMachine: " + six + "\\bin\\javaw.exe\n",
        sun + "1.6.0_45\n",
        "registry match (64-bit): 1.6.0_45 = " + six + "\\bin\\javaw.exe\n",
        sun + "1.7\n",
        "registry match (64-bit): 1.7 = \n",
        sun + "1.8\n",
        std::string("checking registry (64-bit): ") + kIbmKey + "\\1.5.0\n",
        "registry match (64-bit): 1.5.0 = " + ibm + "\\bin\\javaw.exe\n",
        "+++ AddMachine: " + ibm + "\\bin\\javaw.exe\n",
    };
    EXPECT_EQ(watch.Records(), expected);
    ASSERT_EQ(list.count(), 2);
    EXPECT_STREQ(list.at(0)->version.c_str(), "1.6");   // the first subkey of the home wins
    EXPECT_STREQ(list.at(0)->vendor.c_str(), "Sun");
    EXPECT_STREQ(list.at(1)->vendor.c_str(), "IBM");
}

namespace {

JreLocationList* notifiedList;
Strings notifications;
std::string lastListed;

DWORD WINAPI readLastListed(void*) {
    cstring last;
    notifiedList->executable_at(notifiedList->count() - 1, last);
    lastListed = last.c_str();
    return 0;
}

// Reads the list while the appending thread waits for this handler, on a thread of its
// own with a time limit: a sender still holding the list's lock shows as "blocked"
// instead of hanging the test.
LRESULT CALLBACK recordNotifications(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message != WM_JRE_FOUND) return DefWindowProcA(window, message, wParam, lParam);
    HANDLE reader = CreateThread(nullptr, 0, readLastListed, nullptr, 0, nullptr);
    bool read = WaitForSingleObject(reader, 10000) == WAIT_OBJECT_0;
    CloseHandle(reader);
    notifications.push_back("found " + std::to_string(wParam) + " " + std::to_string(lParam) + " " +
                            (read ? lastListed : "blocked"));
    return 0;
}

struct Appender {
    JreLocationList* list;
    Strings paths;
};

DWORD WINAPI appendAll(void* context) {
    Appender* appender = static_cast<Appender*>(context);
    for (const std::string& path : appender->paths)
        AddIfQualifies(*appender->list, JreLocation(nullptr, nullptr, nullptr, path.c_str()));
    return 0;
}

}  // namespace

TEST_F(JreDiscovery, NotifiesTheWindowOutsideTheLock) {
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = recordNotifications;
    windowClass.lpszClassName = "JreDiscoveryTestWindow";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowA("JreDiscoveryTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    JreLocationList list;
    notifiedList = &list;
    list.window = window;

    // From another thread, as the disk scan appends: the handler reads the list.
    Appender appender{&list, {machine.PutJava("a\\javaw.exe"), machine.PutJava("b\\javaw.exe")}};
    notifications.clear();
    HANDLE thread = CreateThread(nullptr, 0, appendAll, &appender, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    DWORD waited = WAIT_TIMEOUT;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 30000;) {
        waited = MsgWaitForMultipleObjects(1, &thread, FALSE, 1000, QS_ALLINPUT);
        if (waited == WAIT_OBJECT_0) break;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    }
    ASSERT_EQ(waited, WAIT_OBJECT_0) << "the appending thread did not finish";
    CloseHandle(thread);
    EXPECT_EQ(notifications, Strings({"found 1 0 " + appender.paths[0], "found 2 0 " + appender.paths[1]}));

    // Discover notifies each append at once and posts the end.
    notifications.clear();
    machine.WriteSpecFile(machine.PutJava("named\\javaw.exe"));
    Discover(list, machine.program().c_str());
    EXPECT_EQ(notifications, Strings({"found 1 0 " + machine.at("named\\javaw.exe")}));
    MSG message;
    ASSERT_TRUE(PeekMessageA(&message, window, WM_JRE_FOUND, WM_JRE_SCAN_DONE, PM_REMOVE));
    EXPECT_EQ(message.message, UINT(WM_JRE_SCAN_DONE));
    EXPECT_EQ(message.wParam, WPARAM(1));
    EXPECT_FALSE(PeekMessageA(&message, window, 0, 0, PM_REMOVE));

    Machine empty;
    notifications.clear();
    Discover(list, empty.program().c_str());
    EXPECT_EQ(list.count(), 0);
    EXPECT_TRUE(notifications.empty());
    ASSERT_TRUE(PeekMessageA(&message, window, 0, 0, PM_REMOVE));
    EXPECT_EQ(message.message, UINT(WM_JRE_SCAN_DONE));
    EXPECT_EQ(message.wParam, WPARAM(0));
    DestroyWindow(window);
}

TEST_F(JreDiscovery, BadInputIsRefused) {
    std::string java = machine.PutJava("rt\\bin\\javaw.exe");
    // VM files: garbage, a NUL byte inside the path, NULs and blanks alone, a folder; NUL
    // bytes at either end are trimmed as blanks are.
    std::string garbage;
    unsigned seed = 12345;
    for (int i = 0; i < 4096; i++) garbage += char((seed = seed * 1103515245 + 12345) >> 16);
    struct VmFile {
        std::string content;
        Strings expected;
        const char* refusal;   // the log record of a path that names no file
    } vmFiles[] = {
        {garbage, {}, nullptr},
        {java + std::string("\0tail", 5), {}, nullptr},
        {std::string(" \0\t\0\r\n", 6), {}, nullptr},
        {machine.at("rt\\bin"), {}, "qzv.vm names a folder, not a java executable: "},
        {std::string("\0\0 ", 3) + java + std::string("\0", 1), {java}, nullptr},
        {"\r\n\t" + java + "\r\n", {java}, nullptr},
    };
    for (const VmFile& vm : vmFiles) {
        machine.WriteSpecFile(vm.content);
        ConfigLogWatch watch;
        EXPECT_EQ(discover(machine), vm.expected) << vm.content.size();
        if (vm.refusal) {
            EXPECT_EQ(watch.Records(), Strings({vm.refusal + quoted(vm.content) + "\n"}));
        }
    }
    RemoveTree(machine.at("qzv.vm"));

    // A 5 MB start script on one line: a long quoted path among many tokens.
    std::string line = "\"";
    while (line.size() < 4000000) line += "folder\\";
    line += "java.exe\" ";
    while (line.size() < 5000000) line += "-Dx=y ";
    EXPECT_EQ(scanScript(line), Strings());
    RemoveTree(machine.program() + "\\Corvalis.bat");

    // Registry: a 2,000-character home, a home of the wrong type, a JavaExe without its
    // terminating zero (read right), a JavaExe naming a text file.
    RegisterHome(kJavaSoftKey, "1.8.0", "C:\\" + std::string(1997, 'j'));
    ASSERT_TRUE(WriteRegDword(HKEY_LOCAL_MACHINE, std::string(kJavaSoftKey) + "\\1.9.0", "JavaHome", 1));
    PutRawValue(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", REG_SZ, java);
    EXPECT_EQ(discover(machine), Strings({java}));
    PutRawValue(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", REG_SZ, machine.PutFile("t\\javaw.exe", "text"));
    EXPECT_EQ(discover(machine), Strings());
}

namespace {

const std::string kMsi = "\\hotspot\\MSI";

void setPath(const std::string& entry, const std::string& home, DWORD type = REG_SZ) {
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, entry, "Path", home, type));
}

}  // namespace

// Each row is a whole machine; the newer sources count only where the others find nothing.
TEST_F(JreDiscovery, NewerSourcesByMachine) {
    using namespace std::string_literals;
    struct Row {
        const char* name;
        std::function<void(const Machine&)> layout;
        Strings expected;
    } rows[] = {
        {"JavaSoft JDK", [](const Machine& m) { RegisterHome("SOFTWARE\\JavaSoft\\JDK", "17.0.2", m.PutHome("jdk")); },
         {"jdk\\bin\\javaw.exe"}},
        {"JavaSoft JRE with java.exe only",
         [](const Machine& m) {
             m.PutJava("jre\\bin\\java.exe");
             RegisterHome("SOFTWARE\\JavaSoft\\JRE", "9.0.4", m.at("jre"));
         },
         {"jre\\bin\\java.exe"}},
        {"Eclipse Adoptium JDK, home with a trailing backslash",
         [](const Machine& m) { setPath("SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11" + kMsi, m.PutHome("temurin") + "\\"); },
         {"temurin\\bin\\javaw.exe"}},
        {"Eclipse Adoptium JRE",
         [](const Machine& m) { setPath("SOFTWARE\\Eclipse Adoptium\\JRE\\17.0.9.9" + kMsi, m.PutHome("temurinjre")); },
         {"temurinjre\\bin\\javaw.exe"}},
        {"Eclipse Foundation JDK, REG_EXPAND_SZ",
         [](const Machine& m) {
             m.PutHome("foundation");
             SetEnvironmentVariableA("KRLX_NEWER_ROOT", m.root().c_str());
             setPath("SOFTWARE\\Eclipse Foundation\\JDK\\11.0.21.9" + kMsi, "%KRLX_NEWER_ROOT%\\foundation", REG_EXPAND_SZ);
         },
         {"foundation\\bin\\javaw.exe"}},
        {"Eclipse Foundation JRE, REG_MULTI_SZ",
         [](const Machine& m) {
             PutRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Foundation\\JRE\\8.0.392.8" + kMsi, "Path", REG_MULTI_SZ,
                         m.PutHome("foundationjre") + "\0other\0\0"s);
         },
         {"foundationjre\\bin\\javaw.exe"}},
        {"AdoptOpenJDK JDK", [](const Machine& m) { setPath("SOFTWARE\\AdoptOpenJDK\\JDK\\16.0.2.7" + kMsi, m.PutHome("adopt")); },
         {"adopt\\bin\\javaw.exe"}},
        {"AdoptOpenJDK JRE",
         [](const Machine& m) { setPath("SOFTWARE\\AdoptOpenJDK\\JRE\\11.0.11.9" + kMsi, m.PutHome("adoptjre")); },
         {"adoptjre\\bin\\javaw.exe"}},
        {"JAVA_HOME", [](const Machine& m) { SetEnvironmentVariableA("JAVA_HOME", m.PutHome("env").c_str()); },
         {"env\\bin\\javaw.exe"}},
        {"only bin\\ under a newer home is looked at",
         [](const Machine& m) {
             m.PutJava("nobin\\jre\\bin\\javaw.exe");
             m.PutJava("nobin\\javaw.exe");
             RegisterHome("SOFTWARE\\JavaSoft\\JDK", "17", m.at("nobin"));
         },
         {}},

        // Versions across sources sort as every location does; one home is listed once.
        {"by version, whatever the key",
         [](const Machine& m) {
             RegisterHome("SOFTWARE\\JavaSoft\\JRE", "1.8.0_345", m.PutHome("a"));
             setPath("SOFTWARE\\Eclipse Adoptium\\JRE\\17.0.2" + kMsi, m.PutHome("b"));
             setPath("SOFTWARE\\AdoptOpenJDK\\JDK\\21" + kMsi, m.PutHome("c"));
             setPath("SOFTWARE\\Eclipse Foundation\\JDK\\17.0.9" + kMsi, m.PutHome("d"));
         },
         {"c\\bin\\javaw.exe", "d\\bin\\javaw.exe", "b\\bin\\javaw.exe", "a\\bin\\javaw.exe"}},
        {"one home under two keys",
         [](const Machine& m) {
             RegisterHome("SOFTWARE\\JavaSoft\\JDK", "21", m.PutHome("shared"));
             setPath("SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11" + kMsi, m.at("SHARED"));
         },
         {"shared\\bin\\javaw.exe"}},
        {"the version rules hold: 1.2 is refused, then JAVA_HOME serves",
         [](const Machine& m) {
             RegisterHome("SOFTWARE\\JavaSoft\\JRE", "1.2.2", m.PutHome("old"));
             SetEnvironmentVariableA("JAVA_HOME", m.PutHome("env").c_str());
         },
         {"env\\bin\\javaw.exe"}},

        // A machine the other sources serve keeps exactly its list.
        {"a JRE 8 under JavaSoft's Java Runtime Environment key and a JDK 21 under JavaSoft\\JDK",
         [](const Machine& m) {
             RegisterHome(kJavaSoftKey, "1.8.0_345", m.PutHome("jre8"));
             RegisterHome("SOFTWARE\\JavaSoft\\JDK", "21", m.PutHome("jdk21"));
             SetEnvironmentVariableA("JAVA_HOME", m.at("jdk21").c_str());
         },
         {"jre8\\bin\\javaw.exe"}},
        {"a runtime beside the program and a newer one",
         [](const Machine& m) {
             m.PutJava("krlxconfig\\jre\\bin\\javaw.exe");
             setPath("SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11" + kMsi, m.PutHome("temurin"));
         },
         {"krlxconfig\\jre\\bin\\javaw.exe"}},

        // JAVA_HOME as people write it; taken only when no registry entry joined.
        {"JAVA_HOME with a trailing backslash",
         [](const Machine& m) { SetEnvironmentVariableA("JAVA_HOME", (m.PutHome("env") + "\\").c_str()); },
         {"env\\bin\\javaw.exe"}},
        {"JAVA_HOME in quotes and blanks",
         [](const Machine& m) { SetEnvironmentVariableA("JAVA_HOME", (" \"" + m.PutHome("my env") + "\" ").c_str()); },
         {"my env\\bin\\javaw.exe"}},
        {"JAVA_HOME naming a missing folder",
         [](const Machine& m) { SetEnvironmentVariableA("JAVA_HOME", m.at("gone").c_str()); }, {}},
        {"a registry entry outranks JAVA_HOME",
         [](const Machine& m) {
             RegisterHome("SOFTWARE\\JavaSoft\\JDK", "11", m.PutHome("jdk11"));
             SetEnvironmentVariableA("JAVA_HOME", m.PutHome("env").c_str());
         },
         {"jdk11\\bin\\javaw.exe"}},
        {"JAVA_HOME when no registry entry loads",
         [](const Machine& m) {
             m.PutFile("text\\bin\\javaw.exe", "not an image");
             setPath("SOFTWARE\\Eclipse Adoptium\\JDK\\21" + kMsi, m.at("text"));
             SetEnvironmentVariableA("JAVA_HOME", m.PutHome("env").c_str());
         },
         {"env\\bin\\javaw.exe"}},

        // Garbage in every key, with a runtime wherever a careless reader would look.
        {"wrong value types everywhere",
         [](const Machine& m) {
             std::string rt = m.PutHome("rt");
             PutRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK\\17", "JavaHome", REG_BINARY, rt);
             ASSERT_TRUE(WriteRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JRE\\17", "JavaHome", 17));
             PutRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Adoptium\\JDK\\21" + kMsi, "Path", REG_NONE, rt);
             ASSERT_TRUE(WriteRegDword(HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Adoptium\\JRE\\21" + kMsi, "Path", 1));
             PutRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Foundation\\JDK\\21" + kMsi, "Path", REG_QWORD, "\1\0\0\0\0\0\0\0"s);
             PutRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Foundation\\JRE\\21" + kMsi, "Path", REG_BINARY, rt + "\0"s);
             PutRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\AdoptOpenJDK\\JDK\\21" + kMsi, "Path", REG_DWORD_BIG_ENDIAN, "\0\0\0\1"s);
             PutRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\AdoptOpenJDK\\JRE\\21" + kMsi, "Path", REG_BINARY, rt);
         },
         {}},
        {"garbage texts everywhere",
         [](const Machine& m) {
             std::string rt = m.PutHome("rt");
             RegisterHome("SOFTWARE\\JavaSoft\\JDK", "17", "<>|*?\x01");
             RegisterHome("SOFTWARE\\JavaSoft\\JRE", "17", "   ");
             setPath("SOFTWARE\\Eclipse Adoptium\\JDK\\21" + kMsi, "");
             setPath("SOFTWARE\\Eclipse Adoptium\\JRE\\21" + kMsi, "\\\\");
             setPath("SOFTWARE\\Eclipse Foundation\\JDK\\21" + kMsi, rt + "\\bin\\javaw.exe");   // the program, not a home
             PutRawValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Foundation\\JRE\\21" + kMsi, "Path", REG_MULTI_SZ,
                         "\0"s + rt + "\0\0"s);   // an empty first string
             setPath("SOFTWARE\\AdoptOpenJDK\\JDK\\21" + kMsi, rt + "\\bin");
             ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\AdoptOpenJDK\\JRE\\21" + kMsi, "Home", rt));
         },
         {}},
        {"keys in the wrong places",
         [](const Machine& m) {
             std::string rt = m.PutHome("rt");
             ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK", "JavaHome", rt));
             setPath("SOFTWARE\\Eclipse Adoptium\\JDK\\21", rt);   // no hotspot\MSI below the version
             setPath("SOFTWARE\\Eclipse Adoptium\\JRE\\17\\hotspot", rt);
             setPath("SOFTWARE\\Eclipse Foundation\\JDK\\11\\openj9\\MSI", rt);
             setPath("SOFTWARE\\AdoptOpenJDK\\JDK", rt);
         },
         {}},
        // "\bin\javaw.exe" would be found on the current drive: one of the test's own here.
        {"an empty home, with a runtime under the current drive's root",
         [](const Machine& m) {
             m.PutJava("bin\\javaw.exe");
             ASSERT_TRUE(DefineWineDrive('T', m.root().c_str(), DRIVE_FIXED));
             ASSERT_TRUE(SetCurrentDirectoryA("T:\\"));
             setPath("SOFTWARE\\Eclipse Adoptium\\JDK\\21" + kMsi, "");
         },
         {}},
    };
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ClearJavaRegistry();
        SetEnvironmentVariableA("JAVA_HOME", nullptr);
        Machine m;
        row.layout(m);
        Strings expected;
        for (const std::string& relative : row.expected) expected.push_back(m.at(relative));
        EXPECT_EQ(discover(m), expected);
        SetCurrentDirectoryA(folder);   // before the machine's folder goes
        RemoveWineDrive('T');
    }
    SetEnvironmentVariableA("KRLX_NEWER_ROOT", nullptr);
}

TEST_F(JreDiscovery, NewerSourcesLogEachEntry) {
    std::string temurin = machine.PutHome("temurin");
    RegisterHome("SOFTWARE\\JavaSoft\\JDK", "17", machine.at("gone"));
    setPath("SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11" + kMsi, temurin + "\\");
    SetEnvironmentVariableA("JAVA_HOME", temurin.c_str());   // not looked at: an entry joined
    ConfigLogWatch watch;
    JreLocationList list;
    Discover(list, machine.program().c_str());
    Strings expected = {
        "newer Java source (64-bit) SOFTWARE\\JavaSoft\\JDK\\17: \"" + machine.at("gone") + "\" = \n",
        "newer Java source (64-bit) SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11\\hotspot\\MSI: \"" + temurin + "\" = " +
            temurin + "\\bin\\javaw.exe\n",
        "+++ AddMachine: " + temurin + "\\bin\\javaw.exe\n",
    };
    EXPECT_EQ(watch.Records(), expected);
    ASSERT_EQ(list.count(), 1);
    EXPECT_STREQ(list.at(0)->version.c_str(), "21.0.5.11");
    EXPECT_EQ(parts(*list.at(0)), "21.0.5.11");
    EXPECT_STREQ(list.at(0)->vendor.c_str(), "Unknown");

    // Nothing in the registry: JAVA_HOME, without a version or vendor.
    ClearJavaRegistry();
    ConfigLogWatch second;
    Discover(list, machine.program().c_str());
    EXPECT_EQ(second.Records(), Strings({"newer Java source JAVA_HOME: \"" + temurin + "\" = " + temurin +
                                             "\\bin\\javaw.exe\n",
                                         "+++ AddMachine: " + temurin + "\\bin\\javaw.exe\n"}));
    ASSERT_EQ(list.count(), 1);
    EXPECT_STREQ(list.at(0)->vendor.c_str(), "");
}
