// JVM discovery in a product folder laid out per test (program folder "halvorin" and its
// parent), with real Java registry keys and the build's own 32-bit and 64-bit programs
// as jvm.dll stand-ins: the spec files, the registry roots, the bitness rules, the PE
// machine test on crafted files, and what each path logs and reports, in order.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jvm_host.h"
#include "service_host.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kJavaSoftKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kIbmKey[] = "SOFTWARE\\IBM\\Java2 Runtime Environment";
const char kNoCustomVM[] = "custom VM was not defined - discovering in registry...\n";

using Strings = std::vector<std::string>;

std::string text(const cstring& s) { return std::string(s.c_str(), s.length()); }

Strings operator+(Strings first, const Strings& then) {
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

std::string explicitVM(int bits, const std::string& specPath, const std::string& vm) {
    return "Java (" + std::to_string(bits) + "-bit) is set explicitly in config file " + specPath + ":\n\t" + vm + "\n";
}

void clearJavaRegistry() {
    DeleteRegTree(HKEY_LOCAL_MACHINE, kJavaSoftKey);
    DeleteRegTree(HKEY_LOCAL_MACHINE, kIbmKey);
    // The vendor keys go only when nothing else lives under them.
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft");
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\IBM");
}

void makeFolders(const std::string& path) {
    for (size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1))
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    CreateDirectoryA(path.c_str(), nullptr);
}

// A jvm.dll stand-in: the build's 32-bit or 64-bit halvorin, copied to dir\relative.
std::string putRuntime(const std::string& dir, const std::string& relative, bool is64) {
    std::string path = dir + "\\" + relative;
    makeFolders(path.substr(0, path.rfind('\\')));
    EXPECT_TRUE(CopyFileTo(DistFile(is64 ? "halvorin64.exe" : "halvorin.exe"), path)) << path;
    return path;
}

void registerRuntime(const std::string& productKey, const std::string& runtimeLib, bool microVersion = true,
                     const std::string& javaHome = "") {
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, productKey, "CurrentVersion", "1.8"));
    std::string versionKey = productKey + "\\1.8";
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, versionKey, "RuntimeLib", runtimeLib));
    if (microVersion) {
        ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, versionKey, "MicroVersion", "0"));
    }
    if (!javaHome.empty()) {
        ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, versionKey, "JavaHome", javaHome));
    }
}

// A file that starts like a PE image: "MZ", e_lfanew at 60, and `header` at e_lfanew.
std::string craftedImage(size_t size, unsigned lfanew, const std::string& header = "") {
    std::string bytes(size, '\0');
    if (size >= 2) bytes[0] = 'M', bytes[1] = 'Z';
    for (int i = 0; i < 4 && 60 + i < int(size); i++) bytes[60 + i] = char((lfanew >> (8 * i)) & 0xFF);
    for (size_t i = 0; i < header.size() && lfanew + i < size; i++) bytes[lfanew + i] = header[i];
    return bytes;
}

std::string peHeader(unsigned machine) {
    return std::string("PE\0\0", 4) + char(machine & 0xFF) + char(machine >> 8);
}

// A whole x64 header right after the 68 bytes first read: a reader that goes on after a
// refused or failed seek finds it there.
std::string withBait(std::string bytes) {
    return bytes.replace(68, 6, peHeader(0x8664));
}

