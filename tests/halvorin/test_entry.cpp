// The entry of halvorin: option matching and its order, and the real halvorin64.exe
// run with its output captured: usage, unknown options, the dispatcher path, ProcessID,
// the hand-over to a twin and the install-failure box.
#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "service_host.h"
#include "test_support.h"

using namespace testing_support;

namespace {

const char kProductKey[] = "Software\\Quorvane\\Halvorin";

// The usage block as the runtime's text-mode output writes it: LF becomes CR LF.
const char kUsageOutput[] =
    "QZV Halvorin Server for Windows\r\n"
    "\r\n"
    "This program is NT service and normally must not be invoked manually\r\n"
    "without command-line parameters.\r\n"
    "The following command-line parameters are accepted:\r\n"
    "    -i install itself as service\r\n"
    "    -x remove existing service with the same name and\r\n"
    "       install itself as service\r\n"
    "    -r stop and uninstall service\r\n"
    "    -c run in console mode\r\n"
    "    -? show this message\r\n";

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

DWORD processIdValue() {
    DWORD value = 0xFFFFFFFF;
    ReadRegDword(HKEY_LOCAL_MACHINE, kProductKey, "ProcessID", &value);
    return value;
}

}  // namespace

// Every form in both letter cases; the first form in test order wins, wherever it stands.
TEST(HalvorinOptions, FirstMatchingFormInTestOrderWins) {
    const struct {
        const char* line;
        HalvorinAction action;
    } cases[] = {
        {"-i", ACTION_INSTALL}, {"/i", ACTION_INSTALL}, {"-I", ACTION_INSTALL}, {"/I", ACTION_INSTALL},
        {" -install", ACTION_INSTALL},   // inside a longer word
        {"-r -i", ACTION_INSTALL}, {"-x /i", ACTION_INSTALL},
        {"-x", ACTION_UPGRADE}, {"/x", ACTION_UPGRADE}, {"-X", ACTION_UPGRADE}, {"/X", ACTION_UPGRADE},
        {"-c -x", ACTION_UPGRADE}, {"/r /x", ACTION_UPGRADE},
        {"-r", ACTION_REMOVE}, {"/r", ACTION_REMOVE}, {"-R", ACTION_REMOVE}, {"/R", ACTION_REMOVE},
        {"-c /r", ACTION_REMOVE},
        {"-c", ACTION_CONSOLE}, {"/c", ACTION_CONSOLE}, {"-C", ACTION_CONSOLE}, {"/C", ACTION_CONSOLE},
        {"-h -c", ACTION_CONSOLE}, {"/? /c", ACTION_CONSOLE},
        {"C:\\my-cache\\x -h", ACTION_CONSOLE},   // "-c" inside a path
        {"-?", ACTION_HELP}, {"/?", ACTION_HELP}, {"-h", ACTION_HELP}, {"/h", ACTION_HELP}, {"-H", ACTION_HELP},
        {"/H", ACTION_HELP},
        {"-q", ACTION_UNRECOGNIZED}, {"/q", ACTION_UNRECOGNIZED}, {"\\i", ACTION_UNRECOGNIZED},
        {"\xC9\xE9-\xFF", ACTION_UNRECOGNIZED}, {"", ACTION_UNRECOGNIZED},
    };
    for (const auto& c : cases) EXPECT_EQ(ChooseAction(c.line), c.action) << "\"" << c.line << "\"";
}

TEST(HalvorinCommandLine, HelpPrintsTheUsageByteForByte) {
    for (const char* option : {"-h", "/?", "-H"}) {
        ProcessResult run = RunProcess(quoted(DistFile("halvorin64.exe")) + " " + option);
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.exitCode, 0u);
        EXPECT_EQ(run.out, kUsageOutput) << option;
    }
    EXPECT_EQ(processIdValue(), 0u);

    // Some starters repeat the program's path in the command line. It is dropped whatever
    // its letter case, so the "-c" in this folder's name does not select console mode.
    TempFolder folder("console");
    std::string program = folder.file("halvorin64.exe");
    ASSERT_TRUE(CopyFileTo(DistFile("halvorin64.exe"), program));
    std::string upper = program;
    for (char& c : upper) c = char(toupper(static_cast<unsigned char>(c)));
    for (const std::string& repeated : {program, upper}) {
        ProcessResult run = RunProcess("\"" + program + "\" " + repeated + " -h");
        ASSERT_TRUE(run.started);
        EXPECT_EQ(run.out, kUsageOutput) << repeated;
    }
}

TEST(HalvorinCommandLine, UnknownOptionPrintsItThenTheUsage) {
    LogWatch watch;
    ProcessResult run = RunProcess(quoted(DistFile("halvorin64.exe")) + " -q");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, std::string("\r\nUnrecognized option: -q\r\n") + kUsageOutput);
    std::string log = watch.NewText();
    EXPECT_NE(log.find("*** Halvorin invoked from command line:\n\t\t" + DistFile("halvorin64.exe") + " -q\n"),
              std::string::npos)
        << log;
    EXPECT_NE(log.find("current service start mode: ("), std::string::npos);
    EXPECT_EQ(processIdValue(), 0u);
}

TEST(HalvorinCommandLine, HugeAndHighByteCommandLinesEndCleanly) {
    std::string huge(32000, 'k');
    ProcessResult run = RunProcess(quoted(DistFile("halvorin64.exe")) + " " + huge);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out, "\r\nUnrecognized option: " + huge + "\r\n" + kUsageOutput);

    run = RunProcess(quoted(DistFile("halvorin64.exe")) + " \xE9\xE8-\xFF\xC9");
    ASSERT_TRUE(run.started);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_NE(run.out.find("Unrecognized option: "), std::string::npos);
    EXPECT_NE(run.out.find(kUsageOutput), std::string::npos);
}

