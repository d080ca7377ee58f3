// JVM discovery in a product folder laid out per test (program folder "halvorin" and its
// parent), with real Java registry keys and the build's own 32-bit and 64-bit programs
// as jvm.dll stand-ins: the VM files, the registry roots, the newer runtimes' keys and
// JAVA_HOME, the bitness rules, the PE machine test on crafted files, and what each path
// logs and reports, in order.
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
    for (const char* key : {"SOFTWARE\\JavaSoft\\JDK", "SOFTWARE\\JavaSoft\\JRE", "SOFTWARE\\Eclipse Adoptium",
                            "SOFTWARE\\Eclipse Foundation", "SOFTWARE\\AdoptOpenJDK"})
        DeleteRegTree(HKEY_LOCAL_MACHINE, key);
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
        SetEnvironmentVariableA("JAVA_HOME", nullptr);
        makeFolders(product.path() + "\\halvorin");
    }
    void TearDown() override {
        clearJavaRegistry();
        SetEnvironmentVariableA("JAVA_HOME", nullptr);
    }

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

    // What discovery logs when neither of the service's VM files exists.
    Strings noSpecFiles() const {
        return {"JVM spec file " + serviceSpec() + " does not exist\n",
                "JVM spec file " + jvmSpec() + " does not exist\n", kNoCustomVM};
    }
    // What a service VM file naming a usable VM logs, up to its verdict.
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

// A path ends at its first NUL byte wherever it is used, so the VM file's text ends there too.
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

// --- The newer runtimes' sources, tried when the sources above find no VM

TEST(JavaVersions, ComparedNumberByNumber) {
    struct Case {
        const char* first;
        const char* second;
        int expected;
    } cases[] = {
        {"17.0.2", "1.8.0_345", 1},    {"21", "17.0.9", 1},          {"17.0.9", "21", -1},
        {"17.0.10", "17.0.9", 1},      {"1.8.0_345", "1.8.0_92", 1}, {"17", "17.0.0", 0},
        {"21.0.5+11", "21.0.5.11", 0}, {"017", "17", 0},             {"latest", "1", -1},
        {"", "", 0},                   {"11.0.2-ea", "11.0.2", 0},   {"4294967297", "1", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(compareJavaVersions(c.first, c.second), c.expected) << c.first << " against " << c.second;
}

namespace {

using namespace std::string_literals;

const char kUnset[] = "<unset>";
const std::string kMsi = "\\hotspot\\MSI";
const std::string kAdoptiumJdk = "SOFTWARE\\Eclipse Adoptium\\JDK\\";
const std::string kAdoptiumJre = "SOFTWARE\\Eclipse Adoptium\\JRE\\";
const std::string kFoundationJdk = "SOFTWARE\\Eclipse Foundation\\JDK\\";
const std::string kFoundationJre = "SOFTWARE\\Eclipse Foundation\\JRE\\";
const std::string kAdoptJdk = "SOFTWARE\\AdoptOpenJDK\\JDK\\";
const std::string kAdoptJre = "SOFTWARE\\AdoptOpenJDK\\JRE\\";

// A registry value under HKEY_LOCAL_MACHINE; "@" in its data stands for the machine's
// folder. REG_SZ and REG_EXPAND_SZ data get their terminator when written.
struct MachineValue {
    std::string key;
    const char* name;
    DWORD type;
    std::string data;
};

// A jvm.dll below the machine's folder: a 64-bit or 32-bit image, or (0) a crafted
// image of a machine no VM is built for.
struct MachineRuntime {
    const char* path;
    int bits;
};

struct NewerMachine {
    const char* name;
    std::vector<MachineValue> values;
    std::vector<MachineRuntime> runtimes;
    std::string javaHome;   // kUnset: no such variable; "@" as above
    bool service64;
    const char* vm;         // relative to the machine's folder; null: no VM
    const char* source;     // what the winning line names
    size_t judged;          // "newer Java source" lines, one per entry judged
};

std::string withRoot(std::string text, const std::string& root) {
    for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + root.size()))
        text.replace(at, 1, root);
    return text;
}

std::string dword(DWORD value) { return std::string(reinterpret_cast<const char*>(&value), sizeof value); }

}  // namespace