class JvmDiscovery : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(FileExists(DistFile("halvorin.exe")));
        ASSERT_TRUE(FileExists(DistFile("halvorin64.exe")));
        clearJavaRegistry();
        makeFolders(product.path() + "\\halvorin");
    }
    void TearDown() override { clearJavaRegistry(); }

    std::string programFolder() const { return product.path() + "\\halvorin\\"; }
    std::string productSpec() const { return product.path() + "\\qzv.vm"; }
    std::string serviceSpec() const { return programFolder() + "halvorin.vm"; }
    std::string jvmSpec() const { return programFolder() + "jvm"; }
    // The report of halvorin.vm naming something that is neither a jvm.dll nor a Java folder.
    std::string undeterminedJavaDir(const std::string& content) const {
        return "EVENTLOG:> cannot determine location of jvm.dll from specification in file " + serviceSpec() + ":\n" +
               content + "\nThe file should contain either the name of JRE directory or the ful path of jvm.dll\n";
    }

    bool discover(bool service64) {
        vmPath.clear();
        specFile.clear();
        return discoverJVM(vmPath, specFile, programFolder().c_str(), service64);
    }
    Strings records() const { return LogRecords(watch.NewText()); }

    // What discovery logs when neither service spec file exists.
    Strings noSpecFiles() const {
        return {"JVM spec file " + serviceSpec() + " does not exist\n",
                "JVM spec file " + jvmSpec() + " does not exist\n", kNoCustomVM};
    }
    // What a service spec file naming a usable VM logs, up to its verdict.
    static Strings goodSpecFile(const std::string& specPath, const std::string& content, const std::string& vm) {
        return {"JVM spec file " + specPath + " exists!\n",
                "jvm defined in spec file '" + specPath + "': \"" + content + "\"\n",
                "VM configuration in file " + specPath + " is good (" + vm + ") - discovery successful\n"};
    }

    TempFolder product{"jvmdisc"};
    LogWatch watch;
    cstring vmPath, specFile;
};

}  // namespace

TEST(ImageMachine, RealImagesOfBothBuilds) {
    EXPECT_EQ(getImageMachine(DistFile("halvorin.exe").c_str()), 0x014C);
    EXPECT_EQ(getImageMachine(DistFile("halvorin64.exe").c_str()), 0x8664);
    EXPECT_TRUE(isValidVMImage(DistFile("halvorin.exe").c_str()));
    EXPECT_FALSE(is64BitImage(DistFile("halvorin.exe").c_str()));
    EXPECT_TRUE(isValidVMImage(DistFile("halvorin64.exe").c_str()));
    EXPECT_TRUE(is64BitImage(DistFile("halvorin64.exe").c_str()));
    EXPECT_TRUE(is64BitService());
}

TEST(ImageMachine, CraftedHeadersOfOtherMachines) {
    TempFolder folder("pe");
    WriteFileText(folder.file("ia64.dll"), craftedImage(70, 64, peHeader(0x0200)));
    EXPECT_EQ(getImageMachine(folder.file("ia64.dll").c_str()), 0x0200);
    EXPECT_TRUE(isValidVMImage(folder.file("ia64.dll").c_str()));
    EXPECT_TRUE(is64BitImage(folder.file("ia64.dll").c_str()));

    WriteFileText(folder.file("arm.dll"), craftedImage(70, 64, peHeader(0x01C4)));
    EXPECT_EQ(getImageMachine(folder.file("arm.dll").c_str()), 0x01C4);
    EXPECT_FALSE(isValidVMImage(folder.file("arm.dll").c_str()));
    EXPECT_FALSE(is64BitImage(folder.file("arm.dll").c_str()));

    // A header at the very end of the file is still whole.
    WriteFileText(folder.file("tail.dll"), craftedImage(200, 194, peHeader(0x8664)));
    EXPECT_EQ(getImageMachine(folder.file("tail.dll").c_str()), 0x8664);
}

