// The 64-bit relaunch, run by the 64-bit build with the WOW64 answer and the module that
// carries "BINRES" 1 given as parameters. The carriers are resource-only DLLs built for
// the tests: the real krlxconfig64.exe, and a probe that reports how it was started,
// padded to 100000 and to 99999 bytes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "config_test_support.h"
#include "krlxconfig.h"
#include "test_support.h"

using namespace config_testing;
using namespace testing_support;

namespace {

// A carrier DLL copied into a folder of its own and loaded from there: the relaunch
// writes the image beside the module that carries it.
class Carrier {
public:
    Carrier(const std::string& dll, bool readOnlyFolder) : folder_("relaunch") {
        std::string copy = folder_.file(dll);
        EXPECT_TRUE(CopyFileTo(BuildFile("tests\\krlxconfig\\" + dll), copy)) << dll;
        if (readOnlyFolder) {
            EXPECT_TRUE(SetFolderReadOnly(folder_.path(), true));
        }
        module_ = LoadLibraryA(copy.c_str());
        EXPECT_NE(module_, nullptr) << copy;
    }
    ~Carrier() {
        if (module_) FreeLibrary(module_);
        SetFolderReadOnly(folder_.path(), false);
    }
    HMODULE module() const { return module_; }
    std::string folder() const { return folder_.path(); }
    std::string image() const { return folder_.file("krlxconfig64.exe"); }

private:
    TempFolder folder_;
    HMODULE module_ = nullptr;
};

// Where the probe reports, through the environment the relaunched process inherits.
class ProbeReport {
public:
    ProbeReport() : folder_("probe"), path_(folder_.file("report.txt")) {
        SetEnvironmentVariableA("KRLX_PROBE_REPORT", path_.c_str());
    }
    ~ProbeReport() { SetEnvironmentVariableA("KRLX_PROBE_REPORT", nullptr); }
    bool written() const { return FileExists(path_); }
    std::string text() const { return ReadFileText(path_); }

private:
    TempFolder folder_;
    std::string path_;
};

std::string temporaryFolder() {
    std::string log = ConfigLogPath();
    return log.substr(0, log.rfind('\\'));
}

int runAsWow64(const char* commandLine, HMODULE carrier, int show = SW_SHOWNORMAL) {
    return RunConfigurator(GetModuleHandleA(nullptr), commandLine, show, true, carrier);
}

const char kHeaderStart[] = "\n-----------------------------------------------------------------\n-- Corvalis Configurator";

}  // namespace

TEST(Relaunch, WritesTheImageHiddenBesideTheProgramRunsItAndDeletesIt) {
    struct Case {
        int show;
        bool leftover;   // an image of an earlier run is there and gets replaced
    } cases[] = {{SW_SHOWMINNOACTIVE, false}, {SW_HIDE, true}};
    for (const Case& c : cases) {
        Carrier carrier("krlx_image_100000.dll", false);
        ProbeReport report;
        if (c.leftover) {
            ASSERT_TRUE(WriteFileText(carrier.image(), "stale"));
        }
        LogWatch watch(ConfigLogPath());

        // The probe exits with 7; the 32-bit process does not pass that on.
        EXPECT_EQ(runAsWow64("/remove /setup", carrier.module(), c.show), 0);

        const std::string image = carrier.image();
        // Windows gives a replaced file the new attributes; Wine keeps the old file's, so
        // the hidden attribute shows only on a fresh file here.
        const int attributes = c.leftover ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_ARCHIVE;
        EXPECT_EQ(report.text(), "command line: \"" + image + "\" /remove /setup\nshow: " + std::to_string(c.show) +
                                     "\nflags: 1\nimage: " + image + "\nattributes: " + std::to_string(attributes) +
                                     "\nprogram folder: \n");
        EXPECT_FALSE(FileExists(image));
        // The 32-bit process ends after the 64-bit one, before it would write a header.
        std::vector<std::string> records = ConfigLogRecords(watch.NewText());
        ASSERT_EQ(records.size(), 2u);
        EXPECT_EQ(records[0], "WOW64: will invoke 64-bit exe. Command line:\n/remove /setup\n");
        EXPECT_EQ(records[1], "Invoking 64-bit configurator:\nexe: " + image + "\ncmdline: \"" + image +
                                  "\" /remove /setup\n");
    }
}

TEST(Relaunch, ReadOnlyProgramFolderSendsTheImageToTheTemporaryFolderAndHandsOverTheFolder) {
    Carrier carrier("krlx_image_100000.dll", true);
    ProbeReport report;
    ASSERT_FALSE(CanWriteDirectory(carrier.folder().c_str()));
    const std::string image = temporaryFolder() + "\\krlxconfig64.exe";
    DeleteFileA(image.c_str());

    EXPECT_EQ(runAsWow64("/remove", carrier.module()), 0);
    // The image there is told the program folder, and nobody else is.
    EXPECT_NE(report.text().find("\nimage: " + image + "\nattributes: 34\nprogram folder: " + carrier.folder() + "\n"),
              std::string::npos)
        << report.text();
    EXPECT_EQ(GetEnvironmentVariableA("KRLXCONFIG_PROGRAM_FOLDER", nullptr, 0), 0u);
    EXPECT_FALSE(FileExists(image));
    EXPECT_FALSE(FileExists(carrier.image()));
}

