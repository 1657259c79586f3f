// What differs between Windows and the other systems for a companion, in one place: its
// arguments, its console, and the encoding of the names it hands to the OS seam.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kv::companion {

// The arguments after the program's name, in UTF-8: on Windows from the wide command
// line, whatever the console's code page.
std::vector<std::string> utf8_arguments(int argc, char** argv);

// The console as every other system has it: the output shown as UTF-8, the bytes of
// the standard streams written as they are (no CR added before LF).
void console_in_utf8();

// Names go to the OS seam as UTF-8, as the companion's arguments and output are: on
// Windows the seam then opens names outside the ANSI code page too, and gives full paths
// back in UTF-8; a name read from the program's Windows-1252 files, which is not UTF-8,
// is still taken in the ANSI code page, as the program takes it.
void names_in_utf8();

}  // namespace kv::companion
