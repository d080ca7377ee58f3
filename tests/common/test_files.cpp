// File and folder helpers: the whole-file read (empty, missing, with zero bytes, huge),
// parents of paths, making folders with parents, writing everything, the sharing test,
// an image's machine type with broken headers, folder sizes and emptying folders.
#include <gtest/gtest.h>
#include <windows.h>

#include <errno.h>
#include <fcntl.h>
#include <io.h>
#include <string.h>

#include <string>

#include "exception.h"
#include "files.h"
#include "folders.h"
#include "test_support.h"
#include "thrown.h"

using testing_support::FileExists;
using testing_support::FileSize;
using testing_support::ReadFileText;
using testing_support::TempFolder;
using testing_support::WriteFileText;

namespace {

// A file of the given size whose last bytes are tail, made sparse: the size is set
// first and only the tail is written.
bool make_large_file(const std::string& path, long long size, const std::string& tail) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER at;
    at.QuadPart = size;
    bool made = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    at.QuadPart = size - (long long)tail.size();
    DWORD written = 0;
    made = made && SetFilePointerEx(file, at, nullptr, FILE_BEGIN) &&
           WriteFile(file, tail.data(), DWORD(tail.size()), &written, nullptr) && written == tail.size();
    CloseHandle(file);
    return made;
}

std::string image_with_header_offset(unsigned offset, const std::string& atOffset, size_t size) {
    std::string image(size, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    for (int i = 0; i < 4; i++) image[60 + i] = char(offset >> (8 * i));
    if (offset < size) image.replace(offset, atOffset.size(), atOffset.substr(0, size - offset));
    return image;
}

}  // namespace

TEST(CommonFiles, ReadsWholeFiles) {
    TempFolder folder("common_files");
    cstring text("stale");
    ASSERT_TRUE(WriteFileText(folder.file("empty.txt"), ""));
    EXPECT_TRUE(read_whole_file(text, folder.file("empty.txt").c_str()));
    EXPECT_EQ(text.length(), 0u);
    EXPECT_STREQ(text.c_str(), "");

    const std::string binary("a\0b\r\nc\0", 7);
    ASSERT_TRUE(WriteFileText(folder.file("binary.bin"), binary));
    EXPECT_TRUE(read_whole_file(text, folder.file("binary.bin").c_str()));
    EXPECT_EQ(std::string(text.c_str(), text.length()), binary);   // binary mode: CR LF kept
    EXPECT_EQ(text.c_str()[text.length()], 0);

    // Missing files and folders fail to open with the runtime's error text.
    std::string missing = folder.file("missing.txt");
    int code = 0;
    EXPECT_EQ(thrown_message([&] { read_whole_file(text, missing.c_str()); }, &code),
              "Error 18001: Cannot open file \"" + missing + "\": " + strerror(ENOENT));
    EXPECT_EQ(code, 18001);
    EXPECT_EQ(thrown_message([&] { read_whole_file(text, folder.path().c_str()); }, &code),
              "Error 18001: Cannot open file \"" + folder.path() + "\": " + strerror(EACCES));
    EXPECT_EQ(thrown_message([&] { read_whole_file(text, nullptr); }, &code),
              std::string("Error 18001: Cannot open file \"\": ") + strerror(ENOENT));
}

TEST(CommonFiles, ReadsAHugeFileWholeOrFailsCleanly) {
    TempFolder folder("common_files_huge");
    const long long size = 200ll << 20;
    std::string path = folder.file("large.bin");
    ASSERT_TRUE(make_large_file(path, size, "THE END"));
    {
        cstring text;
        try {
            read_whole_file(text, path.c_str());
            ASSERT_EQ(text.length(), unsigned(size));
            EXPECT_EQ(text.c_str()[0], 0);
            EXPECT_STREQ(text.c_str() + size - 7, "THE END");
        } catch (CVelmorException* error) {
            // Out of memory is allowed, as a clean 18003 only.
            EXPECT_EQ(error->code(), 18003) << error->message();
            delete error;
        }
    }
    DeleteFileA(path.c_str());

    // More than a cstring can hold: 18003 before any read, the target left empty.
    std::string beyond = folder.file("beyond.bin");
    ASSERT_TRUE(make_large_file(beyond, 5ll << 30, "x"));
    cstring text("old");
    EXPECT_EQ(thrown_message([&] { read_whole_file(text, beyond.c_str()); }),
              "Error 18003: Read operation on file \"" + beyond + "\" failed");
    EXPECT_EQ(text.length(), 0u);
    DeleteFileA(beyond.c_str());
}

