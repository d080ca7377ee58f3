// Dialog 103 created from its real template (main_dialog_test.rc) and driven by clicks on
// this thread inside its own modal loop; message boxes are answered by a CBT hook that
// records their texts, owners, buttons and icons.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "jre_machine.h"
#include "krlxconfig.h"
#include "test_support.h"

using namespace krlx_testing;
using namespace testing_support;

namespace {

const char kNoJavaText[] =
    "Could not find a valid Java Executable (java.exe or javaw.exe) to start Corvalis.\n"
    "You can download and install the latest version of Java from Oracle (https://www.java.com/download/) and use\n"
    "Start->Programs->QZV->Corvalis->Configure Corvalis\n"
    "menu to point to java.exe located in bin subdirectory of the Java JRE installation.";
const char kMemoryText[] =
    "Please enter amount of JVM memory.\nThe minimum reasonable amount of memory which will make Corvalis work "
    "without problems is 96 megabytes.";

struct Box {
    std::string text;
    std::string kind;   // "ok hand", "ok exclamation", "yesno exclamation", ...
    HWND owner;
};

std::deque<int> boxAnswers;   // for Yes/No boxes, first first; No when empty
std::vector<Box> boxes;
std::deque<std::function<void(HWND)>> dialogSteps;
std::function<void(HWND)> afterInit;
int stepsRun;

// The file-open dialog of Browse, as the user left it: what it showed, and the file
// typed in before OK (an empty choice presses Cancel).
struct FileDialog {
    std::string shownName;    // the file name field (cmb13) on opening
    std::string shownFilter;  // the file type chosen in the file type box (cmb1)
    HWND owner;
};
std::vector<FileDialog> fileDialogs;
std::string fileChoice;

HWND fileDialogWindow;

void CALLBACK AnswerFileDialog(HWND, UINT, UINT_PTR timer, DWORD) {
    KillTimer(nullptr, timer);
    HWND window = fileDialogWindow;
    char name[MAX_PATH] = "", filter[256] = "";
    GetDlgItemTextA(window, 0x47C, name, sizeof name);
    // A drop-down list: its text is the selected item's.
    LRESULT selected = SendDlgItemMessageA(window, 0x470, CB_GETCURSEL, 0, 0);
    if (selected >= 0 && SendDlgItemMessageA(window, 0x470, CB_GETLBTEXTLEN, selected, 0) < LRESULT(sizeof filter))
        SendDlgItemMessageA(window, 0x470, CB_GETLBTEXT, selected, LPARAM(filter));
    fileDialogs.push_back({name, filter, GetWindow(window, GW_OWNER)});
    if (!fileChoice.empty()) SetDlgItemTextA(window, 0x47C, fileChoice.c_str());
    PostMessageA(window, WM_COMMAND, fileChoice.empty() ? IDCANCEL : IDOK, 0);
}

// Wine's message box: its text is control 0xFFFF and its icon control stc1 (0x440). The
// dialog itself has a 0xFFFF static as well, but no combo 1004. The file dialog is the
// one with a file type box (cmb1, 0x470) and a file name box (cmb13, 0x47C).
LRESULT CALLBACK AnswerBoxes(int code, WPARAM wParam, LPARAM lParam) {
    HWND window = HWND(wParam);
    char className[16] = "";
    bool dialog = code == HCBT_ACTIVATE && GetClassNameA(window, className, sizeof className) &&
                  !strcmp(className, "#32770");
    if (dialog && GetDlgItem(window, 0x470) && GetDlgItem(window, 0x47C)) {
        // Its boxes are filled after it is activated: it is read and answered from a timer
        // of this thread, which its modal loop dispatches.
        fileDialogWindow = window;
        SetTimer(nullptr, 0, 50, AnswerFileDialog);
    } else if (dialog && GetDlgItem(window, 0xFFFF) && !GetDlgItem(window, 1004)) {
        char text[2048] = "";
        GetDlgItemTextA(window, 0xFFFF, text, sizeof text);
        bool yesNo = GetDlgItem(window, IDYES) != nullptr;
        HICON icon = HICON(SendDlgItemMessageA(window, 0x440, STM_GETICON, 0, 0));
        std::string kind = yesNo ? "yesno " : "ok ";
        kind += icon == LoadIconA(nullptr, IDI_HAND) ? "hand" : icon == LoadIconA(nullptr, IDI_EXCLAMATION) ? "exclamation" : "other";
        boxes.push_back({text, kind, GetWindow(window, GW_OWNER)});
        int answer = IDOK;
        if (yesNo) {
            answer = boxAnswers.empty() ? IDNO : boxAnswers.front();
            if (!boxAnswers.empty()) boxAnswers.pop_front();
        }
        PostMessageA(window, WM_COMMAND, answer, 0);
    }
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

const UINT kRunScript = WM_APP + 7;

INT_PTR CALLBACK DriverProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    // One step per message: a dialog that has ended handles no further message, so the
    // steps after one that ended it never run.
    if (message == kRunScript) {
        if (dialogSteps.empty()) return TRUE;
        std::function<void(HWND)> step = dialogSteps.front();
        dialogSteps.pop_front();
        stepsRun++;
        step(dialog);
        if (!dialogSteps.empty()) PostMessageA(dialog, kRunScript, 0, 0);
        return TRUE;
    }
    INT_PTR handled = MainDialogProc(dialog, message, wParam, lParam);
    if (message == WM_INITDIALOG) {
        // Before the modal loop handles anything, the disk scan's notifications among it.
        std::function<void(HWND)> check;
        check.swap(afterInit);
        if (check) check(dialog);
        PostMessageA(dialog, kRunScript, 0, 0);
    }
    return handled;
}

// Shows the dialog and runs the steps inside its modal loop, each from a message of its
// own (initial, when given, right after WM_INITDIALOG); answers the dialog's result.
// The last step must end the dialog.
INT_PTR RunDialogSteps(std::vector<std::function<void(HWND)>> steps, std::function<void(HWND)> initial = nullptr) {
    boxes.clear();
    dialogSteps.assign(steps.begin(), steps.end());
    stepsRun = 0;
    afterInit = initial;
    HHOOK hook = SetWindowsHookExA(WH_CBT, AnswerBoxes, nullptr, GetCurrentThreadId());
    INT_PTR result = DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDD_MAIN_DIALOG), nullptr,
                                     DriverProc, LPARAM(GetModuleHandleA(nullptr)));
    UnhookWindowsHookEx(hook);
    return result;
}

