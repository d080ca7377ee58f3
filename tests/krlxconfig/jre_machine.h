// A machine for the configurator's tests: a root folder with the program folder
// "krlxconfig" in it, Java runtimes laid out as copies of tiny_java.exe (padded to an
// exact size when asked), the VM file qzv.vm and start script, the Java vendors' registry
// keys and the Corvalis settings; everything is removed again at the end. Also the
// records of krlxconfig.log written since a mark.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace krlx_testing {

const char kJavaSoftKey[] = "SOFTWARE\\JavaSoft\\Java Runtime Environment";
const char kIbmKey[] = "SOFTWARE\\IBM\\Java2 Runtime Environment";
const char kSettingsKey[] = "SOFTWARE\\Quorvane\\Corvalis";

// build/x86_64/tests/doubles/tiny_java/tiny_java.exe
std::string TinyJava();

// Removes the vendor keys (the newer runtimes' too) and the settings of both roots.
void ClearJavaRegistry();
void ClearSettings();

class Machine {
public:
    // The root's name holds no digits, so that no version is read from the paths.
    Machine();
    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    const std::string& root() const { return root_; }
    const std::string& program() const { return program_; }
    std::string at(const std::string& relative) const { return root_ + "\\" + relative; }

    // Copies tiny_java.exe to root\relative (folders made as needed), padded with zero
    // bytes to size when size is not 0; answers the full path.
    std::string PutJava(const std::string& relative, long size = 0) const;
    // A runtime home: bin\javaw.exe and bin\java.exe under root\relative.
    std::string PutHome(const std::string& relative) const;
    std::string PutFile(const std::string& relative, const std::string& content) const;
    void WriteSpecFile(const std::string& content) const { PutFile("qzv.vm", content); }
    std::string WriteScript(const std::string& content) const { return PutFile("krlxconfig\\Corvalis.bat", content); }
    // Sets a folder's last-write time (the year only matters here).
    void SetWritten(const std::string& relative, WORD year) const;

private:
    std::string root_;
    std::string program_;
};

// A version subkey under a vendor key of HKEY_LOCAL_MACHINE with its JavaHome.
void RegisterHome(const std::string& vendorKey, const std::string& version, const std::string& home);
// Raw bytes of a value, as another program could store them.
void PutRawValue(HKEY root, const std::string& subkey, const char* name, DWORD type, const std::string& bytes);

// The records of krlxconfig.log written since construction, time stamps removed.
class ConfigLogWatch {
public:
    ConfigLogWatch();
    std::vector<std::string> Records() const;

private:
    long long start_;
};

}  // namespace krlx_testing
