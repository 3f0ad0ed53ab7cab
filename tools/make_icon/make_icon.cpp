// make_icon: draws the Nelo logo at every application icon size and writes
// them to a single .ico file.
//
// Usage: make_icon OUT.ico

#include "logo_raster.h"

#include <cstdio>
#include <exception>
#include <fstream>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUT.ico\n", argc > 0 ? argv[0] : "make_icon");
    return 2;
  }
  const char* out_path = argv[1];

  try {
    std::vector<nelo::icon::Image> images;
    for (int size : nelo::icon::kIconSizes) {
      images.push_back(nelo::icon::render_logo(size));
    }
    const std::vector<std::uint8_t> ico = nelo::icon::encode_ico(images);

    std::ofstream out(out_path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(ico.data()), static_cast<std::streamsize>(ico.size()));
    out.close();
    if (!out) {
      std::fprintf(stderr, "make_icon: cannot write %s\n", out_path);
      return 1;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_icon: %s\n", e.what());
    return 1;
  }
  return 0;
}
