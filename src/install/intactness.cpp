#include "install/intactness.h"

namespace nelo {

bool is_version_intact(const ReleaseManifest& manifest, const FileSizeProbe& file_size) {
  for (const ManifestFile& file : manifest.files) {
    const std::optional<std::uint64_t> size = file_size(file.path);
    if (!size || *size != file.size) {
      return false;
    }
  }
  return true;
}

}  // namespace nelo
