// Helpers of the bridge tests: where the bridge jvm.dll and the Java server's jars are
// built, a product folder that runs the real JVM through the bridge, what the Java side
// writes to java.log, the JVM's unix process, and a service registered for a test.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

std::string BridgeJvmPath();
// The unix name of a path in the x86_64 build tree (Z: is the unix root under Wine).
std::string UnixOfBuildPath(const std::string& relative);

// The bridge VM and the Java server's jars in a product folder laid out like an
// installation (tests/halvorin/product_layout.h); java.log is the Java side's output.
class ProductLayout;
void InstallBridgeJvm(const ProductLayout& layout);
std::string JavaLogPath(const ProductLayout& layout);

// From the last "jvmbridge: JVM <pid> serves the host on 127.0.0.1:<port>" line of an
// output text: the JVM's unix process id and its port, or 0.
long JvmProcessId(const std::string& output);
int JvmPort(const std::string& output);

bool UnixProcessExists(long pid);
bool WaitForUnixProcessEnd(long pid, DWORD timeoutMs);
// Polls the file until it holds the text.
bool WaitForText(const std::string& path, const std::string& text, DWORD timeoutMs);
// A loopback connection to the Java side that has sent nothing yet, or INVALID_SOCKET.
SOCKET ConnectToJvm(int port);
// Connects to the Java side with the token and tells whether it closed the connection
// without answering.
bool ConnectionIsRefused(int port, const std::string& token);

// The service "Halvorin" registered for one test with the given image, removed at the end.
class TestService {
public:
    explicit TestService(const std::string& image);
    ~TestService();
    bool registered() const { return service_ != nullptr; }
    bool start(const std::vector<std::string>& args);
    bool stop();
    // Polls until the state is reached or the time is up; the state last seen.
    DWORD waitFor(DWORD state, DWORD timeoutMs);

private:
    SC_HANDLE manager_ = nullptr;
    SC_HANDLE service_ = nullptr;
};