// Each of these once could seek outside the file or read a header cut short.
TEST(ImageMachine, BadFilesGiveZero) {
    TempFolder folder("pe");
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"two bytes", "MZ"},
        {"63 bytes", craftedImage(63, 0)},
        {"64 bytes naming offset 64", craftedImage(64, 64)},
        {"offset past the end", withBait(craftedImage(200, 4096))},
        {"offset 0x7FFFFFFF", withBait(craftedImage(200, 0x7FFFFFFF))},
        {"negative offset", withBait(craftedImage(200, 0x80000000u))},
        {"offset -4", withBait(craftedImage(200, 0xFFFFFFFCu))},
        {"offset -200", withBait(craftedImage(200, 0xFFFFFF38u))},
        {"header cut short", craftedImage(130, 126, peHeader(0x8664))},
        {"offset zero", withBait(craftedImage(200, 0))},
        {"ZM", "ZM" + craftedImage(200, 64, peHeader(0x8664)).substr(2)},
        {"NE signature", craftedImage(200, 64, std::string("NE\0\0\x64\x86", 6))},
        {"text", std::string(4096, 'x')},
    };
    for (const Case& c : cases) {
        std::string path = folder.file("jvm.dll");
        ASSERT_TRUE(WriteFileText(path, c.bytes));
        EXPECT_EQ(getImageMachine(path.c_str()), 0) << c.name;
        EXPECT_FALSE(isValidVMImage(path.c_str())) << c.name;
        EXPECT_FALSE(is64BitImage(path.c_str())) << c.name;
    }
    EXPECT_EQ(getImageMachine(folder.file("missing.dll").c_str()), 0);
    EXPECT_EQ(getImageMachine(folder.path().c_str()), 0);   // a folder
}

TEST_F(JvmDiscovery, ScanJavaDirTakesTheFirstLocationInTableOrder) {
    std::string java = product.path() + "\\java";
    makeFolders(java + "\\bin\\server\\jvm.dll");   // a folder by that name never counts
    cstring found("untouched");
    EXPECT_FALSE(scanJavaDir(java.c_str(), found));
    EXPECT_EQ(text(found), "untouched");

    const char* locations[] = {"jre\\bin\\jvm.dll",     "jre\\bin\\client\\jvm.dll", "jre\\bin\\server\\jvm.dll",
                               "bin\\jvm.dll",          "bin\\client\\jvm.dll"};
    for (const char* relative : locations) {   // each one added outranks the ones before
        putRuntime(java, relative, true);
        ASSERT_TRUE(scanJavaDir(java.c_str(), found));
        EXPECT_EQ(text(found), java + "\\" + relative);
    }
}

TEST_F(JvmDiscovery, ProductSpecFileWinsOverEverything) {
    std::string vm = putRuntime(product.path(), "jdk\\bin\\server\\jvm.dll", true);
    std::string other = putRuntime(product.path(), "other\\bin\\server\\jvm.dll", true);
    ASSERT_TRUE(WriteFileText(productSpec(), " \t" + vm + " \r\n"));
    ASSERT_TRUE(WriteFileText(serviceSpec(), other));
    registerRuntime(kJavaSoftKey, other);

    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), vm);
    EXPECT_EQ(text(specFile), productSpec());
    EXPECT_EQ(records(), Strings{explicitVM(64, productSpec(), vm)});
}

TEST_F(JvmDiscovery, MissingProductVMFallsThroughToHalvorinVm) {
    std::string missing = product.path() + "\\gone\\bin\\server\\jvm.dll";
    std::string java = product.path() + "\\jre";
    std::string vm = putRuntime(java, "bin\\client\\jvm.dll", true);
    ASSERT_TRUE(WriteFileText(productSpec(), missing + "\n"));
    ASSERT_TRUE(WriteFileText(serviceSpec(), java));

    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), vm);
    EXPECT_EQ(text(specFile), serviceSpec());
    EXPECT_EQ(records(),
              Strings{"JVM spec file " + productSpec() + " exists, but VM it describesd (" + missing + ") does not\n"} +
                  goodSpecFile(serviceSpec(), java, vm) + Strings{explicitVM(64, serviceSpec(), vm)});
}

TEST_F(JvmDiscovery, HalvorinVmFolderWithTrailingBackslashIsProbed) {
    std::string java = product.path() + "\\jdk";
    putRuntime(java, "jre\\bin\\jvm.dll", true);
    std::string vm = putRuntime(java, "jre\\bin\\server\\jvm.dll", true);
    ASSERT_TRUE(WriteFileText(serviceSpec(), java + "\\/\\"));

    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), vm);
    EXPECT_EQ(records(), goodSpecFile(serviceSpec(), java + "\\/\\", vm) + Strings{explicitVM(64, serviceSpec(), vm)});
}

