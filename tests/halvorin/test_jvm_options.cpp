// The VM options, main arguments and working folder built from start arguments and a
// "config/halvorin.cfg" laid out per test, the class path text, the parameter string,
// the working directory and the PATH set-up, with their log lines; bad configuration files.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jvm_host.h"
#include "service_host.h"
#include "test_support.h"

using namespace testing_support;

namespace {

using Strings = std::vector<std::string>;

// The class path option of a program folder: each "@" of the literal text stands for the
// folder.
std::string classPathOf(const std::string& folder) {
    std::string option =
        "-Djava.class.path=@;@/lib/scm.jar;@/lib/halvorin.jar;@/lib/ifxjdbc.jar;@/lib/hsqldb.jar;@/lib/cryptix.jar;"
        "@/lib/mail.jar;@/lib/activation.jar;@/lib/jta.jar;@/lib/derby.jar;";
    for (size_t at = option.find('@'); at != std::string::npos; at = option.find('@', at + folder.size()))
        option.replace(at, 1, folder);
    return option;
}

Strings listOf(char** list, DWORD count) {
    Strings out;
    for (DWORD i = 0; i < count; i++) out.push_back(list[i]);
    return out;
}

class JvmOptions : public ::testing::Test {
protected:
    void SetUp() override {
        CreateDirectoryA(programDir().c_str(), nullptr);
        CreateDirectoryA((programDir() + "\\config").c_str(), nullptr);
    }

    std::string programDir() const { return product.path() + "\\halvorin"; }
    std::string modulePath() const { return programDir() + "\\halvorin64.exe"; }
    // As the service forms it: the program folder with its backslash, then the name.
    std::string configPath() const { return programDir() + "\\/config/halvorin.cfg"; }
    std::string classPath() const { return classPathOf(programDir()); }
    void writeConfig(const std::string& content) {
        ASSERT_TRUE(WriteFileText(programDir() + "\\config\\halvorin.cfg", content));
    }

    Strings vmOptions(Strings args) {
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(&arg[0]);
        DWORD count = 99;
        char** list = buildVMOptions(nullptr, &count, DWORD(argv.size()), argv.data(), modulePath().c_str());
        EXPECT_LE(count, argv.size() + 6);
        return listOf(list, count);
    }
    Strings mainArgs(Strings args, const std::string& module) {
        std::vector<char*> argv;
        for (std::string& arg : args) argv.push_back(&arg[0]);
        DWORD count = 99;
        char** list = buildMainArgs(nullptr, &count, DWORD(argv.size()), argv.data(), module.c_str());
        EXPECT_LE(count, argv.size() + 10);
        return listOf(list, count);
    }
    Strings mainArgs(Strings args) { return mainArgs(args, modulePath()); }
    Strings records() const { return LogRecords(watch.NewText()); }

    TempFolder product{"jvmopt"};
    LogWatch watch;
};

// Restores the process state that prependJavaBinToPath and setWorkingDirectory change.
class ProcessStateGuard {
public:
    ProcessStateGuard() {
        DWORD n = GetEnvironmentVariableA("PATH", nullptr, 0);
        path_.resize(n);
        hadPath_ = n && GetEnvironmentVariableA("PATH", &path_[0], n);
        path_.resize(n ? n - 1 : 0);
        GetCurrentDirectoryA(sizeof folder_, folder_);
    }
    ~ProcessStateGuard() {
        SetEnvironmentVariableA("PATH", hadPath_ ? path_.c_str() : nullptr);
        SetDllDirectoryA(nullptr);
        SetCurrentDirectoryA(folder_);
    }

private:
    std::string path_;
    bool hadPath_;
    char folder_[MAX_PATH];
};

std::string envPath() {
    char value[8192];
    DWORD n = GetEnvironmentVariableA("PATH", value, sizeof value);
    return n && n < sizeof value ? value : "<undefined>";
}

std::string dllDirectory() {
    char folder[MAX_PATH] = "";
    GetDllDirectoryA(sizeof folder, folder);
    return folder;
}

std::string currentFolder() {
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof folder, folder);
    return folder;
}

}  // namespace

TEST_F(JvmOptions, NoArgumentsAndNoConfiguration) {
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx256m", classPath()}));
    EXPECT_EQ(mainArgs({}), (Strings{"-root", product.path()}));
    EXPECT_EQ(records(), Strings{"parameter -Xmx256m passed to JVM (as implicit default)\n"});
}

