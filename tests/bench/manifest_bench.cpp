// How fast a large release manifest is accepted: 20,000 entries in nested folders.
#include <benchmark/benchmark.h>

#include <string>

#include "release/manifest.h"

namespace {

std::string large_manifest(int entries) {
  std::string document = "{\"version\": \"2024.11.3-beta\", \"files\": [";
  for (int i = 0; i < entries; ++i) {
    char digest[65];
    for (int d = 0; d < 64; ++d) {
      digest[d] = "0123456789abcdef"[(i * 31 + d * 7) % 16];
    }
    digest[64] = '\0';
    const std::string path = i == 0 ? "Nelo.exe"
                                    : "resources/app/module" + std::to_string(i % 97) + "/file" +
                                          std::to_string(i) + ".dat";
    document += (i ? ",\n" : "\n") + std::string("  {\"path\": \"") + path + "\", \"sha256\": \"" +
                digest + "\", \"size\": " + std::to_string(1000 + i * 13) +
                ", \"zsize\": " + std::to_string(500 + i * 7) + "}";
  }
  return document + "\n]}\n";
}

void BM_ParseReleaseManifest(benchmark::State& state) {
  const std::string document = large_manifest(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    auto parsed = nelo::parse_release_manifest(document);
    if (!parsed.ok()) {
      state.SkipWithError(parsed.message().c_str());
      break;
    }
    benchmark::DoNotOptimize(parsed);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) *
                          static_cast<int64_t>(document.size()));
  state.counters["document_bytes"] = static_cast<double>(document.size());
}
BENCHMARK(BM_ParseReleaseManifest)->Arg(20000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