INT_PTR RunDialog(std::function<void(HWND)> script, std::function<void(HWND)> initial = nullptr) {
    return RunDialogSteps({script}, initial);
}

// Handles this thread's messages (the scan thread's notifications among them) until done
// answers true; false after 30 s.
bool PumpUntil(const std::function<bool()>& done) {
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > 30000) return false;
        MSG message;
        while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&message);
            DispatchMessageA(&message);
        }
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
    return true;
}

void Click(HWND dialog, int id) {
    SendDlgItemMessageA(dialog, id, BM_CLICK, 0, 0);
}

std::string Text(HWND dialog, int id) {
    char text[1024] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

// The control's own visible style: the dialog itself is shown only once its modal loop
// first idles, after the steps' messages.
bool Shown(HWND dialog, int id) {
    return (GetWindowLongA(GetDlgItem(dialog, id), GWL_STYLE) & WS_VISIBLE) != 0;
}

std::vector<std::string> ComboItems(HWND dialog) {
    std::vector<std::string> items;
    int count = int(SendDlgItemMessageA(dialog, 1004, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < count; i++) {
        char item[MAX_PATH] = "";
        SendDlgItemMessageA(dialog, 1004, CB_GETLBTEXT, i, LPARAM(item));
        items.push_back(item);
    }
    return items;
}

// Which of the runtime controls (1004, 1001, 1002, 1003, Start) are enabled, as "11111".
std::string Enabled(HWND dialog) {
    std::string state;
    for (int id : {1004, 1001, 1002, 1003, IDOK}) state += IsWindowEnabled(GetDlgItem(dialog, id)) ? '1' : '0';
    return state;
}

std::string StoredJavaExe() {
    std::string value;
    ReadRegString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", &value);
    return value;
}

DWORD StoredMemory() {
    DWORD value = 0;
    ReadRegDword(HKEY_LOCAL_MACHINE, kSettingsKey, "Memory", &value);
    return value;
}

// A machine of its own with the dialog pointed at it: the disk scan looks only at a
// "Program Files" outside the temporary folder (whose name the scan skips) and at no drive.
class MainDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        ClearJavaRegistry();
        ClearSettings();
        RemoveTree(kScanRoot);
        CreateDirectoryA(kScanRoot, nullptr);
        places.programFiles = kScanRoot;
        places.drives = 0;
        MainDialogPlaces.programFolder = machine.program().c_str();
        MainDialogPlaces.scan = &places;
        ModuleInstance = GetModuleHandleA(nullptr);
        SetupMode = false;
        StopScan = false;
    }
    void TearDown() override {
        EndScan();
        MainDialogPlaces = DialogPlaces();
        ClearJavaRegistry();
        ClearSettings();
        RemoveTree(kScanRoot);
    }

    static constexpr const char* kScanRoot = "C:\\krlxdialog";
    Machine machine;
    ScanPlaces places;
};