TEST(CommonFiles, TellsFilesAndFolders) {
    TempFolder folder("common_files_exist");
    ASSERT_TRUE(WriteFileText(folder.file("a.txt"), "a"));
    EXPECT_TRUE(file_exists(folder.file("a.txt").c_str()));
    EXPECT_TRUE(file_exists(folder.path().c_str()));
    EXPECT_FALSE(file_exists(folder.file("b.txt").c_str()));
    EXPECT_FALSE(file_exists(nullptr));
    EXPECT_TRUE(is_folder(folder.path().c_str()));
    EXPECT_FALSE(is_folder(folder.file("a.txt").c_str()));
    EXPECT_FALSE(is_folder(folder.file("b").c_str()));
    EXPECT_FALSE(is_folder(nullptr));
}

TEST(CommonFolders, ParentFolderCutsTheLastComponent) {
    cstring parent("x");
    EXPECT_STREQ(parent_folder("C:\\jdk\\bin\\java.exe", parent), "C:\\jdk\\bin");
    EXPECT_STREQ(parent_folder("C:/jdk/bin//", parent), "C:/jdk");   // trailing separators ignored
    EXPECT_STREQ(parent_folder("C:\\jdk/bin\\java.exe", parent), "C:\\jdk/bin");
    EXPECT_STREQ(parent_folder("java", parent), "");
    EXPECT_STREQ(parent_folder("\\java", parent), "");
    EXPECT_STREQ(parent_folder("C:\\", parent), "");
    EXPECT_STREQ(parent_folder("", parent), "");
    EXPECT_STREQ(parent_folder(nullptr, parent), "");

    // In place, as the start-script scan uses it: twice up from java.exe is the home.
    cstring element("C:\\jdk\\bin\\java.exe");
    parent_folder(element.c_str(), element);
    parent_folder(element.c_str(), element);
    EXPECT_STREQ(element.c_str(), "C:\\jdk");
}

TEST(CommonFolders, MakesFoldersWithTheirParents) {
    TempFolder folder("common_folders");
    EXPECT_FALSE(make_folder_with_parents(folder.path().c_str()));   // exists already

    std::string deep = folder.path() + "\\a\\b\\c";
    EXPECT_TRUE(make_folder_with_parents(deep.c_str()));
    EXPECT_TRUE(is_folder((folder.path() + "\\a").c_str()));
    EXPECT_TRUE(is_folder(deep.c_str()));
    EXPECT_FALSE(make_folder_with_parents(deep.c_str()));
    EXPECT_TRUE(make_folder_with_parents((folder.path() + "/x/y/").c_str()));
    EXPECT_TRUE(is_folder((folder.path() + "\\x\\y").c_str()));

    // A parent that is a file cannot become a folder.
    ASSERT_TRUE(WriteFileText(folder.file("file"), "f"));
    EXPECT_FALSE(make_folder_with_parents((folder.file("file") + "\\sub\\more").c_str()));

    EXPECT_TRUE(make_folder_of_file((folder.path() + "\\links\\Corvalis\\Corvalis.lnk").c_str()));
    EXPECT_TRUE(is_folder((folder.path() + "\\links\\Corvalis").c_str()));
    EXPECT_FALSE(file_exists((folder.path() + "\\links\\Corvalis\\Corvalis.lnk").c_str()));
    EXPECT_TRUE(make_folder_with_parents(""));   // nothing to make
    // A drive's root has no parent and is never made: true, whatever its spelling.
    for (const char* root : {"C:\\", "C:", "c:/", "C:\\\\", "\\", "/"}) {
        SCOPED_TRACE(root);
        EXPECT_TRUE(make_folder_with_parents(root));
    }
    EXPECT_TRUE(make_folder_of_file("C:\\x.txt"));
    EXPECT_FALSE(file_exists("C:\\x.txt"));

    // A relative path without a parent is made too, not just answered true.
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    ASSERT_TRUE(SetCurrentDirectoryA(folder.path().c_str()));
    EXPECT_TRUE(make_folder_with_parents("relative"));
    EXPECT_TRUE(make_folder_with_parents("relative2\\inner"));
    SetCurrentDirectoryA(current);
    EXPECT_TRUE(is_folder((folder.path() + "\\relative").c_str()));
    EXPECT_TRUE(is_folder((folder.path() + "\\relative2\\inner").c_str()));
}

