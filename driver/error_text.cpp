// Last-error texts. Scripts match on them, so they stay exactly as they are.
#include "driver/error_text.hpp"

static const char* const kTexts[] = {
    "No error",                            // 0
    "Operation not permitted",             // 1
    "No such file or directory",           // 2
    "No such process",                     // 3
    "Interrupted function call",           // 4
    "Input/output error",                  // 5
    "No such device or address",           // 6
    "Arg list too long",                   // 7
    "Exec format error",                   // 8
    "Bad file descriptor",                 // 9
    "No child processes",                  // 10
    "Resource temporarily unavailable",    // 11
    "Not enough space",                    // 12
    "Permission denied",                   // 13
    "Bad address",                         // 14
    "Unknown error",                       // 15
    "Resource device",                     // 16
    "File exists",                         // 17
    "Improper link",                       // 18
    "No such device",                      // 19
    "Not a directory",                     // 20
    "Is a directory",                      // 21
    "Invalid argument",                    // 22
    "Too many open files in system",       // 23
    "Too many open files",                 // 24
    "Inappropriate I/O control operation", // 25
    "Unknown error",                       // 26
    "File too large",                      // 27
    "No space left on device",             // 28
    "Invalid seek",                        // 29
    "Read-only file system",               // 30
    "Too many links",                      // 31
    "Broken pipe",                         // 32
    "Domain error",                        // 33
    "Result too large",                    // 34
    "Unknown error",                       // 35
    "Resource deadlock avoided",           // 36
    "Unknown error",                       // 37
    "Filename too long",                   // 38
    "No locks available",                  // 39
    "Function not implemented",            // 40
    "Directory not empty",                 // 41
    "Illegal byte sequence",               // 42
};

const char* error_text(int number) {
  if (number < 0 || number >= static_cast<int>(sizeof kTexts / sizeof kTexts[0]))
    return "Unknown error";
  return kTexts[number];
}