TEST_F(JvmDiscovery, JvmSpecFileServesWhenHalvorinVmIsAbsent) {
    std::string vm = putRuntime(product.path(), "rt\\bin\\jvm.dll", true);
    ASSERT_TRUE(WriteFileText(jvmSpec(), vm));
    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(specFile), jvmSpec());
    EXPECT_EQ(records(), Strings{"JVM spec file " + serviceSpec() + " does not exist\n"} +
                             goodSpecFile(jvmSpec(), vm, vm) + Strings{explicitVM(64, jvmSpec(), vm)});
}

TEST_F(JvmDiscovery, HalvorinVmEndingInALineBreakNamesNothing) {
    std::string vm = putRuntime(product.path(), "rt\\bin\\server\\jvm.dll", true);
    ASSERT_TRUE(WriteFileText(serviceSpec(), vm + "\r\n"));
    EXPECT_FALSE(discover(true));
    EXPECT_EQ(text(vmPath), "");
    Strings expected = {
        "JVM spec file " + serviceSpec() + " exists!\n",
        "jvm defined in spec file '" + serviceSpec() + "': \"" + vm + "\r\n\"\n",
        undeterminedJavaDir(vm + "\r\n"),
        kNoCustomVM,
    };
    EXPECT_EQ(records(), expected);
}

TEST_F(JvmDiscovery, EmptyHalvorinVmIsLoggedReportedAndTheRegistryFollows) {
    std::string vm = putRuntime(product.path(), "jre\\bin\\server\\jvm.dll", true);
    registerRuntime(kJavaSoftKey, vm);
    ASSERT_TRUE(WriteFileText(serviceSpec(), ""));

    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), vm);
    EXPECT_EQ(text(specFile), "");
    std::string empty =
        "Java VM spec file '" + serviceSpec() + "' was discovered, however it does not contain JVM file definition\n";
    Strings expected = {
        "JVM spec file " + serviceSpec() + " exists!\n", empty, "EVENTLOG:> " + empty + "\n", kNoCustomVM,
        "Java (64-bit) discovered from registry:\n\t   " + vm + "\n",
    };
    EXPECT_EQ(records(), expected);
}

TEST_F(JvmDiscovery, HalvorinVmNamingJvmDllInCapitals) {
    std::string vm = putRuntime(product.path(), "rt\\bin\\server\\jvm.dll", true);
    std::string upper = product.path() + "\\rt\\BIN\\SERVER\\JVM.DLL";
    ASSERT_TRUE(WriteFileText(serviceSpec(), upper));
    ASSERT_TRUE(discover(true));   // a library path; the file system ignores case
    EXPECT_EQ(text(vmPath), upper);

    std::string missing = product.path() + "\\none\\JVM.DLL";
    ASSERT_TRUE(WriteFileText(serviceSpec(), missing));
    LogWatch second;
    EXPECT_FALSE(discover(true));
    Strings expected = {
        "JVM spec file " + serviceSpec() + " exists!\n",
        "jvm defined in spec file '" + serviceSpec() + "': \"" + missing + "\"\n",
        "EVENTLOG:> Java VM file '" + missing + "' specified in '" + serviceSpec() +
            "' does not exist.\nThe file should contain either the name of JRE directory or the full path of jvm.dll\n",
        "VM configuration in file " + serviceSpec() + " is bad (" + missing + ") - discovery unsuccessful\n",
        kNoCustomVM,
    };
    EXPECT_EQ(LogRecords(second.NewText()), expected);
}

TEST_F(JvmDiscovery, BothSpecFilesAbsent) {
    EXPECT_FALSE(discover(true));
    EXPECT_EQ(records(), noSpecFiles());
}