TEST_F(JvmOptions, HeapSizeArgumentSkipsTheConfigurationFile) {
    writeConfig("MEMORY=768\n");
    EXPECT_EQ(vmOptions({"-Xmx1024m"}), (Strings{"-Xmx1024m", classPath()}));
    EXPECT_EQ(records(), Strings{});
}

TEST_F(JvmOptions, OptionPrefixesSplitVMOptionsFromMainArguments) {
    Strings args = {"/Dfoo=1", "serverArg", "-Dbar=2", "-xlower", "-d", "/Xss1m", "-DD"};
    EXPECT_EQ(vmOptions(args), (Strings{"/Dfoo=1", "-Dbar=2", "/Xss1m", "-DD", "-Xmx256m", classPath()}));
    EXPECT_EQ(mainArgs(args), (Strings{"serverArg", "-xlower", "-d", "-root", product.path()}));
}

TEST_F(JvmOptions, XmlMarkerWinsOverIniLinesWhenPositive) {
    writeConfig("<config>\n<p><n>MEMORY</n><v>512</v></p>\n</config>\nMEMORY=768\n");
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx512m", classPath()}));
    EXPECT_EQ(records(), Strings{"parameter -Xmx512m passed to JVM as per config file " + configPath() + " (XML)\n"});

    writeConfig("<config>\n<p><n>MEMORY</n><v>0</v></p>\n</config>\nMEMORY=768\n");
    LogWatch second;
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx768m", classPath()}));
    EXPECT_EQ(LogRecords(second.NewText()),
              (Strings{"ini-config: \"MEMORY\" = \"768\"\n",
                       "parameter -Xmx768m passed to JVM as per config file " + configPath() + " (INI)\n"}));

    writeConfig("<config>\n<p><n>MEMORY</n><v>1</v></p>\n</config>\nMEMORY=768\n");   // the smallest size taken
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx1m", classPath()}));
    writeConfig("<config>\n<p><n>memory</n><v>512</v></p>\n</config>\n");   // the marker's letter case only
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx256m", classPath()}));
}

TEST_F(JvmOptions, IniForms) {
    writeConfig("\r\n# heap\r\n   memory = 768  \r\nname=halvorin\r\nno equals sign\r\n");
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx768m", classPath()}));
    EXPECT_EQ(records(), (Strings{"ini-config: \"memory\" = \"768\"\n",
                                  "parameter -Xmx768m passed to JVM as per config file " + configPath() + " (INI)\n",
                                  "ini-config: \"name\" = \"halvorin\"\n"}));

    writeConfig("MEMORY=abc\n  #MEMORY=768\n");
    LogWatch second;
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx256m", classPath()}));
    EXPECT_EQ(LogRecords(second.NewText()), (Strings{"ini-config: \"MEMORY\" = \"abc\"\n",
                                                     "parameter -Xmx256m passed to JVM (as implicit default)\n"}));

    writeConfig("MEMORY=1024\nMemory = 2048");   // the last line without a line feed
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx1024m", "-Xmx2048m", classPath()}));
}

// Only the dash forms give the class path or the heap size: the slash forms are VM
// options like any other, and the defaults still follow them.
TEST_F(JvmOptions, ClassPathOrHeapSizeGivenAsAnArgument) {
    EXPECT_EQ(vmOptions({"-Djava.class.path=x.jar"}), (Strings{"-Djava.class.path=x.jar", "-Xmx256m"}));
    EXPECT_EQ(vmOptions({"/Djava.class.path=x.jar"}), (Strings{"/Djava.class.path=x.jar", "-Xmx256m", classPath()}));
    EXPECT_EQ(vmOptions({"-Xmx64m"}), (Strings{"-Xmx64m", classPath()}));
    EXPECT_EQ(vmOptions({"/Xmx64m"}), (Strings{"/Xmx64m", "-Xmx256m", classPath()}));
}

TEST_F(JvmOptions, RootArgumentIsMatchedExactly) {
    EXPECT_EQ(mainArgs({"-root", "D:\\data"}), (Strings{"-root", "D:\\data"}));
    EXPECT_EQ(mainArgs({"-ROOT", "D:\\data"}), (Strings{"-ROOT", "D:\\data", "-root", product.path()}));
}

