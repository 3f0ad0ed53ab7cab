// A strict JSON reader (RFC 8259) that hands a document over as events, without building a tree:
// the release manifest of 20,000 files is read in a few milliseconds and a handful of
// allocations, where a tree of it costs tens of thousands.
//
//   struct Handler {
//     void start_object(); void end_object(); void start_array(); void end_array();
//     void key(std::string_view name);
//     void string(std::string_view value);   // decoded UTF-8; valid only during the call
//     void unsigned_number(std::uint64_t value);
//     void other_value();                     // true, false, null, any other number
//   };
//
// What it accepts is exactly one value with white space around it; strings must be valid UTF-8
// without raw control characters, escapes well formed and surrogates paired. A number that is not
// a non-negative integer fitting in 64 bits (a sign, a fraction, an exponent, or too many digits)
// is an other value; one too large even for a double is refused.
#pragma once

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

namespace nelo {

template <class Handler>
class JsonReader {
 public:
  JsonReader(std::string_view text, Handler& handler) : text_(text), handler_(handler) {}

  // Reads the whole text, handing events over as they come; false at the first fault (the
  // events before it have been handed over already). Nesting is not limited here: a caller
  // that reads untrusted input bounds the depth first.
  bool read() {
    skip_space();
    if (!value()) {
      return false;
    }
    skip_space();
    return at_ == text_.size();
  }

 private:
  bool value() {
    if (at_ >= text_.size()) {
      return false;
    }
    switch (text_[at_]) {
      case '{':
        return object();
      case '[':
        return array();
      case '"': {
        std::string_view decoded;
        if (!string_literal(decoded)) {
          return false;
        }
        handler_.string(decoded);
        return true;
      }
      case 't':
        return literal("true");
      case 'f':
        return literal("false");
      case 'n':
        return literal("null");
      default:
        return number();
    }
  }

  bool object() {
    ++at_;
    handler_.start_object();
    skip_space();
    if (at_ < text_.size() && text_[at_] == '}') {
      ++at_;
      handler_.end_object();
      return true;
    }
    for (;;) {
      skip_space();
      std::string_view name;
      if (at_ >= text_.size() || text_[at_] != '"' || !string_literal(name)) {
        return false;
      }
      handler_.key(name);
      skip_space();
      if (at_ >= text_.size() || text_[at_] != ':') {
        return false;
      }
      ++at_;
      skip_space();
      if (!value()) {
        return false;
      }
      skip_space();
      if (at_ >= text_.size()) {
        return false;
      }
      if (text_[at_] == ',') {
        ++at_;
        continue;
      }
      if (text_[at_] != '}') {
        return false;
      }
      ++at_;
      handler_.end_object();
      return true;
    }
  }

  bool array() {
    ++at_;
    handler_.start_array();
    skip_space();
    if (at_ < text_.size() && text_[at_] == ']') {
      ++at_;
      handler_.end_array();
      return true;
    }
    for (;;) {
      skip_space();
      if (!value()) {
        return false;
      }
      skip_space();
      if (at_ >= text_.size()) {
        return false;
      }
      if (text_[at_] == ',') {
        ++at_;
        continue;
      }
      if (text_[at_] != ']') {
        return false;
      }
      ++at_;
      handler_.end_array();
      return true;
    }
  }

  bool literal(std::string_view word) {
    if (text_.substr(at_, word.size()) != word) {
      return false;
    }
    at_ += word.size();
    handler_.other_value();
    return true;
  }

  static bool is_digit(char c) { return c >= '0' && c <= '9'; }

  bool number() {
    const std::size_t start = at_;
    const bool negative = text_[at_] == '-';
    if (negative) {
      ++at_;
    }
    if (at_ >= text_.size() || !is_digit(text_[at_])) {
      return false;
    }
    // No leading zeros: "0" alone, or a digit 1-9 followed by any digits.
    if (text_[at_] == '0') {
      ++at_;
    } else {
      while (at_ < text_.size() && is_digit(text_[at_])) {
        ++at_;
      }
    }
    const std::size_t integer_end = at_;
    bool plain = !negative;
    if (at_ < text_.size() && text_[at_] == '.') {
      ++at_;
      if (at_ >= text_.size() || !is_digit(text_[at_])) {
        return false;
      }
      while (at_ < text_.size() && is_digit(text_[at_])) {
        ++at_;
      }
      plain = false;
    }
    if (at_ < text_.size() && (text_[at_] == 'e' || text_[at_] == 'E')) {
      ++at_;
      if (at_ < text_.size() && (text_[at_] == '+' || text_[at_] == '-')) {
        ++at_;
      }
      if (at_ >= text_.size() || !is_digit(text_[at_])) {
        return false;
      }
      while (at_ < text_.size() && is_digit(text_[at_])) {
        ++at_;
      }
      plain = false;
    }
    if (plain) {
      std::uint64_t value = 0;
      bool fits = true;
      for (std::size_t i = start; i < integer_end && fits; ++i) {
        const auto digit = static_cast<std::uint64_t>(text_[i] - '0');
        fits = value <= (UINT64_MAX - digit) / 10;
        value = value * 10 + digit;
      }
      if (fits) {
        handler_.unsigned_number(value);
        return true;
      }
    }
    // Any other number is an other value, as long as a double can hold it: readers that keep
    // numbers as doubles refuse one that overflows, and so does this one.
    const std::string digits(text_.substr(start, at_ - start));
    if (std::isinf(std::strtod(digits.c_str(), nullptr))) {
      return false;
    }
    handler_.other_value();
    return true;
  }