TEST_F(MainDialogTest, StartUpWithRuntimesFillsTheComboBestFirstAndShowsTheStoredChoice) {
    RegisterHome(kJavaSoftKey, "1.6.0_45", machine.PutHome("older"));
    RegisterHome(kJavaSoftKey, "1.8.0_20", machine.PutHome("newer"));
    machine.PutHome("chosen");
    std::string stored = machine.at("chosen\\bin\\java.exe");
    WriteRegString(HKEY_CURRENT_USER, kSettingsKey, "JavaExe", stored);
    WriteRegDword(HKEY_CURRENT_USER, kSettingsKey, "Memory", 700);

    INT_PTR result = RunDialog([&](HWND dialog) {
        EXPECT_EQ(MainDialogWindow, dialog);
        // Only the machine's stored choice is a discovery source; the user's is shown as text.
        EXPECT_EQ(ComboItems(dialog), (std::vector<std::string>{machine.at("newer\\bin\\javaw.exe"),
                                                                 machine.at("older\\bin\\javaw.exe")}));
        EXPECT_EQ(Text(dialog, 1004), stored);
        EXPECT_EQ(Text(dialog, 1002), "700");
        EXPECT_EQ(Enabled(dialog), "11111");
        EXPECT_FALSE(ScanInProgress());
        EXPECT_EQ(Text(dialog, 1008), "Re-Scan");
        EXPECT_EQ(Text(dialog, 1009),
                  "2 JRE(s) found. Press 'Re-Scan' to re-scan filesystem and registry to discover possible JRE locations.");
        EXPECT_FALSE(Shown(dialog, 1008));
        EXPECT_FALSE(Shown(dialog, 1009));
        EXPECT_FALSE(Shown(dialog, 1010));
        EXPECT_TRUE(Shown(dialog, 1004));
        // The spin control stops at 96.
        int low = 0, high = 0;
        SendDlgItemMessageA(dialog, 1003, UDM_GETRANGE32, WPARAM(&low), LPARAM(&high));
        EXPECT_EQ(low, 96);
        EXPECT_EQ(high, 2147483647);
        EXPECT_EQ(HWND(SendDlgItemMessageA(dialog, 1003, UDM_GETBUDDY, 0, 0)), GetDlgItem(dialog, 1002));
        EXPECT_TRUE(SendMessageA(dialog, WM_GETICON, ICON_BIG, 0));
        Click(dialog, IDCANCEL);
    });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(boxes.empty());
    EXPECT_TRUE(StopScan);
}