TEST_F(JvmOptions, WorkDirArgument) {
    std::string a = "WRKDIR=C:\\work", b = "wrkdir=D:\\other", bare = "wrkdir=", other = "-Dwrkdir=x";
    std::string one = "wrkdir=w";
    char* argv[] = {&other[0], &bare[0], &a[0], &b[0]};
    EXPECT_EQ(findWorkDir(4, argv), argv[2] + 7);   // points into the argument itself
    EXPECT_STREQ(findWorkDir(4, argv), "C:\\work");
    EXPECT_STREQ(findWorkDir(1, argv + 3), "D:\\other");
    EXPECT_EQ(findWorkDir(2, argv), nullptr);
    char* shortest[] = {&bare[0], &one[0]};   // seven characters are not enough; eight are
    EXPECT_STREQ(findWorkDir(2, shortest), "w");
    EXPECT_EQ(findWorkDir(0, nullptr), nullptr);
    EXPECT_EQ(mainArgs({"WRKDIR=C:\\work"}), (Strings{"WRKDIR=C:\\work", "-root", product.path()}));
}

TEST_F(JvmOptions, ClassPathTextByteForByte) {
    cstring option;
    ASSERT_TRUE(buildClassPath(option, "C:\\Program Files\\QZV\\halvorin\\halvorin64.exe"));
    EXPECT_STREQ(option.c_str(),
                 "-Djava.class.path=C:\\Program Files\\QZV\\halvorin;"
                 "C:\\Program Files\\QZV\\halvorin/lib/scm.jar;C:\\Program Files\\QZV\\halvorin/lib/halvorin.jar;"
                 "C:\\Program Files\\QZV\\halvorin/lib/ifxjdbc.jar;C:\\Program Files\\QZV\\halvorin/lib/hsqldb.jar;"
                 "C:\\Program Files\\QZV\\halvorin/lib/cryptix.jar;C:\\Program Files\\QZV\\halvorin/lib/mail.jar;"
                 "C:\\Program Files\\QZV\\halvorin/lib/activation.jar;C:\\Program Files\\QZV\\halvorin/lib/jta.jar;"
                 "C:\\Program Files\\QZV\\halvorin/lib/derby.jar;");

    // This program's own path, as the service reads it.
    ASSERT_TRUE(buildClassPath(option));
    std::string folder = GetModuleFolder();
    EXPECT_EQ(std::string(option.c_str()), classPathOf(folder.substr(0, folder.size() - 1)));
    cstring productDir;
    ASSERT_TRUE(getProductDir(productDir));
    EXPECT_EQ(std::string(productDir.c_str()), folder.substr(0, folder.rfind('\\', folder.size() - 2)));
}

TEST_F(JvmOptions, ModulePathWithoutFolderOrTooLong) {
    cstring option("stale"), folder("stale");
    EXPECT_FALSE(buildClassPath(option, "halvorin64.exe"));
    EXPECT_STREQ(option.c_str(), "");
    EXPECT_FALSE(getProductDir(folder, "halvorin64.exe"));
    EXPECT_STREQ(folder.c_str(), "");
    EXPECT_EQ(mainArgs({"x"}, "halvorin64.exe"), Strings{"x"});
    EXPECT_EQ(records(), (Strings{"Cannot get path of service executable\n",
                                  "EVENTLOG:> Cannot get path of service executable\n",
                                  "EVENTLOG:> Cannot get path of service executable\n"}));

    // Longer than the 512 bytes the module path is read into: a read failure.
    std::string tooLong = "C:\\" + std::string(520, 'p') + "\\halvorin64.exe";
    LogWatch second;
    EXPECT_FALSE(buildClassPath(option, tooLong.c_str()));
    EXPECT_FALSE(getProductDir(folder, tooLong.c_str()));
    Strings all = LogRecords(second.NewText());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[0].rfind("Cannot get path of service executable: OS Error 122: ", 0), 0u) << all[0];
    EXPECT_EQ(all[1], "EVENTLOG:> " + all[0]);
    EXPECT_EQ(all[2].rfind("Could not get path of service executable: OS Error 122: ", 0), 0u) << all[2];
    EXPECT_EQ(all[3], "EVENTLOG:> " + all[2]);
}