// Each row is one machine whose VM files and classic vendor registry keys hold nothing.
TEST_F(JvmDiscovery, NewerSourcesByMachine) {
    const std::string temurin21 = kAdoptiumJdk + "21.0.5.11" + kMsi;
    const std::string temurinJre17 = kAdoptiumJre + "17.0.9.9" + kMsi;
    const std::string foundation11 = kFoundationJdk + "11.0.21.9" + kMsi;
    const std::string foundationJre8 = kFoundationJre + "8.0.392.8" + kMsi;
    const std::string adopt16 = kAdoptJdk + "16.0.2.7" + kMsi;
    const std::string adoptJre11 = kAdoptJre + "11.0.11.9" + kMsi;

    const NewerMachine machines[] = {
        // Each source alone, in each accepted value type and each jvm.dll location.
        {"JavaSoft JDK with RuntimeLib",
         {{"SOFTWARE\\JavaSoft\\JDK\\17.0.2", "JavaHome", REG_SZ, "@\\jdk17"},
          {"SOFTWARE\\JavaSoft\\JDK\\17.0.2", "RuntimeLib", REG_SZ, "@\\jdk17\\bin\\server\\jvm.dll"}},
         {{"jdk17\\bin\\server\\jvm.dll", 64}}, kUnset, true, "jdk17\\bin\\server\\jvm.dll",
         "HKLM(64):SOFTWARE\\JavaSoft\\JDK\\17.0.2", 1},
        {"JavaSoft JRE with JavaHome only", {{"SOFTWARE\\JavaSoft\\JRE\\9.0.4", "JavaHome", REG_SZ, "@\\jre9"}},
         {{"jre9\\bin\\client\\jvm.dll", 64}}, kUnset, true, "jre9\\bin\\client\\jvm.dll",
         "HKLM(64):SOFTWARE\\JavaSoft\\JRE\\9.0.4", 1},
        {"Eclipse Adoptium JDK, home with a trailing backslash", {{temurin21, "Path", REG_SZ, "@\\temurin21\\"}},
         {{"temurin21\\bin\\server\\jvm.dll", 64}}, kUnset, true, "temurin21\\bin\\server\\jvm.dll",
         "HKLM(64):SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11\\hotspot\\MSI", 1},
        {"Eclipse Adoptium JRE", {{temurinJre17, "Path", REG_SZ, "@\\temurin-jre17"}},
         {{"temurin-jre17\\jre\\bin\\server\\jvm.dll", 64}}, kUnset, true, "temurin-jre17\\jre\\bin\\server\\jvm.dll",
         "HKLM(64):SOFTWARE\\Eclipse Adoptium\\JRE\\17.0.9.9\\hotspot\\MSI", 1},
        {"Eclipse Foundation JDK, REG_EXPAND_SZ", {{foundation11, "Path", REG_EXPAND_SZ, "%NJT_ROOT%\\foundation11"}},
         {{"foundation11\\bin\\server\\jvm.dll", 64}}, kUnset, true, "foundation11\\bin\\server\\jvm.dll",
         "HKLM(64):SOFTWARE\\Eclipse Foundation\\JDK\\11.0.21.9\\hotspot\\MSI", 1},
        {"Eclipse Foundation JRE, REG_MULTI_SZ", {{foundationJre8, "Path", REG_MULTI_SZ, "@\\foundation8\0second\0\0"s}},
         {{"foundation8\\jre\\bin\\client\\jvm.dll", 64}}, kUnset, true, "foundation8\\jre\\bin\\client\\jvm.dll",
         "HKLM(64):SOFTWARE\\Eclipse Foundation\\JRE\\8.0.392.8\\hotspot\\MSI", 1},
        {"AdoptOpenJDK JDK", {{adopt16, "Path", REG_SZ, "@\\adopt16"}}, {{"adopt16\\bin\\client\\jvm.dll", 64}}, kUnset,
         true, "adopt16\\bin\\client\\jvm.dll", "HKLM(64):SOFTWARE\\AdoptOpenJDK\\JDK\\16.0.2.7\\hotspot\\MSI", 1},
        {"AdoptOpenJDK JRE", {{adoptJre11, "Path", REG_SZ, "@\\adoptjre11"}},
         {{"adoptjre11\\bin\\server\\jvm.dll", 64}}, kUnset, true, "adoptjre11\\bin\\server\\jvm.dll",
         "HKLM(64):SOFTWARE\\AdoptOpenJDK\\JRE\\11.0.11.9\\hotspot\\MSI", 1},
        {"JAVA_HOME alone", {}, {{"envjdk\\bin\\server\\jvm.dll", 64}}, "@\\envjdk", true,
         "envjdk\\bin\\server\\jvm.dll", "environment variable JAVA_HOME", 1},

        // Versions across sources and within one: the highest wins, whatever the table order.
        {"17.0.2 above 1.8.0_345",
         {{"SOFTWARE\\JavaSoft\\JRE\\1.8.0_345", "JavaHome", REG_SZ, "@\\jre8"},
          {kAdoptiumJre + "17.0.2" + kMsi, "Path", REG_SZ, "@\\jre17"}},
         {{"jre8\\bin\\server\\jvm.dll", 64}, {"jre17\\bin\\server\\jvm.dll", 64}}, kUnset, true,
         "jre17\\bin\\server\\jvm.dll", "HKLM(64):SOFTWARE\\Eclipse Adoptium\\JRE\\17.0.2\\hotspot\\MSI", 2},
        {"21 above 17.0.9",
         {{"SOFTWARE\\JavaSoft\\JDK\\17.0.9", "JavaHome", REG_SZ, "@\\jdk17"},
          {kAdoptJdk + "21" + kMsi, "Path", REG_SZ, "@\\jdk21"},
          {kFoundationJre + "1.8.0_345" + kMsi, "Path", REG_SZ, "@\\jre8"}},
         {{"jdk17\\bin\\server\\jvm.dll", 64}, {"jdk21\\bin\\server\\jvm.dll", 64}, {"jre8\\bin\\server\\jvm.dll", 64}},
         kUnset, true, "jdk21\\bin\\server\\jvm.dll", "HKLM(64):SOFTWARE\\AdoptOpenJDK\\JDK\\21\\hotspot\\MSI", 3},
        {"17.0.10 above 17.0.9 under one key",
         {{"SOFTWARE\\JavaSoft\\JDK\\17.0.9", "JavaHome", REG_SZ, "@\\jdk179"},
          {"SOFTWARE\\JavaSoft\\JDK\\17.0.10", "JavaHome", REG_SZ, "@\\jdk1710"}},
         {{"jdk179\\bin\\server\\jvm.dll", 64}, {"jdk1710\\bin\\server\\jvm.dll", 64}}, kUnset, true,
         "jdk1710\\bin\\server\\jvm.dll", "HKLM(64):SOFTWARE\\JavaSoft\\JDK\\17.0.10", 2},
        {"equal versions keep the table order",
         {{kAdoptiumJdk + "17.0.0" + kMsi, "Path", REG_SZ, "@\\temurin17"},
          {"SOFTWARE\\JavaSoft\\JDK\\17", "JavaHome", REG_SZ, "@\\oracle17"}},
         {{"temurin17\\bin\\server\\jvm.dll", 64}, {"oracle17\\bin\\server\\jvm.dll", 64}}, kUnset, true,
         "oracle17\\bin\\server\\jvm.dll", "HKLM(64):SOFTWARE\\JavaSoft\\JDK\\17", 2},
        {"a version without digits ranks lowest",
         {{kAdoptiumJdk + "latest" + kMsi, "Path", REG_SZ, "@\\latest"},
          {kAdoptJre + "1.8.0_345" + kMsi, "Path", REG_SZ, "@\\jre8"}},
         {{"latest\\bin\\server\\jvm.dll", 64}, {"jre8\\bin\\server\\jvm.dll", 64}}, kUnset, true,
         "jre8\\bin\\server\\jvm.dll", "HKLM(64):SOFTWARE\\AdoptOpenJDK\\JRE\\1.8.0_345\\hotspot\\MSI", 2},

        // Bitness: a service takes only a VM of its own.
        {"64-bit service refuses the higher 32-bit VM",
         {{temurin21, "Path", REG_SZ, "@\\temurin21"}, {kAdoptJdk + "11" + kMsi, "Path", REG_SZ, "@\\adopt11"}},
         {{"temurin21\\bin\\server\\jvm.dll", 32}, {"adopt11\\bin\\server\\jvm.dll", 64}}, kUnset, true,
         "adopt11\\bin\\server\\jvm.dll", "HKLM(64):SOFTWARE\\AdoptOpenJDK\\JDK\\11\\hotspot\\MSI", 2},
        {"32-bit service takes it",
         {{temurin21, "Path", REG_SZ, "@\\temurin21"}, {kAdoptJdk + "11" + kMsi, "Path", REG_SZ, "@\\adopt11"}},
         {{"temurin21\\bin\\server\\jvm.dll", 32}, {"adopt11\\bin\\server\\jvm.dll", 64}}, kUnset, false,
         "temurin21\\bin\\server\\jvm.dll", "HKLM(32):SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11\\hotspot\\MSI", 2},
        {"only a 32-bit VM", {{temurin21, "Path", REG_SZ, "@\\temurin21"}},
         {{"temurin21\\bin\\server\\jvm.dll", 32}}, kUnset, true, nullptr, nullptr, 1},
        {"an image of another machine", {{temurin21, "Path", REG_SZ, "@\\arm"}}, {{"arm\\bin\\server\\jvm.dll", 0}},
         kUnset, true, nullptr, nullptr, 1},

        // RuntimeLib: taken when it names a file, else the home is probed.
        {"RuntimeLib naming a missing file falls back to the home",
         {{"SOFTWARE\\JavaSoft\\JDK\\17", "RuntimeLib", REG_SZ, "@\\gone\\bin\\server\\jvm.dll"},
          {"SOFTWARE\\JavaSoft\\JDK\\17", "JavaHome", REG_SZ, "@\\jdk17"}},
         {{"jdk17\\jre\\bin\\server\\jvm.dll", 64}}, kUnset, true, "jdk17\\jre\\bin\\server\\jvm.dll",
         "HKLM(64):SOFTWARE\\JavaSoft\\JDK\\17", 1},
        {"an existing RuntimeLib outranks the home",
         {{"SOFTWARE\\JavaSoft\\JRE\\10", "RuntimeLib", REG_SZ, "@\\elsewhere\\jvm.dll"},
          {"SOFTWARE\\JavaSoft\\JRE\\10", "JavaHome", REG_SZ, "@\\jre10"}},
         {{"elsewhere\\jvm.dll", 64}, {"jre10\\bin\\server\\jvm.dll", 64}}, kUnset, true, "elsewhere\\jvm.dll",
         "HKLM(64):SOFTWARE\\JavaSoft\\JRE\\10", 1},

        // JAVA_HOME as people write it; taken only when no registry entry passed.
        {"JAVA_HOME with a trailing backslash", {}, {{"jdk\\bin\\server\\jvm.dll", 64}}, "@\\jdk\\", true,
         "jdk\\bin\\server\\jvm.dll", "environment variable JAVA_HOME", 1},
        {"JAVA_HOME in quotes and blanks", {}, {{"my jdk\\jre\\bin\\client\\jvm.dll", 64}}, " \"@\\my jdk\\\" ", true,
         "my jdk\\jre\\bin\\client\\jvm.dll", "environment variable JAVA_HOME", 1},
        {"JAVA_HOME naming a missing folder", {}, {}, "@\\nothere", true, nullptr, nullptr, 1},
        {"JAVA_HOME empty", {}, {}, "", true, nullptr, nullptr, 0},
        {"JAVA_HOME of quotes only", {}, {}, "\"\"", true, nullptr, nullptr, 0},
        {"JAVA_HOME with a 32-bit VM", {}, {{"jdk\\bin\\server\\jvm.dll", 32}}, "@\\jdk", true, nullptr, nullptr, 1},
        {"a passing registry entry outranks JAVA_HOME", {{"SOFTWARE\\JavaSoft\\JDK\\11", "JavaHome", REG_SZ, "@\\jdk11"}},
         {{"jdk11\\bin\\server\\jvm.dll", 64}, {"jdk21\\bin\\server\\jvm.dll", 64}}, "@\\jdk21", true,
         "jdk11\\bin\\server\\jvm.dll", "HKLM(64):SOFTWARE\\JavaSoft\\JDK\\11", 1},
        {"JAVA_HOME when no registry entry passed", {{temurin21, "Path", REG_SZ, "@\\temurin21"}},
         {{"temurin21\\bin\\server\\jvm.dll", 32}, {"jdk17\\bin\\server\\jvm.dll", 64}}, "@\\jdk17", true,
         "jdk17\\bin\\server\\jvm.dll", "environment variable JAVA_HOME", 2},

        // Garbage in every key, with a usable VM wherever a careless reader would look.
        {"wrong value types everywhere",
         {{"SOFTWARE\\JavaSoft\\JDK\\17", "JavaHome", REG_DWORD, dword(17)},
          {"SOFTWARE\\JavaSoft\\JDK\\17", "RuntimeLib", REG_BINARY, "@\\rt\\bin\\server\\jvm.dll"},
          {"SOFTWARE\\JavaSoft\\JRE\\17", "JavaHome", REG_BINARY, "@\\rt"},
          {temurin21, "Path", REG_BINARY, "@\\rt"},
          {temurinJre17, "Path", REG_DWORD, dword(1)},
          {foundation11, "Path", REG_QWORD, dword(1) + dword(0)},
          {foundationJre8, "Path", REG_NONE, "@\\rt"},
          {adopt16, "Path", REG_BINARY, "@\\rt\0"s},
          {adoptJre11, "Path", REG_DWORD_BIG_ENDIAN, dword(7)}},
         {{"rt\\bin\\server\\jvm.dll", 64}}, kUnset, true, nullptr, nullptr, 8},
        {"garbage texts everywhere",
         {{"SOFTWARE\\JavaSoft\\JDK\\17", "JavaHome", REG_SZ, "<>|*?\x01"},
          {"SOFTWARE\\JavaSoft\\JDK\\17", "RuntimeLib", REG_SZ, "@\\rt"},   // a folder, not a file
          {"SOFTWARE\\JavaSoft\\JRE\\17", "JavaHome", REG_SZ, "   "},
          {"SOFTWARE\\JavaSoft\\JRE\\17", "RuntimeLib", REG_SZ, ""},
          {temurin21, "Path", REG_SZ, ""},
          {temurinJre17, "Path", REG_SZ, "\\\\"},
          {foundation11, "Path", REG_SZ, "@\\rt\\bin\\server\\jvm.dll"},   // the library, not a home
          {foundationJre8, "Path", REG_MULTI_SZ, "\0@\\rt\0\0"s},           // an empty first string
          {adopt16, "Path", REG_SZ, "@\\rt\\bin"},
          {adoptJre11, "Home", REG_SZ, "@\\rt"}},   // a value of another name
         {{"rt\\bin\\server\\jvm.dll", 64}}, kUnset, true, nullptr, nullptr, 8},
        {"keys in the wrong places are no entries",
         {{"SOFTWARE\\JavaSoft\\JDK", "JavaHome", REG_SZ, "@\\rt"},   // on the source key itself
          {kAdoptiumJdk + "21", "Path", REG_SZ, "@\\rt"},             // no hotspot\MSI below the version
          {kAdoptiumJre + "17\\hotspot", "Path", REG_SZ, "@\\rt"},
          {kFoundationJdk + "11\\openj9\\MSI", "Path", REG_SZ, "@\\rt"},
          {"SOFTWARE\\AdoptOpenJDK\\JDK", "Path", REG_SZ, "@\\rt"},
          {"SOFTWARE\\AdoptOpenJDK\\hotspot\\MSI", "Path", REG_SZ, "@\\rt"}},
         {{"rt\\bin\\server\\jvm.dll", 64}}, kUnset, true, nullptr, nullptr, 0},
    };

    for (const NewerMachine& m : machines) {
        SCOPED_TRACE(m.name);
        clearJavaRegistry();
        TempFolder machine("newer");
        const std::string& root = machine.path();
        SetEnvironmentVariableA("NJT_ROOT", root.c_str());
        for (const MachineValue& v : m.values) {
            std::string data = withRoot(v.data, root);
            if (v.type == REG_SZ || v.type == REG_EXPAND_SZ) data.push_back('\0');
            ASSERT_TRUE(WriteRegValue(HKEY_LOCAL_MACHINE, v.key, v.name, v.type, data.data(), DWORD(data.size())));
        }
        for (const MachineRuntime& r : m.runtimes) {
            if (r.bits) {
                putRuntime(root, r.path, r.bits == 64);
            } else {
                makeFolders(root + "\\" + std::string(r.path).substr(0, std::string(r.path).rfind('\\')));
                ASSERT_TRUE(WriteFileText(root + "\\" + r.path, craftedImage(70, 64, peHeader(0x01C4))));
            }
        }
        SetEnvironmentVariableA("JAVA_HOME", m.javaHome == kUnset ? nullptr : withRoot(m.javaHome, root).c_str());

        LogWatch pass;
        EXPECT_EQ(discover(m.service64), m.vm != nullptr);
        Strings all = LogRecords(pass.NewText());
        Strings expected = noSpecFiles();
        EXPECT_EQ(all.size(), expected.size() + m.judged + (m.vm ? 1 : 0));
        if (all.size() != expected.size() + m.judged + (m.vm ? 1 : 0)) continue;
        EXPECT_EQ(Strings(all.begin(), all.begin() + 3), expected);
        for (size_t i = 0; i < m.judged; i++) EXPECT_EQ(all[3 + i].rfind("newer Java source ", 0), 0u) << all[3 + i];
        if (m.vm) {
            std::string vm = root + "\\" + m.vm;
            EXPECT_EQ(text(vmPath), vm);
            EXPECT_EQ(all.back(), "Java (" + std::string(m.service64 ? "64" : "32") + "-bit) discovered from " +
                                      m.source + ":\n\t   " + vm + "\n");
        }
    }
    SetEnvironmentVariableA("NJT_ROOT", nullptr);
}

