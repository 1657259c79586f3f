#include "companion/json.h"

#include <charconv>
#include <cmath>

namespace kv::companion {
namespace {

const JsonValue kNull{};

class Parser {
 public:
  explicit Parser(std::string_view text) : t_(text) {}

  bool whole(JsonValue& v) {
    if (!value(v, 0)) return false;
    blanks();
    return at_ == t_.size() || fail("text after the value");
  }
  std::string why() const { return why_ + " at byte " + std::to_string(at_); }

 private:
  bool fail(const char* what) {
    if (why_.empty()) why_ = what;
    return false;
  }
  void blanks() {
    while (at_ < t_.size() && (t_[at_] == ' ' || t_[at_] == '\t' || t_[at_] == '\n' || t_[at_] == '\r')) ++at_;
  }
  bool literal(std::string_view word) {
    if (t_.substr(at_, word.size()) != word) return fail("an unknown word");
    at_ += word.size();
    return true;
  }
  bool value(JsonValue& v, int depth) {
    if (depth > 64) return fail("values nested too deep");
    blanks();
    if (at_ >= t_.size()) return fail("the text ends where a value should be");
    switch (t_[at_]) {
      case '{': return object(v, depth);
      case '[': return array(v, depth);
      case '"':
        v.kind = JsonValue::Kind::String;
        return string(v.string);
      case 't':
        v.kind = JsonValue::Kind::Bool;
        v.boolean = true;
        return literal("true");
      case 'f':
        v.kind = JsonValue::Kind::Bool;
        return literal("false");
      case 'n': return literal("null");
      default: return number(v);
    }
  }
  bool number(JsonValue& v) {
    std::size_t end = at_;
    while (end < t_.size() && (std::string_view("+-.eE0123456789").find(t_[end]) != std::string_view::npos)) ++end;
    double x = 0.0;
    const auto r = std::from_chars(t_.data() + at_, t_.data() + end, x);
    if (end == at_ || r.ec != std::errc{} || r.ptr != t_.data() + end || !std::isfinite(x)) return fail("not a number");
    v.kind = JsonValue::Kind::Number;
    v.number = x;
    at_ = end;
    return true;
  }
  static void utf8(std::string& out, unsigned c) {
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  bool string(std::string& out) {
    ++at_;  // the opening quote
    while (at_ < t_.size()) {
      const char c = t_[at_++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return fail("a control character in a string");
      if (c != '\\') {
        out += c;
        continue;
      }
      if (at_ >= t_.size()) break;
      const char e = t_[at_++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          if (at_ + 4 > t_.size()) return fail("a short \\u escape");
          unsigned code = 0;
          const auto r = std::from_chars(t_.data() + at_, t_.data() + at_ + 4, code, 16);
          if (r.ptr != t_.data() + at_ + 4) return fail("a bad \\u escape");
          at_ += 4;
          utf8(out, code);
          break;
        }
        default: return fail("an unknown escape");
      }
    }
    return fail("a string without its closing quote");
  }
  bool array(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::Array;
    ++at_;
    blanks();
    if (at_ < t_.size() && t_[at_] == ']') {
      ++at_;
      return true;
    }
    for (;;) {
      JsonValue item;
      if (!value(item, depth + 1)) return false;
      v.array.push_back(std::move(item));
      blanks();
      if (at_ < t_.size() && t_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < t_.size() && t_[at_] == ']') {
        ++at_;
        return true;
      }
      return fail("an array without ',' or ']'");
    }
  }
  bool object(JsonValue& v, int depth) {
    v.kind = JsonValue::Kind::Object;
    ++at_;
    blanks();
    if (at_ < t_.size() && t_[at_] == '}') {
      ++at_;
      return true;
    }
    for (;;) {
      blanks();
      std::string key;
      if (at_ >= t_.size() || t_[at_] != '"' || !string(key)) return fail("an object member without its name");
      blanks();
      if (at_ >= t_.size() || t_[at_] != ':') return fail("a member without ':'");
      ++at_;
      JsonValue item;
      if (!value(item, depth + 1)) return false;
      v.object[key] = std::move(item);
      blanks();
      if (at_ < t_.size() && t_[at_] == ',') {
        ++at_;
        continue;
      }
      if (at_ < t_.size() && t_[at_] == '}') {
        ++at_;
        return true;
      }
      return fail("an object without ',' or '}'");
    }
  }

  std::string_view t_;
  std::size_t at_ = 0;
  std::string why_;
};

}  // namespace

const JsonValue& JsonValue::operator[](std::string_view key) const {
  if (kind != Kind::Object) return kNull;
  const auto it = object.find(key);
  return it == object.end() ? kNull : it->second;
}

std::optional<double> JsonValue::as_number() const {
  if (kind != Kind::Number) return std::nullopt;
  return number;
}

std::optional<JsonValue> parse_json(std::string_view text, std::string* why) {
  Parser p(text);
  JsonValue v;
  if (!p.whole(v)) {
    if (why) *why = p.why();
    return std::nullopt;
  }
  return v;
}

}  // namespace kv::companion
