// A product folder laid out like an installation, for the service host's tests:
// <root>\halvorin (the program folder, optionally with halvorin64.exe from dist/) and
// <root>\jre\bin\server\jvm.dll, the stand-in Java VM, with its script and journal.
#pragma once

#include <string>
#include <vector>

#include "test_support.h"

class ProductLayout {
public:
    ProductLayout(const std::string& tag, bool withHost);
    const std::string& root() const { return folder_.path(); }
    std::string programFolder() const { return root() + "\\halvorin"; }
    std::string hostPath() const { return programFolder() + "\\halvorin64.exe"; }
    std::string javaHome() const { return root() + "\\jre"; }
    std::string jvmPath() const { return javaHome() + "\\bin\\server\\jvm.dll"; }
    std::string journalPath() const { return javaHome() + "\\bin\\server\\standin.journal"; }

    void writeScript(const std::string& text) const;   // standin.script beside jvm.dll
    // halvorin.vm naming the stand-in's Java folder, in the given program folder.
    void writeServiceSpec(const std::string& programFolder) const;

    // The journal's lines without their thread ids, and the id of each line.
    std::vector<std::string> journal(std::vector<unsigned long>* threads = nullptr) const;
    // Journal lines that show the host breaking the VM's rules (unexpected slots, misuse).
    std::vector<std::string> journalComplaints() const;

private:
    testing_support::TempFolder folder_;
};

// The stand-in jvm.dll built for the tests.
std::string StandinJvmPath();

// Stops and deletes a service if it is registered, and waits until its key is gone.
void RemoveServiceIfPresent(SC_HANDLE manager, const char* name);