// Every kind of verdict line, in order, and the winner.
TEST_F(JvmDiscovery, NewerSourcesLogEachEntryJudged) {
    std::string root = product.path();
    std::string vm32 = putRuntime(root, "jdk17\\bin\\server\\jvm.dll", false);
    std::string vm64 = putRuntime(root, "adopt11\\jre\\bin\\client\\jvm.dll", true);
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK\\17", "JavaHome", root + "\\jdk17"));
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kAdoptiumJdk + "21" + kMsi, "Path", root + "\\none\\"));
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kAdoptJre + "11" + kMsi, "Path", root + "\\adopt11"));
    SetEnvironmentVariableA("JAVA_HOME", (root + "\\jdk17").c_str());   // not looked at: an entry passed

    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), vm64);
    Strings expected = noSpecFiles() + Strings{
        "newer Java source HKLM(64):SOFTWARE\\JavaSoft\\JDK\\17:\n\t   " + vm32 + " is not a usable 64-bit Java VM\n",
        "newer Java source HKLM(64):SOFTWARE\\Eclipse Adoptium\\JDK\\21\\hotspot\\MSI: no jvm.dll under \"" + root +
            "\\none\"\n",
        "newer Java source HKLM(64):SOFTWARE\\AdoptOpenJDK\\JRE\\11\\hotspot\\MSI:\n\t   " + vm64 +
            " is a usable 64-bit Java VM\n",
        "Java (64-bit) discovered from HKLM(64):SOFTWARE\\AdoptOpenJDK\\JRE\\11\\hotspot\\MSI:\n\t   " + vm64 + "\n",
    };
    EXPECT_EQ(records(), expected);

    // Nothing usable anywhere: the entries judged, and no winner.
    DeleteRegTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\AdoptOpenJDK");
    SetEnvironmentVariableA("JAVA_HOME", nullptr);
    LogWatch second;
    EXPECT_FALSE(discover(true));
    EXPECT_EQ(LogRecords(second.NewText()), Strings(expected.begin(), expected.begin() + 5));
}

