// Where Java runtimes of version 9 and later record themselves: the registry keys their
// installers write, one subkey per version, and the environment variable that many
// installations set instead. Header-only, so that the service host, which does not link
// this library, and the configurator read one table.
#pragma once

struct NewerJavaSource {
    const char* key;          // under HKEY_LOCAL_MACHINE; each subkey is named after a version
    const char* entry;        // below a version subkey, the key that holds the values ("": the version key)
    const char* homeValue;    // the runtime's home folder
    const char* libraryValue; // full path of jvm.dll, or null when the installer writes none
};

// In the order they are tried: JavaSoft's keys (Oracle and Red Hat), then the vendors
// that write <vendor>\<JDK|JRE>\<version>\hotspot\MSI, each JDK before its JRE. Read in
// the process's own registry view.
constexpr NewerJavaSource kNewerJavaSources[] = {
    {"SOFTWARE\\JavaSoft\\JDK", "", "JavaHome", "RuntimeLib"},
    {"SOFTWARE\\JavaSoft\\JRE", "", "JavaHome", "RuntimeLib"},
    {"SOFTWARE\\Eclipse Adoptium\\JDK", "hotspot\\MSI", "Path", nullptr},
    {"SOFTWARE\\Eclipse Adoptium\\JRE", "hotspot\\MSI", "Path", nullptr},
    {"SOFTWARE\\Eclipse Foundation\\JDK", "hotspot\\MSI", "Path", nullptr},
    {"SOFTWARE\\Eclipse Foundation\\JRE", "hotspot\\MSI", "Path", nullptr},
    {"SOFTWARE\\AdoptOpenJDK\\JDK", "hotspot\\MSI", "Path", nullptr},
    {"SOFTWARE\\AdoptOpenJDK\\JRE", "hotspot\\MSI", "Path", nullptr},
};

// Tried after every key of the table.
constexpr char kJavaHomeVariable[] = "JAVA_HOME";

// The part of a home folder text that names the folder, as installers and people write
// it: blanks and double quotes around it and trailing separators go (a lone one stays),
// so that C:\jdk\ and "C:\jdk" both name C:\jdk. Answers its length; *start gets its offset.
inline unsigned JavaHomeSpan(const char* text, unsigned length, unsigned* start) {
    auto blank = [](char c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    unsigned begin = 0, end = length;
    for (int pass = 0; pass < 2; pass++) {   // blanks, then quotes, then blanks inside them
        while (begin < end && blank(text[begin])) begin++;
        while (end > begin && blank(text[end - 1])) end--;
        if (pass == 0 && begin < end && text[begin] == '"') begin++;
        if (pass == 0 && end > begin && text[end - 1] == '"') end--;
    }
    while (end - begin > 1 && (text[end - 1] == '\\' || text[end - 1] == '/')) end--;
    *start = begin;
    return end - begin;
}