// "/force32" anywhere, also inside a longer word, keeps the 32-bit build at the job; the
// test is case-sensitive.
TEST(Relaunch, Force32SuppressesIt) {
    struct Case {
        const char* commandLine;
        bool relaunched;
    } cases[] = {
        {"/remove /force32", false},
        {"/force32/remove", false},
        {"/remove /force32x", false},
        {"/remove /Force32", true},
        {"/remove /force3", true},
    };
    for (const Case& c : cases) {
        Carrier carrier("krlx_image_100000.dll", false);
        ProbeReport report;
        LogWatch watch(ConfigLogPath());
        EXPECT_EQ(runAsWow64(c.commandLine, carrier.module()), 0);
        EXPECT_EQ(report.written(), c.relaunched) << c.commandLine;
        EXPECT_FALSE(FileExists(carrier.image()));
        std::string log = watch.NewText();
        EXPECT_EQ(log.find("WOW64: will invoke 64-bit exe.") != std::string::npos, c.relaunched) << c.commandLine;
        EXPECT_EQ(log.find(kHeaderStart) != std::string::npos, !c.relaunched) << c.commandLine;
    }
}

TEST(Relaunch, ImagesBelow100000BytesAreRefused) {
    Carrier carrier("krlx_image_99999.dll", false);
    ProbeReport report;
    LogWatch watch(ConfigLogPath());
    EXPECT_EQ(runAsWow64("/remove", carrier.module()), 0);
    EXPECT_FALSE(report.written());
    EXPECT_FALSE(FileExists(carrier.image()));
    // The 32-bit build carries on with the job: its header follows.
    std::vector<std::string> records = ConfigLogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1], "Invalid resource size: 99999");
    EXPECT_EQ(records[2].rfind(kHeaderStart, 0), 0u);
}

TEST(Relaunch, MissingResourceLogsItsOsError) {
    LogWatch watch(ConfigLogPath());
    // This test program carries no resources at all.
    EXPECT_EQ(runAsWow64("/remove", GetModuleHandleA(nullptr)), 0);
    std::vector<std::string> records = ConfigLogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[1].rfind("Can't find resource BINRES:1 in own executable file krlxconfig.exe\r\nOS Error 1812: ", 0),
              0u)
        << records[1];
    EXPECT_EQ(records[2].rfind(kHeaderStart, 0), 0u);
}

TEST(Relaunch, TheReal64BitBuildDoesTheJob) {
    Carrier carrier("krlx_image_real.dll", false);
    LogWatch watch(ConfigLogPath());
    EXPECT_EQ(runAsWow64("/remove", carrier.module()), 0);
    EXPECT_FALSE(FileExists(carrier.image()));
    std::vector<std::string> records = ConfigLogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 3u);
    EXPECT_EQ(records[2].rfind(std::string(kHeaderStart) + " (x64) 9.0.0.0 (", 0), 0u) << records[2];
    EXPECT_NE(records[2].find("\n-- " + carrier.image() + " /remove\n"), std::string::npos) << records[2];
}

// Between writing the image and starting it nobody may replace it.
TEST(Relaunch, WrittenImageIsHeldAgainstWritingAndDeleting) {
    TempFolder folder("held");
    const std::string target = folder.file("krlxconfig64.exe");
    std::string image(150000, '\0');
    for (size_t i = 0; i < image.size(); i++) image[i] = char(i * 7 + i / 1000);

    HANDLE held = WriteImageHeld(target.c_str(), image.data(), DWORD(image.size()));
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(ReadFileText(target), image);
    EXPECT_EQ(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, DWORD(FILE_ATTRIBUTE_HIDDEN));
    HANDLE writer = CreateFileA(target.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
    EXPECT_FALSE(DeleteFileA(target.c_str()));
    EXPECT_FALSE(MoveFileA(target.c_str(), folder.file("moved.exe").c_str()));
    CloseHandle(held);
    EXPECT_TRUE(DeleteFileA(target.c_str()));

    LogWatch watch(ConfigLogPath());
    const std::string nowhere = folder.file("missing\\krlxconfig64.exe");
    EXPECT_EQ(WriteImageHeld(nowhere.c_str(), image.data(), DWORD(image.size())), INVALID_HANDLE_VALUE);
    std::vector<std::string> records = ConfigLogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].rfind("CreateFile(" + nowhere + ") failed\r\nOS Error 3: ", 0), 0u) << records[0];
}

// The 32-bit configurator of a signed build, named by KRLX_SIGNED_CONFIGURATOR when
// tests/signing/test_signing.sh runs this test: its embedded build, signed too, is written
// out exactly and runs. A 32-bit program loads only as data here, so its module names no
// folder and the image goes to the temporary folder.
TEST(Relaunch, SignedConfiguratorStillRelaunchesItsBuild) {
    const char* configurator = getenv("KRLX_SIGNED_CONFIGURATOR");
    if (!configurator) GTEST_SKIP() << "run by tests/signing/test_signing.sh on a signed build";
    HMODULE module = LoadLibraryExA(configurator, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(module, nullptr) << configurator;
    HRSRC resource = FindResourceA(module, MAKEINTRESOURCEA(1), "BINRES");
    ASSERT_NE(resource, nullptr);
    const std::string image(static_cast<const char*>(LockResource(LoadResource(module, resource))),
                            SizeofResource(module, resource));
    cstring target;
    HANDLE process = RelaunchAs64(module, "/remove", SW_HIDE, target);
    ASSERT_NE(process, nullptr);
    EXPECT_EQ(ReadFileText(target.c_str()), image);
    DWORD code = 1;
    EXPECT_TRUE(WaitForSingleObject(process, 60000) == WAIT_OBJECT_0 && GetExitCodeProcess(process, &code));
    EXPECT_EQ(code, 0u);
    CloseHandle(process);
    DeleteFileA(target.c_str());
    FreeLibrary(module);
}