// The VM files and the classic vendor keys keep their results: the newer ones are not
// even looked at.
TEST_F(JvmDiscovery, ClassicSourcesWinOverNewerOnes) {
    std::string jre8 = putRuntime(product.path(), "jre8\\bin\\server\\jvm.dll", true);
    std::string jdk21 = putRuntime(product.path(), "jdk21\\bin\\server\\jvm.dll", true);
    registerRuntime(kJavaSoftKey, jre8);
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\JavaSoft\\JDK\\21", "JavaHome", product.path() + "\\jdk21"));
    ASSERT_TRUE(WriteRegString(HKEY_LOCAL_MACHINE, kAdoptiumJdk + "21.0.5.11" + kMsi, "Path", product.path() + "\\jdk21"));
    SetEnvironmentVariableA("JAVA_HOME", (product.path() + "\\jdk21").c_str());

    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), jre8);
    EXPECT_EQ(records(), noSpecFiles() + Strings{"Java (64-bit) discovered from registry:\n\t   " + jre8 + "\n"});

    ASSERT_TRUE(WriteFileText(serviceSpec(), product.path() + "\\jre8"));
    ASSERT_TRUE(discover(true));
    EXPECT_EQ(text(vmPath), jre8);
    EXPECT_EQ(text(specFile), serviceSpec());
}
