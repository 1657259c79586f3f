// What differs between Windows and the other systems for a companion, in one place: its
// arguments, its console, and file names in the system's own code page, where the
// program's record layer (io/) keeps them in the bytes the program's files hold.
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

// A UTF-8 name as the record layer takes it; a DataError when the system's code page
// cannot write it (Windows), naming `what` the name is for.
std::string system_name(std::string_view utf8, std::string_view what);
// A name the record layer gives (a full path of io::full_path_name), as UTF-8.
std::string shown_name(std::string_view system);

}  // namespace kv::companion