// The 32-bit build cannot run here; its rules are those of discoverJVM with a 32-bit
// service bitness.
TEST_F(JvmDiscovery, ThirtyTwoBitServiceRejectsA64BitCustomVM) {
    std::string vm64 = putRuntime(product.path(), "jdk64\\bin\\server\\jvm.dll", true);
    std::string vm32 = putRuntime(product.path(), "jre32\\bin\\client\\jvm.dll", false);
    registerRuntime(kJavaSoftKey, vm32);
    ASSERT_TRUE(WriteFileText(serviceSpec(), vm64));

    ASSERT_TRUE(discover(false));
    EXPECT_EQ(text(vmPath), vm32);
    EXPECT_EQ(text(specFile), "");
    Strings expected = goodSpecFile(serviceSpec(), vm64, vm64) + Strings{
        explicitVM(64, serviceSpec(), vm64),
        "EVENTLOG:> 32-bit Halvorin service cannot use 64-bit Java (" + vm64 + ") specified in config file " +
            serviceSpec() +
            ".If you want to use this Java with Halvorin, please re-install Halvorin as 64-bit service "
            "(halvorin64.exe /x) or change configuration file.Halvorin will attempt to discover location of 32-bit "
            "Java in Windows registry.\n",
        "Java (32-bit) discovered from registry:\n\t   " + vm32 + "\n",
    };
    EXPECT_EQ(records(), expected);

    ASSERT_TRUE(WriteFileText(serviceSpec(), vm32));   // a 32-bit custom VM is taken as it is
    ASSERT_TRUE(discover(false));
    EXPECT_EQ(text(vmPath), vm32);
    EXPECT_EQ(text(specFile), serviceSpec());
}

TEST_F(JvmDiscovery, SixtyFourBitServiceRejectsA32BitCustomVM) {
    std::string vm32 = putRuntime(product.path(), "jre32\\bin\\client\\jvm.dll", false);
    ASSERT_TRUE(WriteFileText(productSpec(), vm32));
    EXPECT_FALSE(discover(true));   // nothing in the registry
    Strings expected = {
        explicitVM(32, productSpec(), vm32),
        "EVENTLOG:> 64-bit Halvorin service cannot use 32-bit Java (" + vm32 + ") specified in config file " +
            productSpec() +
            ".If you want to use this Java with Halvorin, please re-install Halvorin as 32-bit service "
            "(halvorin.exe /x) or change configuration file.Halvorin will attempt to discover location of 64-bit "
            "Java in Windows registry.\n",
    };
    EXPECT_EQ(records(), expected);

    std::string vm64 = putRuntime(product.path(), "jdk64\\bin\\server\\jvm.dll", true);
    ASSERT_TRUE(WriteFileText(productSpec(), vm64));
    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), vm64);
}

TEST_F(JvmDiscovery, JavaSoftRootFirstThenIbm) {
    std::string javasoft = putRuntime(product.path(), "sun\\bin\\server\\jvm.dll", true);
    std::string ibm = putRuntime(product.path(), "ibm\\jre\\bin\\jvm.dll", true);
    registerRuntime(kJavaSoftKey, javasoft);
    registerRuntime(kIbmKey, ibm);
    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), javasoft);

    // A RuntimeLib that is not a PE image skips its root without a word.
    ASSERT_TRUE(WriteFileText(javasoft, "not an image"));
    LogWatch second;
    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), ibm);
    EXPECT_EQ(LogRecords(second.NewText()),
              noSpecFiles() + Strings{"Java (64-bit) discovered from registry:\n\t   " + ibm + "\n"});

    ASSERT_TRUE(WriteFileText(ibm, craftedImage(70, 64, peHeader(0x01C4))));   // unknown machine
    LogWatch third;
    EXPECT_FALSE(discover(true));
    EXPECT_EQ(LogRecords(third.NewText()).back(), kNoCustomVM);
}

