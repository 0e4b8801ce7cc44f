// Texts of the last-error numbers, as the error report prints them.
#include "driver/error_text.hpp"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace {

TEST(ErrorText, Texts) {
  struct Case {
    int number;
    const char* text;
  };
  const Case cases[] = {
      {0, "No error"},
      {2, "No such file or directory"},
      {9, "Bad file descriptor"},
      {12, "Not enough space"},
      {13, "Permission denied"},
      {16, "Resource device"},
      {22, "Invalid argument"},
      {24, "Too many open files"},
      {25, "Inappropriate I/O control operation"},
      {28, "No space left on device"},
      {34, "Result too large"},
      {38, "Filename too long"},
      {42, "Illegal byte sequence"},
      // Gaps in the table and everything outside it.
      {15, "Unknown error"},
      {26, "Unknown error"},
      {35, "Unknown error"},
      {37, "Unknown error"},
      {-1, "Unknown error"},
      {43, "Unknown error"},
      {INT_MIN, "Unknown error"},
      {INT_MAX, "Unknown error"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(std::string(error_text(c.number)), c.text) << c.number;
}

} // namespace
