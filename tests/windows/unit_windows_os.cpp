// The Windows seam's opening of a command-line argument when the narrow list
// it is given is not the ANSI spelling of the process's own command line,
// as on a real Windows where a full-width quotation mark turns into '"' and
// splits the narrow line otherwise. (Wine builds the narrow list from the
// wide one, so the end-to-end tests never get there.)
#include "platform/os.hpp"

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct StartInfo {
  int new_mode;
};
extern "C" int __cdecl __wgetmainargs(int* argc, wchar_t*** argv, wchar_t*** env, int dowildcard,
                                      StartInfo* info);

// The opened file's content, as far as a small buffer holds; the file is
// closed after.
std::string content(os_file f) {
  char buffer[64];
  LastError error = kErrorNone;
  long n = os_read(f, buffer, sizeof buffer, &error);
  os_close(f, &error);
  return std::string(buffer, static_cast<std::size_t>(n > 0 ? n : 0));
}

TEST(WindowsSeam, ArgumentOfAnotherListOpensItsNarrowName) {
  int own_count = 0;
  wchar_t** own = nullptr;
  wchar_t** env = nullptr;
  StartInfo info{0};
  ASSERT_GE(__wgetmainargs(&own_count, &own, &env, 0, &info), 0);
  ASSERT_GE(own_count, 1);

  // A file of its own, and one named as the program's own name is spelled
  // in the ANSI code page, with more after it.
  char folder[MAX_PATH];
  char temp_name[MAX_PATH];
  char own_name[2 * MAX_PATH];
  ASSERT_NE(GetTempPathA(sizeof folder, folder), 0u);
  ASSERT_NE(GetTempFileNameA(folder, "tlf", 0, temp_name), 0u);
  ASSERT_GT(WideCharToMultiByte(CP_ACP, 0, own[0], -1, own_name, sizeof own_name, nullptr, nullptr),
            0);
  const std::string names[] = {temp_name, std::string(own_name) + ".tlf"};
  const std::string text = "the narrow name";
  for (const std::string& name : names) {
    LastError error = kErrorNone;
    os_file f = os_create(name.c_str(), &error);
    ASSERT_NE(f, os_no_file) << name;
    ASSERT_TRUE(os_write_all(f, text.data(), text.size(), &error));
    ASSERT_TRUE(os_close(f, &error));
  }

  // The name stands at the first and the last place of a list as long as
  // the process's own, whose arguments there (the program, a test option)
  // would open something else or nothing, and past the end of a longer
  // one; the program's own name is spelled alike only as far as it goes.
  const struct {
    int count;
    int index;
    const std::string& name;
  } cases[] = {{own_count, 0, names[0]},
               {own_count, own_count - 1, names[0]},
               {own_count + 1, own_count, names[0]},
               {own_count, 0, names[1]}};
  for (const auto& c : cases) {
    std::vector<const char*> argv(static_cast<std::size_t>(c.count), "x");
    argv[static_cast<std::size_t>(c.index)] = c.name.c_str();
    LastError error = kErrorNone;
    os_file f = os_open_argument(c.count, argv.data(), c.index, &error);
    ASSERT_NE(f, os_no_file) << c.name << " at " << c.index << " of " << c.count;
    EXPECT_EQ(content(f), text) << c.name << " at " << c.index << " of " << c.count;
    EXPECT_EQ(error, 0);
  }
  for (const std::string& name : names)
    EXPECT_NE(DeleteFileA(name.c_str()), 0) << name;
}

} // namespace
