// The window and process natives of krln64.dll: applyIcon on windows of this process
// and of another one (under Xvfb), gpd, and grd for the session names it must tell apart.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "krln_library.h"
#include "test_jni_env.h"
#include "test_support.h"

using test_jni::TestJniEnv;

namespace {

std::string unique(const std::string& name) { return name + std::to_string(GetCurrentProcessId()); }

HICON iconOf(HWND window, WPARAM which) {
    DWORD_PTR icon = 0;
    SendMessageTimeoutA(window, WM_GETICON, which, 0, SMTO_ABORTIFHUNG, 5000, &icon);
    return reinterpret_cast<HICON>(icon);
}

// The product icons as the library loads them: LoadIconA hands out the same shared
// handle for the same module and resource.
HICON productIcon(int id) { return LoadIconA(Krln().module, MAKEINTRESOURCEA(id)); }

// The windows of a list in the order EnumWindows reports them.
std::vector<HWND> enumerationOrder(const std::vector<HWND>& windows) {
    struct Search {
        const std::vector<HWND>* wanted;
        std::vector<HWND> found;
    } search{&windows, {}};
    EnumWindows(
        [](HWND window, LPARAM param) -> BOOL {
            Search* s = reinterpret_cast<Search*>(param);
            for (HWND w : *s->wanted) {
                if (w == window) s->found.push_back(window);
            }
            return TRUE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// A window of the given class in another process, for as long as this object lives.
class OtherProcessWindow {
public:
    explicit OtherProcessWindow(const std::string& className) {
        std::string tag = unique("krln_helper_" + className);
        ready_ = CreateEventA(nullptr, TRUE, FALSE, (tag + "_ready").c_str());
        stop_ = CreateEventA(nullptr, TRUE, FALSE, (tag + "_stop").c_str());
        std::string command = "\"" + testing_support::BuildFile("tests\\krln\\krln_window_helper.exe") + "\" " +
                              className + " " + tag + "_ready " + tag + "_stop";
        STARTUPINFOA startup = {sizeof startup};
        if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process_))
            return;
        HANDLE waits[2] = {ready_, process_.hProcess};
        if (WaitForMultipleObjects(2, waits, FALSE, 30000) != WAIT_OBJECT_0) return;
        window_ = FindWindowA(className.c_str(), nullptr);
    }
    ~OtherProcessWindow() {
        SetEvent(stop_);
        if (process_.hProcess) {
            WaitForSingleObject(process_.hProcess, 10000);
            CloseHandle(process_.hProcess);
            CloseHandle(process_.hThread);
        }
        CloseHandle(ready_);
        CloseHandle(stop_);
    }
    HWND window() const { return window_; }
    DWORD processId() const { return process_.dwProcessId; }

private:
    HANDLE ready_ = nullptr;
    HANDLE stop_ = nullptr;
    PROCESS_INFORMATION process_ = {};
    HWND window_ = nullptr;
};

class WindowNatives : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_KRLN_LOADED(); }
    void TearDown() override {
        for (HWND window : windows_) DestroyWindow(window);
        for (const std::string& name : classes_) UnregisterClassA(name.c_str(), GetModuleHandleA(nullptr));
        EXPECT_EQ(jni.OpenStrings(), 0u);
    }

    HWND CreateTestWindow(const std::string& className) {
        if (std::find(classes_.begin(), classes_.end(), className) == classes_.end()) {
            WNDCLASSA windowClass = {};
            windowClass.lpfnWndProc = DefWindowProcA;
            windowClass.hInstance = GetModuleHandleA(nullptr);
            windowClass.lpszClassName = className.c_str();
            EXPECT_NE(RegisterClassA(&windowClass), 0);
            classes_.push_back(className);
        }
        HWND window = CreateWindowExA(0, className.c_str(), "krln test", WS_OVERLAPPEDWINDOW, 0, 0, 120, 80, nullptr,
                                      nullptr, GetModuleHandleA(nullptr), nullptr);
        EXPECT_NE(window, nullptr) << "no display?";
        windows_.push_back(window);
        return window;
    }
    void ApplyIcon(const std::string& className) { Krln().applyIcon(jni.env(), nullptr, jni.NewString(className)); }

    TestJniEnv jni;
    std::vector<HWND> windows_;
    std::vector<std::string> classes_;
};