TEST_F(JvmDiscovery, RemovedRuntimeLibWithARuntimeUnderJavaHome) {
    std::string home = product.path() + "\\jre8";
    std::string removed = home + "\\bin\\server\\jvm.dll";
    std::string found = putRuntime(home, "bin\\client\\jvm.dll", false);
    registerRuntime(kJavaSoftKey, removed, true, home);
    std::string versionKey = std::string(kJavaSoftKey) + "\\1.8";

    for (bool service64 : {true, false}) {
        LogWatch pass;
        ASSERT_TRUE(discover(service64));
        EXPECT_EQ(text(vmPath), found);
        Strings all = LogRecords(pass.NewText());
        ASSERT_EQ(all.size(), 5u);
        EXPECT_EQ(all[3], "EVENTLOG:> WARNING: Registry value " + std::string(service64 ? "HKLM(64)" : "HKLM(32)") +
                              ":" + versionKey + ":RuntimeLib points to non-existing file:\n\t  " + removed +
                              "\n\t  Halvorin discovered another VM file here by scanning Java dir " + home +
                              ":\n\t  " + found + "\n");
        EXPECT_EQ(all[4], "Java (32-bit) discovered from registry:\n\t   " + found + "\n");
    }
}

TEST_F(JvmDiscovery, RegistryWarningsInOrder) {
    std::string ibm = putRuntime(product.path(), "ibm\\bin\\jvm.dll", true);
    std::string javaSoftVersion = std::string(kJavaSoftKey) + "\\1.8";
    std::string ibmVersion = std::string(kIbmKey) + "\\1.8";
    std::string empty = product.path() + "\\emptyhome";
    makeFolders(empty);
    std::string removed = product.path() + "\\gone\\jvm.dll";

    // JavaSoft without RuntimeLib; IBM without MicroVersion, still used.
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kJavaSoftKey, "CurrentVersion", "1.8"));
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, javaSoftVersion, "MicroVersion", "0"));
    registerRuntime(kIbmKey, ibm, false);
    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), ibm);
    Strings expected = noSpecFiles() + Strings{
        "EVENTLOG:> WARNING: Invalid Java registry. Value \"RuntimeLib\" under \"" + javaSoftVersion +
            "\" is missing (VM is unusable)\n",
        "EVENTLOG:> WARNING: Invalid Java registry. Value \"MicroVersion\" under \"" + ibmVersion +
            "\" is missing (will attempt to use this VM anyway)\n",
        "Java (64-bit) discovered from registry:\n\t   " + ibm + "\n",
    };
    EXPECT_EQ(records(), expected);

    // Removed RuntimeLib: no JavaHome (an empty one counts as none), then a JavaHome
    // without a runtime in it.
    registerRuntime(kJavaSoftKey, removed, true, "");
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, javaSoftVersion, "JavaHome", ""));
    registerRuntime(kIbmKey, removed, true, empty);
    LogWatch second;
    EXPECT_FALSE(discover(false));
    expected = noSpecFiles() + Strings{
        "EVENTLOG:> WARNING: Registry value HKLM(32):" + javaSoftVersion + ":RuntimeLib points to invalid file: " +
            removed + " and there's no JavaHome. VM is unusable.\n",
        "EVENTLOG:> WARNING: Registry value HKLM(32):" + ibmVersion + ":RuntimeLib points to invalid file:\n\t  " +
            removed + ". Also, file jvm.dll could not be discovered in alternative locations under Java Home (" +
            empty + "). VM is unusable.\n",
    };
    EXPECT_EQ(LogRecords(second.NewText()), expected);
}