TEST_F(MainDialogTest, StoredChoiceThatDoesNotLoadGivesWayToTheBestRuntime) {
    RegisterHome(kJavaSoftKey, "1.8.0_20", machine.PutHome("newer"));
    WriteRegString(HKEY_LOCAL_MACHINE, kSettingsKey, "JavaExe", machine.PutHome("good") + "\\bin\\java.exe");
    WriteRegString(HKEY_CURRENT_USER, kSettingsKey, "JavaExe", machine.at("gone\\bin\\java.exe"));
    RunDialog([&](HWND dialog) {
        EXPECT_EQ(Text(dialog, 1004), machine.at("newer\\bin\\javaw.exe"));
        Click(dialog, IDCANCEL);
    });
}

// Nothing found by the quick sources: the dialog is busy while the disk scan runs, and its
// end enables the controls with what it found, or warns unless started with "/setup".
TEST_F(MainDialogTest, StartUpWithoutRuntimesScansTheDisk) {
    struct Case {
        const char* name;
        bool onDisk;
        bool setup;
        const char* found;   // the combo's text afterwards
        size_t boxCount;
    };
    std::string onDisk = std::string(kScanRoot) + "\\java\\bin\\javaw.exe";
    const Case cases[] = {
        {"runtime on disk", true, false, onDisk.c_str(), 0},
        {"nothing anywhere", false, false, "", 1},
        {"nothing, /setup", false, true, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RemoveTree(kScanRoot);
        CreateDirectoryA(kScanRoot, nullptr);
        if (c.onDisk) {
            CreateDirectoryA((std::string(kScanRoot) + "\\java").c_str(), nullptr);
            CreateDirectoryA((std::string(kScanRoot) + "\\java\\bin").c_str(), nullptr);
            ASSERT_TRUE(CopyFileTo(TinyJava(), onDisk));
        }
        SetupMode = c.setup;
        auto busy = [](HWND dialog) {
            // The scan's end is a message to this thread, which has handled none yet.
            EXPECT_EQ(Enabled(dialog), "00000");
            EXPECT_EQ(Text(dialog, 1008), "Stop");
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, IDCANCEL)));
            EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1007)));
            EXPECT_EQ(Text(dialog, 1009), "Discovering available JREs (0 found so far)...");
        };
        INT_PTR result = RunDialog([&](HWND dialog) {
            EXPECT_TRUE(PumpUntil([] { return !ScanInProgress(); }));
            EXPECT_TRUE(PumpUntil([&] { return Enabled(dialog) == "11111"; }));
            EXPECT_EQ(Text(dialog, 1004), c.found);
            EXPECT_EQ(Text(dialog, 1008), "Re-Scan");
            Click(dialog, IDCANCEL);
        }, busy);
        EXPECT_EQ(result, IDCANCEL);
        ASSERT_EQ(boxes.size(), c.boxCount);
        if (c.boxCount) {
            EXPECT_EQ(boxes[0].text, kNoJavaText);
            EXPECT_EQ(boxes[0].kind, "ok exclamation");
            EXPECT_NE(boxes[0].owner, nullptr);
        }
    }
}

