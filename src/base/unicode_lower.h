// Lower-case mapping of Unicode text, so that paths can be compared without regard to letter
// case in any script, not only A to Z.
#pragma once

#include <string>
#include <string_view>

namespace nelo {

// The simple lower-case mapping of one code point: its single-code-point lower-case form, or the
// code point itself when it has none (lower-case letters, digits, signs, unassigned values).
char32_t simple_lower_case(char32_t code_point);

// UTF-16 text lower-cased code point by code point. Ill-formed UTF-16 (an unpaired surrogate)
// becomes U+FFFD first. Every code point takes its simple mapping, except U+0130 (capital I
// with dot above), which becomes U+0069 U+0307 as in the full mapping; the one context rule of
// the full mapping, the final sigma, is left out on purpose, so that a text lower-cases the same
// way whether or not more text follows it (a prefix must stay a prefix).
std::u32string lower_case(std::u16string_view text);

}  // namespace nelo