// Started outside the Service Control Manager, the dispatcher fails. Wine gives up on
// the control pipe only after about ten seconds.
TEST(HalvorinCommandLine, EmptyCommandLineOutsideTheServiceManager) {
    LogWatch watch;
    StderrWatch trace;
    ProcessOptions options;
    options.environment.push_back("WINEDEBUG=-all,+eventlog");
    options.timeoutMs = 60000;
    ProcessResult run = RunProcess(quoted(DistFile("halvorin64.exe")), options);
    ASSERT_TRUE(run.started);
    EXPECT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.out,
              "\r\nThis program is a Windows service"
              "\r\nRun 'halvorin -h' to see command-line usage"
              "\r\nService started in \"foreground\" mode.\r\n"
              "\r\nStartServiceControlDispatcher failed!\r\n");
    // The event log stores nothing under Wine; its trace shows what was reported.
    std::string reported = trace.NewText();
    EXPECT_NE(reported.find("trace:eventlog:ReportEventW L\"Halvorin: StartServiceControlDispatcher failed!\""),
              std::string::npos)
        << reported;
    std::vector<std::string> records = LogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0], "EVENTLOG:> StartServiceControlDispatcher failed!\n");
    // The dispatcher path leaves ProcessID to the JVM thread: it still names the process.
    EXPECT_EQ(processIdValue(), run.processId);
}

TEST(HalvorinCommandLine, ProcessIdNamesTheRunningProcess) {
    // The dispatcher path waits long enough to look at the value while it runs.
    std::string command = quoted(DistFile("halvorin64.exe"));
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION child = {};
    ASSERT_TRUE(CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &child));
    DWORD seen = 0;
    for (int i = 0; i < 100 && seen != child.dwProcessId; i++) {
        Sleep(50);
        seen = processIdValue();
    }
    EXPECT_EQ(seen, child.dwProcessId);
    WaitForSingleObject(child.hProcess, 60000);
    CloseHandle(child.hThread);
    CloseHandle(child.hProcess);

    ProcessResult console = RunProcess(quoted(DistFile("halvorin64.exe")) + " -c");
    ASSERT_TRUE(console.started);
    EXPECT_EQ(console.exitCode, 0u);
    EXPECT_EQ(processIdValue(), 0u);
}

TEST(HalvorinFork64, NotDoneOutsideWow64) {
    LogWatch watch;
    EXPECT_FALSE(IsWow64());   // this is the 64-bit build
    EXPECT_EQ(fork64("-i"), 0);
    EXPECT_EQ(LogRecords(watch.NewText()), std::vector<std::string>{"fork64 not done: !WOW64\n"});
}

TEST(HalvorinFork64, HandsTheCommandLineToTheTwinAndWaits) {
    TempFolder folder("fork64");
    std::string twin = folder.file("halvorin64.exe");
    ASSERT_TRUE(CopyFileTo(DistFile("halvorin64.exe"), twin));
    LogWatch watch;
    EXPECT_EQ(forkTwin(twin.c_str(), "-h"), 1);
    std::string log = watch.NewText();
    std::string missing;
    EXPECT_TRUE(ContainsInOrder(log,
                                {"this is 64-bit system. forking " + twin + "...\n",
                                 "*** Halvorin invoked from command line:\n\t\t" + twin + " -h\n"},
                                &missing))
        << missing << "\n" << log;

    watch = LogWatch();
    std::string absent = folder.file("absent\\halvorin64.exe");
    EXPECT_EQ(forkTwin(absent.c_str(), "-r"), 0);
    LogMessage("after\n");
    std::vector<std::string> records = LogRecords(watch.NewText());
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0], "fork64 failed because file " + absent + " does not exist");
}

TEST(HalvorinInstallFailure, ShowsTheBoxUnlessQuiet) {
    LogWatch watch;
    bQuietMode = 1;
    {
        MessageBoxAnswerer answerer("QZV Halvorin Server", 1500);
        ReportInstallFailure("quiet failure");
        answerer.Stop();
        EXPECT_FALSE(answerer.answered());
    }
    bQuietMode = 0;
    MessageBoxAnswerer answerer("QZV Halvorin Server");
    ReportInstallFailure("CreateService() failed: access denied");
    answerer.Stop();
    ASSERT_TRUE(answerer.answered());
    // No Java VM is configured for this program: the module is the 32-bit one.
    char exe[MAX_PATH];
    GetModuleFileNameA(nullptr, exe, sizeof exe);
    std::string folder = exe;
    folder.resize(folder.rfind('\\') + 1);
    std::string expected =
        "QZV Halvorin (halvorin.exe) could not install itself\nas Windows service on this computer for the following "
        "reason:\n\nCreateService() failed: access denied\n\nYou still will be able to use most of QZV Corvalis "
        "features except automation and monitoring.\n\nPlease re-run installation as Administrator, or re-run the "
        "batch file\ninstall_service.bat located in the Halvorin directory (" +
        folder + "), as Administrator.";
    EXPECT_EQ(answerer.text(), expected);
    // Choosing the module name runs JVM discovery, which logs too; keep the failure lines.
    std::vector<std::string> failures;
    for (const std::string& record : LogRecords(watch.NewText()))
        if (record.rfind("failed to install", 0) == 0) failures.push_back(record);
    EXPECT_EQ(failures, (std::vector<std::string>{
                            "failed to install/re-install service: quiet failure\n",
                            "failed to install/re-install service: CreateService() failed: access denied\n"}));
}