TEST(CommonFiles, WritesEverything) {
    TempFolder folder("common_files_write");
    std::string data(3 * 65536 + 17, 'w');
    std::string path = folder.file("handle.bin");
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(write_all(file, data.data(), data.size()));
    EXPECT_TRUE(write_all(file, "", 0));
    CloseHandle(file);
    EXPECT_EQ(ReadFileText(path), data);

    // A handle opened for reading only cannot be written.
    file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_FALSE(write_all(file, "x", 1));
    CloseHandle(file);

    std::string descriptorPath = folder.file("descriptor.bin");
    int descriptor = _open(descriptorPath.c_str(), _O_CREAT | _O_TRUNC | _O_WRONLY | _O_BINARY, 0644);
    ASSERT_GE(descriptor, 0);
    EXPECT_EQ(write_all_descriptor(descriptor, data.data(), data.size()), data.size());
    EXPECT_EQ(_close(descriptor), -1);   // closed already
    EXPECT_EQ(ReadFileText(descriptorPath), data);

    descriptor = _open(descriptorPath.c_str(), _O_RDONLY | _O_BINARY);
    EXPECT_EQ(write_all_descriptor(descriptor, "abc", 3), 0u);
}

TEST(CommonFiles, TellsAFileInUse) {
    TempFolder folder("common_files_use");
    std::string path = folder.file("locked.txt");
    ASSERT_TRUE(WriteFileText(path, "x"));
    EXPECT_FALSE(file_in_use(path.c_str()));
    HANDLE holder = CreateFileA(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(file_in_use(path.c_str()));
    CloseHandle(holder);
    // Held for reading with write sharing refused: still in use for a writer.
    holder = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_TRUE(file_in_use(path.c_str()));
    CloseHandle(holder);
    EXPECT_FALSE(file_in_use(path.c_str()));
    EXPECT_FALSE(file_in_use(folder.file("missing").c_str()));
}

TEST(CommonFiles, ReadsTheMachineTypeOfImagesOnly) {
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof self);
    EXPECT_EQ(executable_machine_type(self), 0x8664);

    TempFolder folder("common_files_pe");
    auto machine_of = [&](const std::string& content) {
        std::string path = folder.file("image.exe");
        EXPECT_TRUE(WriteFileText(path, content));
        return executable_machine_type(path.c_str());
    };
    std::string pe32("PE\0\0\x4C\x01", 6);
    EXPECT_EQ(machine_of(image_with_header_offset(128, pe32, 256)), 0x14C);
    EXPECT_EQ(machine_of(image_with_header_offset(250, pe32, 256)), 0x14C);   // header ends at the file's end
    // Offsets that point beyond the file, into its last bytes, or wrap when signed.
    EXPECT_EQ(machine_of(image_with_header_offset(251, pe32, 256)), 0);
    EXPECT_EQ(machine_of(image_with_header_offset(0xFFFFFFF0u, pe32, 256)), 0);
    EXPECT_EQ(machine_of(image_with_header_offset(0x80000000u, pe32, 256)), 0);
    EXPECT_EQ(machine_of(image_with_header_offset(128, std::string("NE\0\0\x4C\x01", 6), 256)), 0);
    EXPECT_EQ(machine_of(std::string("MZ") + std::string(60, '\0')), 0);   // shorter than the DOS header
    EXPECT_EQ(machine_of("plain text, not an image at all, long enough to hold a DOS header......."), 0);
    EXPECT_EQ(executable_machine_type(folder.file("missing.exe").c_str()), 0);
    EXPECT_EQ(executable_machine_type(nullptr), 0);
}

TEST(CommonFolders, SizesAndEmptiesFolders) {
    TempFolder folder("common_folders_size");
    std::string root = folder.path() + "\\root";
    ASSERT_TRUE(make_folder_with_parents((root + "\\sub\\deeper").c_str()));
    ASSERT_TRUE(WriteFileText(root + "\\a.txt", std::string(100, 'a')));
    ASSERT_TRUE(WriteFileText(root + "\\sub\\b.txt", std::string(20, 'b')));
    ASSERT_TRUE(WriteFileText(root + "\\sub\\deeper\\c.txt", std::string(3, 'c')));
    ASSERT_TRUE(SetFileAttributesA((root + "\\sub\\b.txt").c_str(), FILE_ATTRIBUTE_READONLY));

    unsigned count = 0;
    EXPECT_EQ(folder_size(root.c_str(), false, &count), 100u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(folder_size(root.c_str(), true, &count), 123u);
    EXPECT_EQ(count, 3u);
    EXPECT_EQ(folder_size((root + "\\missing").c_str(), true, &count), 0u);
    EXPECT_EQ(count, 0u);

    SetLastError(0);
    EXPECT_FALSE(delete_folder_contents(""));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(delete_folder_contents(nullptr));

    EXPECT_TRUE(delete_folder_contents(root.c_str()));
    EXPECT_TRUE(is_folder(root.c_str()));   // the folder itself stays
    EXPECT_FALSE(file_exists((root + "\\a.txt").c_str()));
    EXPECT_FALSE(file_exists((root + "\\sub").c_str()));
    EXPECT_EQ(folder_size(root.c_str(), true, &count), 0u);
    EXPECT_FALSE(delete_folder_contents((root + "\\missing").c_str()));
}
