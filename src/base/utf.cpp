#include "base/utf.h"

namespace nelo {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

bool is_high_surrogate(char16_t unit) {
  return unit >= 0xD800 && unit <= 0xDBFF;
}
bool is_low_surrogate(char16_t unit) {
  return unit >= 0xDC00 && unit <= 0xDFFF;
}

void append_utf8(std::string& out, char32_t code_point) {
  if (code_point < 0x80) {
    out.push_back(static_cast<char>(code_point));
  } else if (code_point < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (code_point >> 6)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else if (code_point < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (code_point >> 12)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (code_point >> 18)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((code_point >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (code_point & 0x3F)));
  }
}

// Decodes one code point starting at `pos`; gives nothing for an invalid sequence.
std::optional<char32_t> decode_utf8(std::string_view bytes, size_t& pos) {
  const auto byte = [&](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const unsigned char lead = byte(pos);
  size_t length = 0;
  char32_t code_point = 0;
  char32_t minimum = 0;
  if (lead < 0x80) {
    ++pos;
    return lead;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code_point = lead & 0x1F, minimum = 0x80;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code_point = lead & 0x0F, minimum = 0x800;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code_point = lead & 0x07, minimum = 0x10000;
  } else {
    return std::nullopt;
  }
  if (bytes.size() - pos < length) {
    return std::nullopt;
  }
  for (size_t i = 1; i < length; ++i) {
    const unsigned char next = byte(pos + i);
    if ((next & 0xC0) != 0x80) {
      return std::nullopt;
    }
    code_point = (code_point << 6) | (next & 0x3F);
  }
  if (code_point < minimum || code_point > 0x10FFFF ||
      (code_point >= 0xD800 && code_point <= 0xDFFF)) {
    return std::nullopt;
  }
  pos += length;
  return code_point;
}

// Appends `text` to `out`; false at an unpaired surrogate unless `lossy`.
bool convert_utf16(std::u16string_view text, bool lossy, std::string& out) {
  out.reserve(out.size() + text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (is_high_surrogate(unit) && i + 1 < text.size() && is_low_surrogate(text[i + 1])) {
      const char32_t high = unit - 0xD800;
      const char32_t low = text[i + 1] - 0xDC00;
      append_utf8(out, 0x10000 + (high << 10) + low);
      ++i;
    } else if (is_high_surrogate(unit) || is_low_surrogate(unit)) {
      if (!lossy) {
        return false;
      }
      append_utf8(out, kReplacement);
    } else {
      append_utf8(out, unit);
    }
  }
  return true;
}

}  // namespace

std::string utf16_to_utf8_lossy(std::u16string_view text) {
  std::string out;
  convert_utf16(text, true, out);
  return out;
}

void utf16_to_utf8_into(std::u16string_view text, std::string& out) {
  out.clear();
  convert_utf16(text, true, out);
}

std::optional<std::string> utf16_to_utf8(std::u16string_view text) {
  std::string out;
  if (!convert_utf16(text, false, out)) {
    return std::nullopt;
  }
  return out;
}

std::optional<std::u16string> utf8_to_utf16(std::string_view bytes) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t pos = 0;
  while (pos < bytes.size()) {
    const auto code_point = decode_utf8(bytes, pos);
    if (!code_point) {
      return std::nullopt;
    }
    if (*code_point >= 0x10000) {
      const char32_t offset = *code_point - 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (offset >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (offset & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(*code_point));
    }
  }
  return out;
}

bool is_valid_utf8(std::string_view bytes) {
  size_t pos = 0;
  while (pos < bytes.size()) {
    if (!decode_utf8(bytes, pos)) {
      return false;
    }
  }
  return true;
}

}  // namespace nelo
