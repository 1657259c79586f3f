// Record layouts in the notation of the program's formats:
//
//   io::layout<R"(("#", T4, "t [s]", T16, "F [N]"))">
//   io::layout<"(I5, 3X, F12.7, 1P, E15.7)">
//
// A layout is parsed once, at compile time, into a flat list of items: repeated groups
// k( ... ) are written out k times, the scale factor in force is fixed on every F and E
// item, and literals are turned into their Windows-1252 bytes. A malformed layout, or an
// item this writer does not render, does not compile.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "io/cp1252.h"

namespace kv::io {

enum class Op : std::uint8_t {
  Literal,  // text placed at the current column
  A,        // text value, as wide as the value
  I,        // Iw
  F,        // Fw.d, scale factor 0
  E,        // 1P, Ew.d
  T,        // Tn: next character to column n
  X,        // nX: n columns to the right
  Slash,    // end the record, start a new one
};

struct Item {
  Op op = Op::Literal;
  std::uint16_t w = 0;     // field width (I, F, E), column (T), count (X)
  std::uint8_t d = 0;      // digits after the point (F, E)
  std::uint16_t off = 0;   // literal: offset into the layout's text
  std::uint16_t len = 0;   // literal: number of bytes
  constexpr bool takes_value() const { return op == Op::A || op == Op::I || op == Op::F || op == Op::E; }
};

// What the writer interprets: the items and the bytes of their literals.
struct LayoutView {
  std::span<const Item> items;
  const char* text;
};

namespace layout_detail {

struct Parser {
  std::string_view s;
  std::size_t i = 0;
  Item* items = nullptr;   // null while counting
  char* text = nullptr;
  std::size_t n_items = 0;
  std::size_t n_text = 0;
  int scale = 0;

  constexpr void skip_blanks() {
    while (i < s.size() && (s[i] == ' ' || s[i] == '\n' || s[i] == '\t' || s[i] == '\r')) ++i;
  }
  constexpr bool is_digit(char c) const { return c >= '0' && c <= '9'; }
  constexpr unsigned number() {
    if (i >= s.size() || !is_digit(s[i])) throw "layout: number expected";
    unsigned v = 0;
    while (i < s.size() && is_digit(s[i])) v = v * 10 + static_cast<unsigned>(s[i++] - '0');
    return v;
  }
  constexpr void emit(Item it) {
    if (items) items[n_items] = it;
    ++n_items;
  }
  constexpr void literal() {
    ++i;  // opening quote
    const std::size_t start = n_text;
    while (true) {
      if (i >= s.size()) throw "layout: unterminated literal";
      if (s[i] == '"') {
        if (i + 1 < s.size() && s[i + 1] == '"') {
          i += 2;
          if (text) text[n_text] = '"';
          ++n_text;
          continue;
        }
        ++i;
        break;
      }
      const char c = cp1252_byte(utf8_decode(s, i));
      if (text) text[n_text] = c;
      ++n_text;
    }
    Item it;
    it.op = Op::Literal;
    it.off = static_cast<std::uint16_t>(start);
    it.len = static_cast<std::uint16_t>(n_text - start);
    emit(it);
  }
  // Parses the items up to the closing parenthesis of the current list.
  constexpr void list() {
    skip_blanks();
    if (i >= s.size() || s[i] != '(') throw "layout: '(' expected";
    ++i;
    while (true) {
      skip_blanks();
      if (i >= s.size()) throw "layout: ')' expected";
      const char c = s[i];
      if (c == ')') {
        ++i;
        return;
      }
      if (c == ',') {
        ++i;
        continue;
      }
      if (c == '/') {
        ++i;
        emit(Item{Op::Slash});
        continue;
      }
      if (c == '"') {
        literal();
        continue;
      }
      if (c == 'A') {
        ++i;
        emit(Item{Op::A});
        continue;
      }
      if (c == 'I' || c == 'F' || c == 'E') {
        ++i;
        Item it;
        it.op = c == 'I' ? Op::I : c == 'F' ? Op::F : Op::E;
        it.w = static_cast<std::uint16_t>(number());
        if (it.op != Op::I) {
          if (i >= s.size() || s[i] != '.') throw "layout: '.' expected";
          ++i;
          it.d = static_cast<std::uint8_t>(number());
          if (it.d + 3u > it.w) throw "layout: field too narrow";
        }
        if (it.w == 0) throw "layout: zero width";
        if (it.op == Op::F && scale != 0) throw "layout: F is rendered with scale factor 0 only";
        if (it.op == Op::E && scale != 1) throw "layout: E is rendered after 1P only";
        emit(it);
        continue;
      }
      if (c == 'T') {
        ++i;
        Item it{Op::T};
        it.w = static_cast<std::uint16_t>(number());
        if (it.w == 0) throw "layout: T0";
        emit(it);
        continue;
      }
      if (is_digit(c)) {
        const unsigned k = number();
        skip_blanks();
        if (i < s.size() && s[i] == 'X') {
          ++i;
          Item it{Op::X};
          it.w = static_cast<std::uint16_t>(k);
          emit(it);
        } else if (i < s.size() && s[i] == 'P') {
          ++i;
          scale = static_cast<int>(k);
        } else if (i < s.size() && s[i] == '(') {
          const std::size_t group = i;
          for (unsigned r = 0; r < k; ++r) {
            i = group;
            list();
          }
        } else {
          throw "layout: X, P or '(' expected after a count";
        }
        continue;
      }
      throw "layout: unknown item";
    }
  }
};

struct Sizes {
  std::size_t items;
  std::size_t text;
};

consteval Sizes count(std::string_view s) {
  Parser p{s};
  p.list();
  p.skip_blanks();
  if (p.i != s.size()) throw "layout: text after the closing ')'";
  return {p.n_items, p.n_text};
}

template <std::size_t NItems, std::size_t NText>
struct Parsed {
  std::array<Item, NItems> items{};
  std::array<char, NText> text{};
  constexpr LayoutView view() const { return {std::span<const Item>(items.data(), NItems), text.data()}; }
};

template <FixedString S>
consteval auto parse() {
  constexpr Sizes n = count(S.view());
  Parsed<n.items, (n.text == 0 ? 1 : n.text)> out;
  Parser p{S.view()};
  p.items = out.items.data();
  p.text = out.text.data();
  p.list();
  return out;
}

template <FixedString S>
inline constexpr auto kParsed = parse<S>();

}  // namespace layout_detail

template <FixedString S>
inline constexpr LayoutView layout = layout_detail::kParsed<S>.view();

}  // namespace kv::io