TEST_F(JvmOptions, SplitParameterString) {
    DWORD count = 99;
    EXPECT_EQ(splitParameterString(&count, ""), nullptr);
    EXPECT_EQ(count, 0u);
    count = 99;
    EXPECT_EQ(splitParameterString(&count, nullptr), nullptr);
    EXPECT_EQ(count, 0u);
    EXPECT_EQ(splitParameterString(&count, "\t\t\t"), nullptr);
    EXPECT_EQ(count, 0u);

    char** list = splitParameterString(&count, "\t\t-Dx=1\t\t\tserver arg\twrkdir=C:\\w\t");
    EXPECT_EQ(listOf(list, count), (Strings{"-Dx=1", "server arg", "wrkdir=C:\\w"}));
    EXPECT_EQ(list[count], nullptr);
    list = splitParameterString(&count, "one");
    EXPECT_EQ(listOf(list, count), Strings{"one"});
}

TEST_F(JvmOptions, WorkingDirectory) {
    ProcessStateGuard guard;
    std::string work = product.path() + "\\work";
    CreateDirectoryA(work.c_str(), nullptr);
    setWorkingDirectory(work.c_str(), modulePath().c_str());
    EXPECT_EQ(currentFolder(), work);

    setWorkingDirectory(nullptr, modulePath().c_str());   // the product's "halvorin" folder
    EXPECT_EQ(currentFolder(), programDir());
    EXPECT_EQ(records(), Strings{});

    std::string missing = product.path() + "\\missing";
    std::string other = product.path() + "\\other";   // a product folder without "halvorin"
    setWorkingDirectory(missing.c_str(), modulePath().c_str());
    setWorkingDirectory(nullptr, (other + "\\bin\\halvorin64.exe").c_str());
    setWorkingDirectory(nullptr, (other + "\\bin\\\\\\halvorin64.exe").c_str());
    EXPECT_EQ(currentFolder(), programDir());   // failures leave it where it was
    Strings all = records();
    ASSERT_EQ(all.size(), 6u);
    std::string first = "Unable to change working directory to '" + missing +
                        "' set in registry (Halvorin will proceed anyway): OS Error ";
    std::string second = "Unable to change working directory to '" + other +
                         "\\halvorin' (Halvorin will proceed anyway): OS Error ";
    EXPECT_EQ(all[0].rfind(first, 0), 0u) << all[0];
    EXPECT_EQ(all[1], "EVENTLOG:> " + all[0]);
    EXPECT_EQ(all[2].rfind(second, 0), 0u) << all[2];
    EXPECT_EQ(all[3], "EVENTLOG:> " + all[2]);
    EXPECT_EQ(all[4], all[2]);   // doubled separators before the file name change nothing
}

// The folder two levels above jvm.dll goes first when it is "bin", in any letter case.
TEST_F(JvmOptions, JavaBinFolderGoesFirstInPath) {
    ProcessStateGuard guard;
    std::string jre = product.path() + "\\jre";
    for (const char* bin : {"bin", "BIN"}) {
        SCOPED_TRACE(bin);
        std::string binDir = jre + "\\" + bin;
        SetEnvironmentVariableA("PATH", "C:\\windows\\system32;C:\\windows");
        LogWatch watch;
        prependJavaBinToPath((binDir + "\\client\\jvm.dll").c_str());
        std::string expected = binDir + ";C:\\windows\\system32;C:\\windows";
        EXPECT_EQ(envPath(), expected);
        EXPECT_EQ(dllDirectory(), binDir);
        EXPECT_EQ(LogRecords(watch.NewText()),
                  Strings{"prepending Java BIN dir " + binDir + " to PATH. Result:\n" + expected + "\n"});
    }
}

TEST_F(JvmOptions, JreBinJvmNeedsJavaBesideIt) {
    ProcessStateGuard guard;
    std::string jre = product.path() + "\\jdk\\jre";
    CreateDirectoryA((product.path() + "\\jdk").c_str(), nullptr);
    CreateDirectoryA(jre.c_str(), nullptr);
    std::string vm = jre + "\\bin\\jvm.dll";
    SetEnvironmentVariableA("PATH", "C:\\windows");
    prependJavaBinToPath(vm.c_str());
    EXPECT_EQ(envPath(), "C:\\windows");
    EXPECT_EQ(dllDirectory(), "");
    EXPECT_EQ(records(), Strings{});

    for (const char* name : {"java.dll", "javaw.exe", "java.exe"}) {
        std::string file = jre + "\\" + name;
        ASSERT_TRUE(WriteFileText(file, "x"));
        SetEnvironmentVariableA("PATH", "C:\\windows");
        prependJavaBinToPath(vm.c_str());
        EXPECT_EQ(envPath(), jre + ";C:\\windows") << name;
        EXPECT_EQ(dllDirectory(), jre) << name;
        DeleteFileA(file.c_str());
    }
}

