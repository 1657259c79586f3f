#include "companion/system.h"

#include <cstdio>
#include <string>

#include "companion/errors.h"
#include "io/os.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#endif

namespace kv::companion {

#ifdef _WIN32
namespace {

// The wide text in a code page; false when a character has no byte there.
bool narrow(const std::wstring& w, UINT code_page, std::string& out) {
  BOOL lossy = FALSE;
  const bool utf8 = code_page == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const int n = WideCharToMultiByte(code_page, flags, w.data(), static_cast<int>(w.size()), nullptr, 0, nullptr,
                                    utf8 ? nullptr : &lossy);
  out.assign(static_cast<std::size_t>(n > 0 ? n : 0), '\0');
  if (n > 0)
    WideCharToMultiByte(code_page, flags, w.data(), static_cast<int>(w.size()), out.data(), n, nullptr,
                        utf8 ? nullptr : &lossy);
  return !lossy;
}

}  // namespace
#endif

std::vector<std::string> utf8_arguments(int argc, char** argv) {
  std::vector<std::string> args;
#ifdef _WIN32
  // The ANSI argv holds the arguments in the console's code page, which cannot hold
  // every name a user types: the wide command line can.
  int wargc = 0;
  if (wchar_t** wargv = CommandLineToArgvW(GetCommandLineW(), &wargc)) {
    for (int i = 1; i < wargc; ++i) narrow(wargv[i], CP_UTF8, args.emplace_back());
    LocalFree(wargv);
    return args;
  }
#endif
  for (int i = 1; i < argc; ++i) args.emplace_back(argv[i]);
  return args;
}

void console_in_utf8() {
#ifdef _WIN32
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
  SetConsoleOutputCP(CP_UTF8);
#endif
}

void names_in_utf8() { io::use_name_encoding(io::NameEncoding::Utf8); }

}  // namespace kv::companion