TEST_F(JvmDiscovery, RegistryValueTypes) {
    std::string vm = putRuntime(product.path(), "rt\\bin\\server\\jvm.dll", true);
    std::string versionKey = std::string(kJavaSoftKey) + "\\1.8";
    registerRuntime(kJavaSoftKey, "unused");
    cstring value("stale");

    SetEnvironmentVariableA("HVT_JAVA_ROOT", product.path().c_str());
    std::string expandable = "%HVT_JAVA_ROOT%\\rt\\bin\\server\\jvm.dll";
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, versionKey, "RuntimeLib", expandable, REG_EXPAND_SZ));
    EXPECT_TRUE(readRegistryText(HKEY_LOCAL_MACHINE, versionKey.c_str(), "RuntimeLib", value));
    EXPECT_EQ(text(value), vm);
    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), vm);

    std::string multi = vm + std::string("\0second\0\0", 9);
    ASSERT_TRUE(WriteRegValue(HKEY_LOCAL_MACHINE, versionKey, "RuntimeLib", REG_MULTI_SZ, multi.data(),
                              DWORD(multi.size())));
    EXPECT_TRUE(readRegistryText(HKEY_LOCAL_MACHINE, versionKey.c_str(), "RuntimeLib", value));
    EXPECT_EQ(text(value), vm);

    // Stored without its terminator.
    ASSERT_TRUE(WriteRegValue(HKEY_LOCAL_MACHINE, versionKey, "Bare", REG_SZ, "1.8.0", 5));
    EXPECT_TRUE(readRegistryText(HKEY_LOCAL_MACHINE, versionKey.c_str(), "Bare", value));
    EXPECT_EQ(text(value), "1.8.0");

    ASSERT_TRUE(WriteRegDword(HKEY_LOCAL_MACHINE, kJavaSoftKey, "CurrentVersion", 8));
    EXPECT_FALSE(readRegistryText(HKEY_LOCAL_MACHINE, kJavaSoftKey, "CurrentVersion", value));
    EXPECT_EQ(text(value), "");
    LogWatch second;
    EXPECT_FALSE(discover(true));   // a number is no version: the root is skipped silently
    EXPECT_EQ(LogRecords(second.NewText()).back(), kNoCustomVM);

    ASSERT_TRUE(WriteRegValue(HKEY_LOCAL_MACHINE, versionKey, "Binary", REG_BINARY, "1.8", 3));
    EXPECT_FALSE(readRegistryText(HKEY_LOCAL_MACHINE, versionKey.c_str(), "Binary", value));
    EXPECT_FALSE(readRegistryText(HKEY_LOCAL_MACHINE, versionKey.c_str(), "Missing", value));
    EXPECT_FALSE(readRegistryText(HKEY_LOCAL_MACHINE, (versionKey + "\\none").c_str(), "RuntimeLib", value));

    std::string big(300000, 'v');
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, versionKey, "Big", big));
    EXPECT_TRUE(readRegistryText(HKEY_LOCAL_MACHINE, versionKey.c_str(), "Big", value));
    EXPECT_EQ(text(value), big);
    SetEnvironmentVariableA("HVT_JAVA_ROOT", nullptr);
}

TEST_F(JvmDiscovery, ShortFormsLookBesideThisProgram) {
    std::string folder = GetModuleFolder();
    ASSERT_FALSE(FileExists(folder + "halvorin.vm"));
    cstring vm, specPath;
    EXPECT_FALSE(discoverJVM(vm, specPath));
    Strings expected = {
        "JVM spec file " + folder + "halvorin.vm does not exist\n",
        "JVM spec file " + folder + "jvm does not exist\n",
        kNoCustomVM,
    };
    EXPECT_EQ(records(), expected);
}