  static int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
      return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
      return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
      return c - 'A' + 10;
    }
    return -1;
  }

  // Four hexadecimal digits after "\u"; -1 when they are not there.
  long hex_quad() {
    if (text_.size() - at_ < 4) {
      return -1;
    }
    long value = 0;
    for (int i = 0; i < 4; ++i) {
      const int digit = hex_digit(text_[at_ + i]);
      if (digit < 0) {
        return -1;
      }
      value = value * 16 + digit;
    }
    at_ += 4;
    return value;
  }

  void append_utf8(char32_t c) {
    if (c < 0x80) {
      scratch_ += static_cast<char>(c);
    } else if (c < 0x800) {
      scratch_ += static_cast<char>(0xC0 | (c >> 6));
      scratch_ += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      scratch_ += static_cast<char>(0xE0 | (c >> 12));
      scratch_ += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      scratch_ += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      scratch_ += static_cast<char>(0xF0 | (c >> 18));
      scratch_ += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      scratch_ += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      scratch_ += static_cast<char>(0x80 | (c & 0x3F));
    }
  }

  // The length of the well-formed UTF-8 sequence at `at_` (Unicode's table of well-formed byte
  // sequences: no overlong forms, no surrogates, nothing past U+10FFFF); 0 when there is none.
  std::size_t utf8_sequence() const {
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text_[at_ + i]); };
    const std::size_t left = text_.size() - at_;
    const unsigned char lead = byte(0);
    const auto in = [](unsigned char b, unsigned char low, unsigned char high) {
      return b >= low && b <= high;
    };
    if (lead >= 0xC2 && lead <= 0xDF) {
      return left >= 2 && in(byte(1), 0x80, 0xBF) ? 2 : 0;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
      const unsigned char low = lead == 0xE0 ? 0xA0 : 0x80;
      const unsigned char high = lead == 0xED ? 0x9F : 0xBF;
      return left >= 3 && in(byte(1), low, high) && in(byte(2), 0x80, 0xBF) ? 3 : 0;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
      const unsigned char low = lead == 0xF0 ? 0x90 : 0x80;
      const unsigned char high = lead == 0xF4 ? 0x8F : 0xBF;
      return left >= 4 && in(byte(1), low, high) && in(byte(2), 0x80, 0xBF) &&
                     in(byte(3), 0x80, 0xBF)
                 ? 4
                 : 0;
    }
    return 0;
  }

  // A string at `at_` (its opening quote). Without escapes, `decoded` views the text itself;
  // with them, a scratch copy that lives until the next string.
  bool string_literal(std::string_view& decoded) {
    ++at_;
    const std::size_t start = at_;
    bool escaped = false;
    for (;;) {
      if (at_ >= text_.size()) {
        return false;
      }
      const auto c = static_cast<unsigned char>(text_[at_]);
      if (c == '"') {
        break;
      }
      if (c < 0x20) {
        return false;
      }
      if (c == '\\') {
        if (!escaped) {
          scratch_.assign(text_.substr(start, at_ - start));
          escaped = true;
        }
        if (!escape()) {
          return false;
        }
        continue;
      }
      std::size_t length = 1;
      if (c >= 0x80) {
        length = utf8_sequence();
        if (length == 0) {
          return false;
        }
      }
      if (escaped) {
        scratch_.append(text_.substr(at_, length));
      }
      at_ += length;
    }
    decoded = escaped ? std::string_view(scratch_) : text_.substr(start, at_ - start);
    ++at_;
    return true;
  }

  // One escape at `at_` (its backslash), appended to the scratch copy.
  bool escape() {
    ++at_;
    if (at_ >= text_.size()) {
      return false;
    }
    const char c = text_[at_++];
    switch (c) {
      case '"':
      case '\\':
      case '/':
        scratch_ += c;
        return true;
      case 'b':
        scratch_ += '\b';
        return true;
      case 'f':
        scratch_ += '\f';
        return true;
      case 'n':
        scratch_ += '\n';
        return true;
      case 'r':
        scratch_ += '\r';
        return true;
      case 't':
        scratch_ += '\t';
        return true;
      case 'u':
        break;
      default:
        return false;
    }
    const long first = hex_quad();
    if (first < 0 || (first >= 0xDC00 && first <= 0xDFFF)) {
      return false;  // not four digits, or a low surrogate alone
    }
    if (first < 0xD800 || first > 0xDBFF) {
      append_utf8(static_cast<char32_t>(first));
      return true;
    }
    // A high surrogate must be followed at once by an escaped low one.
    if (text_.substr(at_, 2) != "\\u") {
      return false;
    }
    at_ += 2;
    const long second = hex_quad();
    if (second < 0xDC00 || second > 0xDFFF) {
      return false;
    }
    append_utf8(0x10000 + ((static_cast<char32_t>(first) - 0xD800) << 10) +
                (static_cast<char32_t>(second) - 0xDC00));
    return true;
  }

  void skip_space() {
    while (at_ < text_.size()) {
      const char c = text_[at_];
      if (c != ' ' && c != '\t' && c != '\n' && c != '\r') {
        return;
      }
      ++at_;
    }
  }

  std::string_view text_;
  Handler& handler_;
  std::size_t at_ = 0;
  std::string scratch_;
};

// Reads `text` with `handler`; see JsonReader.
template <class Handler>
bool read_json(std::string_view text, Handler& handler) {
  return JsonReader<Handler>(text, handler).read();
}

}  // namespace nelo
