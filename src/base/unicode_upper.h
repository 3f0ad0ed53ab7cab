// Upper-case mapping of UTF-16 text unit by unit, as Windows compares file names: two names are
// one when their upper cases are equal (so "ſ" is "s", the dotless "ı" is "i", and the Kelvin
// sign is not "k").
#pragma once

#include <string>
#include <string_view>

namespace nelo {

// The simple upper-case mapping of one code unit of the Basic Multilingual Plane: its
// single-code-point upper-case form, or the unit itself when it has none. Surrogates and the
// planes beyond are left as they are, as Windows leaves them.
char16_t simple_upper_case(char16_t unit);

// `text` with every unit mapped.
std::u16string upper_case(std::u16string_view text);

}  // namespace nelo
