// The Windows folder listing and the disc's files found through it: names
// that reach the system as UTF-16 come back as UTF-8, in byte order, and a
// disc named with backslashes, in any case, is found.
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "disc/disc_files.hpp"
#include "platform/dir.hpp"

namespace {

std::string utf8(const std::wstring& wide) {
    int n = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    std::string s(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, s.data(), n, nullptr, nullptr);
    s.pop_back();
    return s;
}

// A folder of its own under the temporary folder (its name not ASCII),
// removed with what the test made in it.
class Scratch {
  public:
    Scratch() {
        wchar_t temp[MAX_PATH];
        GetTempPathW(MAX_PATH, temp);
        static unsigned serial = 0;
        path_ = std::wstring(temp) + L"m2vhdr-d\u00edsc-" + std::to_wstring(GetCurrentProcessId()) +
                L"-" + std::to_wstring(serial++);
        CreateDirectoryW(path_.c_str(), nullptr);
    }
    ~Scratch() {
        for (auto it = made_.rbegin(); it != made_.rend(); ++it) {
            if (!DeleteFileW(it->c_str())) RemoveDirectoryW(it->c_str());
        }
        RemoveDirectoryW(path_.c_str());
    }
    Scratch(const Scratch&) = delete;
    Scratch& operator=(const Scratch&) = delete;

    std::wstring path() const { return path_; }
    void folder(const std::wstring& name) {
        CreateDirectoryW((path_ + L"\\" + name).c_str(), nullptr);
        made_.push_back(path_ + L"\\" + name);
    }
    void file(const std::wstring& name) {
        HANDLE h = CreateFileW((path_ + L"\\" + name).c_str(), GENERIC_WRITE, 0, nullptr,
                               CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        EXPECT_NE(h, INVALID_HANDLE_VALUE);
        CloseHandle(h);
        made_.push_back(path_ + L"\\" + name);
    }

  private:
    std::wstring path_;
    std::vector<std::wstring> made_;
};

TEST(Win32Folder, NamesAsUtf8InByteOrder) {
    Scratch scratch;
    for (const wchar_t* name : {L"b", L"a.VOB", L"\u00e9t\u00e9", L"A", L"\u65e5\u672c"})
        scratch.file(name);
    scratch.folder(L"sub");
    std::vector<std::string> names{"left over"};
    int error = -1;
    ASSERT_EQ(platform_list_folder(utf8(scratch.path()).c_str(), &names, &error),
              FolderListing::LISTED);
    EXPECT_EQ(error, 0);
    std::vector<std::string> expected{
        "A", "a.VOB", "b", "sub", "\xc3\xa9t\xc3\xa9", "\xe6\x97\xa5\xe6\x9c\xac"};
    EXPECT_EQ(names, expected);
    // With a final separator, the same.
    ASSERT_EQ(platform_list_folder((utf8(scratch.path()) + "\\").c_str(), &names, &error),
              FolderListing::LISTED);
    EXPECT_EQ(names, expected);
    EXPECT_EQ(platform_list_folder((utf8(scratch.path()) + "\\a.VOB").c_str(), &names, &error),
              FolderListing::NOT_A_FOLDER);
    EXPECT_TRUE(names.empty());
    EXPECT_EQ(platform_list_folder((utf8(scratch.path()) + "\\none").c_str(), &names, &error),
              FolderListing::FAILED);
    EXPECT_EQ(error, ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform_list_folder("\xff\xfe", &names, &error), FolderListing::FAILED);
    EXPECT_EQ(error, ERROR_INVALID_NAME);
}

TEST(Win32Folder, FindsADiscByAnyOfItsNames) {
    Scratch scratch;
    scratch.folder(L"video_ts");
    for (const wchar_t* name :
         {L"video_ts\\Video_TS.ifo", L"video_ts\\VIDEO_TS.BUP", L"video_ts\\vts_01_0.ifo",
          L"video_ts\\VTS_01_0.BUP", L"video_ts\\vts_01_1.vob", L"video_ts\\VTS_01_2.VOB"}) {
        scratch.file(name);
    }
    std::string root = utf8(scratch.path());
    for (const std::string& given :
         {root, root + "\\video_ts", root + "\\video_ts\\", root + "\\video_ts\\vts_01_0.ifo"}) {
        DiscFiles d = disc_find(given.c_str());
        ASSERT_EQ(d.fault, DiscFault::NONE) << given;
        EXPECT_EQ(d.video_ts, root + "\\video_ts") << given;
        EXPECT_EQ(d.vmg_ifo, root + "\\video_ts\\Video_TS.ifo");
        ASSERT_EQ(d.title_sets.size(), 1u);
        ASSERT_EQ(d.title_sets[0].title_vobs.size(), 2u);
        EXPECT_EQ(d.title_sets[0].title_vobs[0], root + "\\video_ts\\vts_01_1.vob");
        EXPECT_TRUE(d.damage.empty());
    }
}

}  // namespace
