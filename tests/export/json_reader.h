// A small JSON reader for the tests: the whole text must be one value.
#pragma once

#include <charconv>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace kv::test {

struct Json {
  enum class Kind { Null, Bool, Number, String, Array, Object } kind = Kind::Null;
  bool boolean = false;
  double number = 0.0;
  std::string string;
  std::vector<Json> array;
  std::map<std::string, Json> object;

  const Json& operator[](const std::string& key) const {
    const auto it = object.find(key);
    if (kind != Kind::Object || it == object.end()) throw std::runtime_error("no member " + key);
    return it->second;
  }
  bool has(const std::string& key) const { return kind == Kind::Object && object.count(key) > 0; }
};

class JsonParser {
 public:
  explicit JsonParser(std::string_view s) : s_(s) {}
  Json parse_all() {
    Json v = value();
    blanks();
    if (i_ != s_.size()) fail("text after the value");
    return v;
  }

 private:
  [[noreturn]] void fail(const std::string& what) { throw std::runtime_error("JSON: " + what + " at " + std::to_string(i_)); }
  void blanks() {
    while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\n' || s_[i_] == '\r' || s_[i_] == '\t')) ++i_;
  }
  bool take(std::string_view word) {
    if (s_.substr(i_, word.size()) != word) return false;
    i_ += word.size();
    return true;
  }
  std::string str() {
    if (!take("\"")) fail("a string expected");
    std::string out;
    while (i_ < s_.size() && s_[i_] != '"') {
      char c = s_[i_++];
      if (static_cast<unsigned char>(c) < 0x20) fail("a control character in a string");
      if (c == '\\') {
        if (i_ >= s_.size()) fail("an escape at the end");
        c = s_[i_++];
        if (c == 'u') {
          unsigned cp = 0;
          const auto r = std::from_chars(s_.data() + i_, s_.data() + i_ + 4, cp, 16);
          if (r.ec != std::errc{} || r.ptr != s_.data() + i_ + 4 || cp >= 0x80) fail("an escape this reader does not take");
          out += static_cast<char>(cp);
          i_ += 4;
          continue;
        }
        if (c != '"' && c != '\\' && c != '/') fail("an escape this reader does not take");
      }
      out += c;
    }
    if (!take("\"")) fail("an unterminated string");
    return out;
  }
  Json value() {
    blanks();
    Json v;
    if (i_ >= s_.size()) fail("a value expected");
    const char c = s_[i_];
    if (take("null")) return v;
    if (take("true") || take("false")) {
      v.kind = Json::Kind::Bool;
      v.boolean = s_[i_ - 1] == 'e' && s_[i_ - 2] == 'u';
      return v;
    }
    if (c == '"') {
      v.kind = Json::Kind::String;
      v.string = str();
      return v;
    }
    if (c == '[') {
      ++i_;
      v.kind = Json::Kind::Array;
      blanks();
      if (take("]")) return v;
      for (;;) {
        v.array.push_back(value());
        blanks();
        if (take("]")) return v;
        if (!take(",")) fail(", or ] expected");
      }
    }
    if (c == '{') {
      ++i_;
      v.kind = Json::Kind::Object;
      blanks();
      if (take("}")) return v;
      for (;;) {
        blanks();
        const std::string key = str();
        blanks();
        if (!take(":")) fail(": expected");
        if (v.object.count(key)) fail("a repeated member " + key);
        v.object[key] = value();
        blanks();
        if (take("}")) return v;
        if (!take(",")) fail(", or } expected");
      }
    }
    v.kind = Json::Kind::Number;
    if (c != '-' && (c < '0' || c > '9')) fail("a value expected");
    const auto r = std::from_chars(s_.data() + i_, s_.data() + s_.size(), v.number);
    if (r.ec != std::errc{} || r.ptr == s_.data() + i_) fail("a value expected");
    i_ = static_cast<std::size_t>(r.ptr - s_.data());
    return v;
  }

  std::string_view s_;
  std::size_t i_ = 0;
};

inline Json parse_json(std::string_view s) { return JsonParser(s).parse_all(); }

}  // namespace kv::test