TEST_F(JvmOptions, UndefinedPathIsLeftAlone) {
    ProcessStateGuard guard;
    SetEnvironmentVariableA("PATH", nullptr);
    prependJavaBinToPath((product.path() + "\\jre\\bin\\server\\jvm.dll").c_str());
    EXPECT_EQ(envPath(), "<undefined>");
    EXPECT_EQ(dllDirectory(), "");
    SetEnvironmentVariableA("PATH", "");
    prependJavaBinToPath((product.path() + "\\jre\\bin\\server\\jvm.dll").c_str());
    EXPECT_EQ(envPath(), "<undefined>");   // an empty value reads as none
    EXPECT_EQ(records(), Strings{});
}

TEST_F(JvmOptions, BinaryGarbageConfiguration) {
    std::string garbage(65536, '\0');
    unsigned seed = 12345;
    for (char& c : garbage) {
        seed = seed * 1103515245 + 12345;
        c = char(seed >> 16);
    }
    writeConfig(garbage);
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx256m", classPath()}));
    EXPECT_EQ(records().back(), "parameter -Xmx256m passed to JVM (as implicit default)\n");
}

TEST_F(JvmOptions, OutOfRangeHeapSizesAreIgnored) {
    writeConfig("<n>MEMORY</n><v>99999999999</v>\nMEMORY=99999999999\nMEMORY=-5\n");
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx256m", classPath()}));
    EXPECT_EQ(records(), (Strings{"ini-config: \"MEMORY\" = \"99999999999\"\n", "ini-config: \"MEMORY\" = \"-5\"\n",
                                  "parameter -Xmx256m passed to JVM (as implicit default)\n"}));

    writeConfig("<n>MEMORY</n><v>  +2147483647</v>");
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx2147483647m", classPath()}));
    writeConfig("<n>MEMORY</n><v>2147483648</v>\nMEMORY=64k");   // digits up to the first other character
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx64m", classPath()}));
    writeConfig(std::string("\0\0binary\0<n>MEMORY</n><v>300", 28));   // found behind NUL bytes too
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx300m", classPath()}));
}

TEST_F(JvmOptions, TenThousandMemoryLinesKeepTheListInItsRoom) {
    std::string config;
    for (int i = 1; i <= 10000; i++) config += "MEMORY=" + std::to_string(i) + "\n";
    writeConfig(config);
    EXPECT_EQ(vmOptions({}), (Strings{"-Xmx1m", "-Xmx2m", "-Xmx3m", "-Xmx4m", "-Xmx5m", classPath()}));
    Strings all = records();
    ASSERT_EQ(all.size(), 10000u + 5u + 1u);
    EXPECT_EQ(all[9], "parameter -Xmx5m passed to JVM as per config file " + configPath() + " (INI)\n");
    EXPECT_EQ(all[10], "ini-config: \"MEMORY\" = \"6\"\n");
    EXPECT_EQ(all.back(), "ini-config: 9995 more MEMORY line(s) ignored (no room for more VM options)\n");

    // Start options take their places first; the launch's limit of 20 caps the list.
    Strings args;
    for (int i = 0; i < 17; i++) args.push_back("-Dp" + std::to_string(i));
    Strings options = vmOptions(args);
    ASSERT_EQ(options.size(), 20u);
    EXPECT_EQ(options[17], "-Xmx1m");
    EXPECT_EQ(options[18], "-Xmx2m");
    EXPECT_EQ(options[19], classPath());

    // With the class path given there is one more place for the file.
    options = vmOptions({"-Djava.class.path=x.jar", "-Da"});
    EXPECT_EQ(options, (Strings{"-Djava.class.path=x.jar", "-Da", "-Xmx1m", "-Xmx2m", "-Xmx3m", "-Xmx4m", "-Xmx5m",
                                "-Xmx6m"}));
}