// Save Settings: what it says, what it answers and what it stores, one row per case.
TEST_F(MainDialogTest, SaveSettingsChecksAndStores) {
    std::string good = machine.PutJava("plain\\bin\\java.exe");
    std::string old = machine.PutJava("old-1.4.2\\bin\\java.exe");
    std::string text = machine.PutFile("notes.txt", "not a program");
    std::string missing = machine.at("missing\\java.exe");
    struct Case {
        const char* name;
        std::string java;
        const char* memory;
        std::vector<int> answers;
        std::string box;        // the one message box's text; empty: none
        const char* kind;
        int result;
        std::string storedJava;
        DWORD storedMemory;
    };
    const std::string oldQuestion =
        "The version of selected Java Runtime Environment (1.4.2) is not supported by Corvalis. We strongly recommend "
        "to install JRE version 1.5.0 or newer. Do you want to continue anyway?";
    const Case cases[] = {
        {"empty", "", "512", {}, "Please select valid java.exe", "ok hand", 0, "", 0},
        {"blank", "   \t ", "512", {}, "Please select valid java.exe", "ok hand", 0, "", 0},
        {"text file", text, "512", {}, "The file \"" + text + "\" is not valid Java Executable", "ok hand", 0, "", 0},
        {"missing file", missing, "512", {}, "The file \"" + missing + "\" is not valid Java Executable", "ok hand", 0,
         "", 0},
        {"1.4.2, No", old, "512", {IDNO}, oldQuestion, "yesno exclamation", 0, "", 0},
        {"1.4.2, Yes", old, "512", {IDYES}, oldQuestion, "yesno exclamation", 1, old, 512},
        {"unknown version", "  " + good + " ", "512", {}, "", "", 1, good, 512},
        {"heap 95", good, "95", {}, kMemoryText, "ok hand", 0, "", 0},
        {"heap 96", good, "96", {}, "", "", 1, good, 96},
        {"heap empty", good, "", {}, kMemoryText, "ok hand", 0, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ClearSettings();
        DeleteFileA(machine.at("krlxconfig\\Corvalis.bat").c_str());
        RegisterHome(kJavaSoftKey, "1.8.0_20", machine.PutHome("newer"));
        boxAnswers.assign(c.answers.begin(), c.answers.end());
        int saved = -1;
        RunDialog([&](HWND dialog) {
            boxes.clear();
            SetDlgItemTextA(dialog, 1004, c.java.c_str());
            SetDlgItemTextA(dialog, 1002, c.memory);
            saved = SaveSettings(dialog);
            Click(dialog, IDCANCEL);
        });
        EXPECT_EQ(saved, c.result);
        ASSERT_EQ(boxes.size(), c.box.empty() ? 0u : 1u);
        if (!c.box.empty()) {
            EXPECT_EQ(boxes[0].text, c.box);
            EXPECT_EQ(boxes[0].kind, c.kind);
            EXPECT_NE(boxes[0].owner, nullptr);
        }
        EXPECT_EQ(StoredJavaExe(), c.storedJava);
        EXPECT_EQ(StoredMemory(), c.storedMemory);
        std::string script = ReadFileText(machine.at("krlxconfig\\Corvalis.bat"));
        if (c.result) {
            EXPECT_NE(script.find("\"" + c.storedJava + "\" -Xmx" + std::to_string(c.storedMemory) + "m "),
                      std::string::npos)
                << script;
            EXPECT_TRUE(FileExists(machine.at("krlxconfig\\Corvalis.lnk")));
        } else {
            EXPECT_EQ(script, "");
        }
    }
}

// Start ends the dialog with 1 only after a successful save; a start script that cannot
// be written keeps it open without a word, with the settings and the link stored.
TEST_F(MainDialogTest, StartEndsOnlyAfterASuccessfulSave) {
    std::string good = machine.PutJava("plain\\bin\\java.exe");
    RegisterHome(kJavaSoftKey, "1.8.0_20", machine.PutHome("newer"));
    // A folder in the temporary script's place: CreateFile cannot replace it.
    CreateDirectoryA(machine.at("krlxconfig\\Corvalis.bat.tmp").c_str(), nullptr);
    INT_PTR result = RunDialogSteps({
        [&](HWND dialog) {
            SetDlgItemTextA(dialog, 1004, good.c_str());
            SetDlgItemTextA(dialog, 1002, "256");
            Click(dialog, IDOK);
        },
        [&](HWND dialog) {
            EXPECT_TRUE(boxes.empty());
            EXPECT_EQ(StoredJavaExe(), good);
            EXPECT_EQ(StoredMemory(), 256u);
            EXPECT_TRUE(FileExists(machine.at("krlxconfig\\Corvalis.lnk")));
            EXPECT_FALSE(FileExists(machine.at("krlxconfig\\Corvalis.bat")));
            RemoveDirectoryA(machine.at("krlxconfig\\Corvalis.bat.tmp").c_str());
            SetDlgItemTextA(dialog, 1002, "95");
            Click(dialog, IDOK);
        },
        [&](HWND dialog) {
            EXPECT_EQ(boxes.size(), 1u);
            SetDlgItemTextA(dialog, 1002, "300");
            Click(dialog, IDOK);
        },
        [&](HWND dialog) { ADD_FAILURE() << "Start did not end the dialog"; Click(dialog, IDCANCEL); },
    });
    EXPECT_EQ(stepsRun, 3);
    EXPECT_EQ(result, IDOK);
    EXPECT_EQ(boxes.size(), 1u);
    EXPECT_EQ(StoredMemory(), 300u);
    EXPECT_NE(ReadFileText(machine.at("krlxconfig\\Corvalis.bat")).find("-Xmx300m"), std::string::npos);
}

// The close box ends the dialog with 2 but leaves the disk scan running to its end; Cancel
// asks it to stop.
TEST_F(MainDialogTest, CloseBoxLeavesTheScanRunningAndCancelStopsIt) {
    std::string onDisk = std::string(kScanRoot) + "\\java\\bin\\javaw.exe";
    CreateDirectoryA((std::string(kScanRoot) + "\\java").c_str(), nullptr);
    CreateDirectoryA((std::string(kScanRoot) + "\\java\\bin").c_str(), nullptr);
    ASSERT_TRUE(CopyFileTo(TinyJava(), onDisk));
    INT_PTR result = RunDialog([&](HWND dialog) { SendMessageA(dialog, WM_CLOSE, 0, 0); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_FALSE(StopScan);
    EXPECT_EQ(DialogJreList->window.load(), nullptr);
    // Waits without stopping it (EndScan would set StopScan).
    EXPECT_TRUE(PumpUntil([] { return !ScanInProgress(); }));
    cstring found;
    EXPECT_TRUE(DialogJreList->executable_at(0, found));
    EXPECT_STREQ(found.c_str(), onDisk.c_str());
    EXPECT_TRUE(boxes.empty());

    result = RunDialog([&](HWND dialog) { Click(dialog, IDCANCEL); });
    EXPECT_EQ(result, IDCANCEL);
    EXPECT_TRUE(StopScan);
}

// Re-Scan runs the quick sources and starts the disk scan; Stop shows what was found so
// far. The scan waits on its first notification to this thread, so it is still running
// when Stop is clicked.
TEST_F(MainDialogTest, ReScanAndStop) {
    RegisterHome(kJavaSoftKey, "1.8.0_20", machine.PutHome("newer"));
    std::string onDisk = std::string(kScanRoot) + "\\java\\bin\\javaw.exe";
    CreateDirectoryA((std::string(kScanRoot) + "\\java").c_str(), nullptr);
    CreateDirectoryA((std::string(kScanRoot) + "\\java\\bin").c_str(), nullptr);
    ASSERT_TRUE(CopyFileTo(TinyJava(), onDisk));
    RunDialog([&](HWND dialog) {
        EXPECT_EQ(Text(dialog, 1008), "Re-Scan");
        Click(dialog, 1008);
        EXPECT_TRUE(ScanInProgress());
        EXPECT_EQ(Text(dialog, 1008), "Stop");
        // The scan may have appended its find already, and then waits to tell this thread.
        EXPECT_TRUE(Text(dialog, 1009) == "Discovering available JREs (1 found so far)..." ||
                    Text(dialog, 1009) == "Discovering available JREs (2 found so far)...")
            << Text(dialog, 1009);
        EXPECT_EQ(Enabled(dialog), "00000");
        Click(dialog, 1008);
        EXPECT_TRUE(StopScan);
        EXPECT_EQ(DialogJreList->window.load(), nullptr);
        EXPECT_EQ(Text(dialog, 1008), "Re-Scan");
        EXPECT_EQ(Enabled(dialog), "11111");
        EXPECT_EQ(Text(dialog, 1004), machine.at("newer\\bin\\javaw.exe"));
        EXPECT_TRUE(PumpUntil([] { return !ScanInProgress(); }));

        // Re-Scan to the end: the disk's runtime joins the registry's, in the order found.
        Click(dialog, 1008);
        EXPECT_TRUE(PumpUntil([&] { return Text(dialog, 1008) == "Re-Scan"; }));
        EXPECT_EQ(ComboItems(dialog), (std::vector<std::string>{machine.at("newer\\bin\\javaw.exe"), onDisk}));
        EXPECT_EQ(Text(dialog, 1009),
                  "2 JRE(s) found. Press 'Re-Scan' to re-scan filesystem and registry to discover possible JRE locations.");
        Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(boxes.empty());
}

// Browse opens the file dialog preset to "java.exe" and filtered to the Java executables;
// the file chosen becomes the combo's text, and a cancelled dialog changes nothing.
TEST_F(MainDialogTest, BrowsePutsTheChosenFileIntoTheCombo) {
    RegisterHome(kJavaSoftKey, "1.8.0_20", machine.PutHome("newer"));
    const std::string chosen = machine.PutJava("picked\\bin\\java.exe");
    struct Case {
        const char* name;
        std::string choice;   // empty: Cancel
        std::string combo;    // afterwards
    } cases[] = {
        {"a file chosen", chosen, chosen},
        {"cancelled", "", machine.at("newer\\bin\\javaw.exe")},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fileDialogs.clear();
        fileChoice = c.choice;
        RunDialog([&](HWND dialog) {
            Click(dialog, 1001);
            EXPECT_EQ(Text(dialog, 1004), c.combo);
            Click(dialog, IDCANCEL);
        });
        fileChoice.clear();
        ASSERT_EQ(fileDialogs.size(), 1u);
        EXPECT_EQ(fileDialogs[0].shownName, "java.exe");
        EXPECT_EQ(fileDialogs[0].shownFilter, "Java Executable (java.exe or javaw.exe)");
        EXPECT_NE(fileDialogs[0].owner, nullptr);
        EXPECT_TRUE(boxes.empty());
    }
}

// A machine whose only runtime is recorded under a newer runtime's key: Re-Scan lists it
// before the disk scan's finds, as the start-up did; once an older-style key records a
// runtime, the newer keys are no longer read.
TEST_F(MainDialogTest, ReScanReadsTheNewerRuntimesKeysWhenNothingElseIsFound) {
    const std::string temurin = machine.PutHome("temurin");
    WriteRegString(HKEY_LOCAL_MACHINE, "SOFTWARE\\Eclipse Adoptium\\JDK\\21.0.5.11\\hotspot\\MSI", "Path", temurin);
    RunDialog([&](HWND dialog) {
        EXPECT_EQ(ComboItems(dialog), (std::vector<std::string>{machine.at("temurin\\bin\\javaw.exe")}));
        Click(dialog, 1008);
        EXPECT_TRUE(PumpUntil([&] { return Text(dialog, 1008) == "Re-Scan"; }));
        EXPECT_EQ(ComboItems(dialog), (std::vector<std::string>{machine.at("temurin\\bin\\javaw.exe")}));

        RegisterHome(kJavaSoftKey, "1.8.0_20", machine.PutHome("older"));
        Click(dialog, 1008);
        EXPECT_TRUE(PumpUntil([&] { return Text(dialog, 1008) == "Re-Scan"; }));
        EXPECT_EQ(ComboItems(dialog), (std::vector<std::string>{machine.at("older\\bin\\javaw.exe")}));
        Click(dialog, IDCANCEL);
    });
    EXPECT_TRUE(boxes.empty());
}

}  // namespace