TEST_F(JvmDiscovery, HugeSpecFiles) {
    std::string huge(1 << 20, 'A');
    ASSERT_TRUE(WriteFileText(productSpec(), huge));
    ASSERT_TRUE(WriteFileText(serviceSpec(), huge));
    EXPECT_FALSE(discover(true));
    // Nothing is cut: each text carries the whole megabyte.
    Strings expected = {
        "JVM spec file " + productSpec() + " exists, but VM it describesd (" + huge + ") does not\n",
        "JVM spec file " + serviceSpec() + " exists!\n",
        "jvm defined in spec file '" + serviceSpec() + "': \"" + huge + "\"\n",
        undeterminedJavaDir(huge),
        kNoCustomVM,
    };
    EXPECT_EQ(records(), expected);

    std::string hugeDll = huge + ".dll";
    ASSERT_TRUE(WriteFileText(serviceSpec(), hugeDll));
    LogWatch second;
    EXPECT_FALSE(discover(true));
    Strings all = LogRecords(second.NewText());
    ASSERT_EQ(all.size(), 6u);
    EXPECT_EQ(all[3], "EVENTLOG:> Java VM file '" + hugeDll + "' specified in '" + serviceSpec() +
                          "' does not exist.\nThe file should contain either the name of JRE directory or the full "
                          "path of jvm.dll\n");
    EXPECT_EQ(all[4],
              "VM configuration in file " + serviceSpec() + " is bad (" + hugeDll + ") - discovery unsuccessful\n");
}

// A path ends at its first NUL byte wherever it is used, so the spec file's text ends there too.
TEST_F(JvmDiscovery, SpecFilesWithNulBytes) {
    std::string vm = putRuntime(product.path(), "rt\\bin\\server\\jvm.dll", true);
    ASSERT_TRUE(WriteFileText(productSpec(), vm + std::string("\0\0garbage", 9)));
    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), vm);

    DeleteFileA(productSpec().c_str());
    ASSERT_TRUE(WriteFileText(serviceSpec(), std::string("\0", 1) + vm));
    LogWatch second;
    EXPECT_FALSE(discover(true));
    std::string empty =
        "Java VM spec file '" + serviceSpec() + "' was discovered, however it does not contain JVM file definition\n";
    EXPECT_EQ(LogRecords(second.NewText()), (Strings{"JVM spec file " + serviceSpec() + " exists!\n", empty,
                                                     "EVENTLOG:> " + empty + "\n", kNoCustomVM}));

    // An existing file before the NUL and ".dll" after it: judged by what precedes the NUL.
    std::string notVm = DistFile("halvorin64.exe");
    ASSERT_TRUE(WriteFileText(serviceSpec(), notVm + std::string("\0x.dll", 6)));
    LogWatch third;
    EXPECT_FALSE(discover(true));
    Strings all = LogRecords(third.NewText());
    ASSERT_EQ(all.size(), 4u);
    EXPECT_EQ(all[1], "jvm defined in spec file '" + serviceSpec() + "': \"" + notVm + "\"\n");
    EXPECT_EQ(all[2], undeterminedJavaDir(notVm));
}

TEST_F(JvmDiscovery, SpecFilesNamingPathsLongerThanMaxPath) {
    std::string longDll = product.path() + "\\" + std::string(300, 'd') + "\\jvm.dll";
    std::string longDir = product.path() + "\\" + std::string(300, 'j');
    ASSERT_TRUE(WriteFileText(productSpec(), longDll));
    ASSERT_TRUE(WriteFileText(serviceSpec(), longDll));
    EXPECT_FALSE(discover(true));
    Strings expected = {
        "JVM spec file " + productSpec() + " exists, but VM it describesd (" + longDll + ") does not\n",
        "JVM spec file " + serviceSpec() + " exists!\n",
        "jvm defined in spec file '" + serviceSpec() + "': \"" + longDll + "\"\n",
        "EVENTLOG:> Java VM file '" + longDll + "' specified in '" + serviceSpec() +
            "' does not exist.\nThe file should contain either the name of JRE directory or the full path of jvm.dll\n",
        "VM configuration in file " + serviceSpec() + " is bad (" + longDll + ") - discovery unsuccessful\n",
        kNoCustomVM,
    };
    EXPECT_EQ(records(), expected);

    ASSERT_TRUE(WriteFileText(serviceSpec(), longDir));
    LogWatch second;
    EXPECT_FALSE(discover(true));
    Strings all = LogRecords(second.NewText());
    ASSERT_EQ(all.size(), 5u);
    EXPECT_EQ(all[3], undeterminedJavaDir(longDir));
}
