#include "nelo_publish/release_source.h"

namespace nelo::publish {

// The Windows build of the tool checks a local ROOT; a URL is checked from the Linux build,
// where libcurl shows the server's headers.
Result<std::unique_ptr<ReleaseSource>> open_url_source(const std::string&,
                                                       const std::filesystem::path&) {
  return fail("verificar um endereço só na ferramenta do Linux; aqui, dê a pasta RAIZ");
}

}  // namespace nelo::publish
