#include "companion/system.h"

#include <cstdio>
#include <string>

#include "companion/errors.h"

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

std::wstring wide(std::string_view text, UINT code_page) {
  const int n = MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(code_page, 0, text.data(), static_cast<int>(text.size()), w.data(), n);
  return w;
}

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

std::string system_name(std::string_view utf8, [[maybe_unused]] std::string_view what) {
#ifdef _WIN32
  std::string out;
  if (!narrow(wide(utf8, CP_UTF8), CP_ACP, out))
    throw DataError(std::string(what) + " " + std::string(utf8) +
                    ": a character of the name cannot be written in the system's code page; choose another name");
  return out;
#else
  return std::string(utf8);
#endif
}

std::string shown_name(std::string_view system) {
#ifdef _WIN32
  std::string out;
  narrow(wide(system, CP_ACP), CP_UTF8, out);
  return out;
#else
  return std::string(system);
#endif
}

}  // namespace kv::companion