TEST_F(WindowNatives, FirstMatchingWindowOfThisProcessGetsBothIconsAndNoOtherDoes) {
    std::string className = unique("KrlnTwins");
    HWND one = CreateTestWindow(className);
    HWND two = CreateTestWindow(className);
    HWND bystander = CreateTestWindow(unique("KrlnBystander"));
    ASSERT_TRUE(one && two && bystander);
    std::vector<HWND> order = enumerationOrder({one, two});
    ASSERT_EQ(order.size(), 2u);

    ApplyIcon(className);
    HICON bigIcon = productIcon(101);
    HICON smallIcon = productIcon(102);
    ASSERT_NE(bigIcon, nullptr);
    ASSERT_NE(smallIcon, nullptr);
    EXPECT_NE(bigIcon, smallIcon);
    EXPECT_EQ(iconOf(order[0], ICON_BIG), bigIcon);
    EXPECT_EQ(iconOf(order[0], ICON_SMALL), smallIcon);
    EXPECT_EQ(iconOf(order[1], ICON_BIG), nullptr);
    EXPECT_EQ(iconOf(order[1], ICON_SMALL), nullptr);
    EXPECT_EQ(iconOf(bystander, ICON_BIG), nullptr);
}

TEST_F(WindowNatives, ClassNamesMatchExactly) {
    std::string className = unique("KrlnExact");
    HWND window = CreateTestWindow(className);
    ASSERT_NE(window, nullptr);
    std::string lower = className;
    for (char& c : lower) c = char(tolower(static_cast<unsigned char>(c)));
    for (const std::string& other : {lower, className.substr(0, className.size() - 1), className + "x", std::string()})
        ApplyIcon(other);
    EXPECT_EQ(iconOf(window, ICON_BIG), nullptr);
    EXPECT_EQ(iconOf(window, ICON_SMALL), nullptr);
}

TEST_F(WindowNatives, WindowsOfAnotherProcessAreLeftAlone) {
    std::string shared = unique("KrlnShared");
    HWND mine = CreateTestWindow(shared);
    ASSERT_NE(mine, nullptr);
    OtherProcessWindow onlyThere(unique("KrlnElsewhere"));
    OtherProcessWindow alsoThere(shared);
    ASSERT_NE(onlyThere.window(), nullptr) << "helper window";
    ASSERT_NE(alsoThere.window(), nullptr) << "helper window";
    DWORD owner = 0;
    GetWindowThreadProcessId(onlyThere.window(), &owner);
    ASSERT_EQ(owner, onlyThere.processId());
    GetWindowThreadProcessId(alsoThere.window(), &owner);
    ASSERT_EQ(owner, alsoThere.processId());
    // The helper's window is newer, so it comes before ours: the search has to skip it.
    ASSERT_EQ(enumerationOrder({mine, alsoThere.window()}), (std::vector<HWND>{alsoThere.window(), mine}));

    ApplyIcon(unique("KrlnElsewhere"));
    EXPECT_EQ(iconOf(onlyThere.window(), ICON_BIG), nullptr);
    EXPECT_EQ(iconOf(onlyThere.window(), ICON_SMALL), nullptr);
    EXPECT_EQ(iconOf(mine, ICON_BIG), nullptr);

    ApplyIcon(shared);
    EXPECT_EQ(iconOf(alsoThere.window(), ICON_BIG), nullptr);
    EXPECT_EQ(iconOf(alsoThere.window(), ICON_SMALL), nullptr);
    EXPECT_EQ(iconOf(mine, ICON_BIG), productIcon(101));
    EXPECT_EQ(iconOf(mine, ICON_SMALL), productIcon(102));
}

// GetStringUTFChars of a null string would bring a VM down; the test environment fails
// the test if it is called.
TEST_F(WindowNatives, NullClassNameDoesNothing) { Krln().applyIcon(jni.env(), nullptr, nullptr); }

TEST(ProcessNatives, GpdIsTheCurrentProcessId) {
    ASSERT_KRLN_LOADED();
    TestJniEnv jni;
    EXPECT_EQ(Krln().gpd(jni.env(), nullptr), jint(GetCurrentProcessId()));
}

TEST(ProcessNatives, GrdTellsRemoteDesktopSessionsByName) {
    ASSERT_KRLN_LOADED();
    TestJniEnv jni;
    char saved[1024];
    DWORD savedLength = GetEnvironmentVariableA("SESSIONNAME", saved, sizeof saved);
    struct Case {
        const char* what;
        std::string value;
        jint expected;
    };
    const Case cases[] = {
        {"RDP-Tcp#0", "RDP-Tcp#0", 1},
        {"rdp-tcp#1", "rdp-tcp#1", 1},
        {"three letters", "rDp", 1},
        {"Console", "Console", 0},
        {"two characters", "RD", 0},
        {"RDP inside", "xRDP", 0},
        {"255 characters", "RDP" + std::string(252, 'x'), 1},
        {"256 characters", "RDP" + std::string(253, 'x'), 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(SetEnvironmentVariableA("SESSIONNAME", c.value.c_str()));
        EXPECT_EQ(Krln().grd(jni.env(), nullptr), c.expected) << c.what;
    }
    SetEnvironmentVariableA("SESSIONNAME", nullptr);
    EXPECT_EQ(Krln().grd(jni.env(), nullptr), 0) << "unset";
    if (savedLength && savedLength < sizeof saved) SetEnvironmentVariableA("SESSIONNAME", saved);
}

}  // namespace
