#include "ui/embedded_font.h"

// The assembler copies the font file into read-only data at build time; NELO_FONT_FILE is its
// path, given by the build as a string literal.
#ifndef NELO_FONT_FILE
#error "NELO_FONT_FILE must name the font file"
#endif

#if defined(_WIN32)
#define NELO_RODATA_SECTION ".section .rdata,\"dr\"\n"
#else
#define NELO_RODATA_SECTION ".section .rodata\n"
#endif

__asm__(NELO_RODATA_SECTION
        ".balign 16\n"
        ".globl nelo_embedded_font_begin\n"
        "nelo_embedded_font_begin:\n"
        ".incbin \"" NELO_FONT_FILE
        "\"\n"
        ".globl nelo_embedded_font_end\n"
        "nelo_embedded_font_end:\n"
        ".text\n");

extern "C" const std::byte nelo_embedded_font_begin[];
extern "C" const std::byte nelo_embedded_font_end[];

namespace nelo {

std::span<const std::byte> embedded_font() {
  return {nelo_embedded_font_begin, nelo_embedded_font_end};
}

}  // namespace nelo
