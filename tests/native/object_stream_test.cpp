#include "release/object_stream.h"

#include <gtest/gtest.h>

#include <brotli/encode.h>

#include <random>

#include "tests/native/brotli_support.h"
#include "tests/random_bytes.h"

namespace nelo {
namespace {

using testing_support::brotli;

using testing_support::random_bytes;

// A Brotli stream made in pieces, each piece flushed: the ends of its meta-blocks lie at known
// offsets of the output, so that chunks can be cut exactly there.
struct FlushedStream {
  std::string body;
  std::vector<std::size_t> block_ends;
};

FlushedStream flushed_brotli(const std::vector<std::string>& pieces) {
  FlushedStream stream;
  BrotliEncoderState* encoder = BrotliEncoderCreateInstance(nullptr, nullptr, nullptr);
  BrotliEncoderSetParameter(encoder, BROTLI_PARAM_QUALITY, 5);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    const bool last = i + 1 == pieces.size();
    std::size_t available_in = pieces[i].size();
    auto next_in = reinterpret_cast<const std::uint8_t*>(pieces[i].data());
    const auto operation = last ? BROTLI_OPERATION_FINISH : BROTLI_OPERATION_FLUSH;
    do {
      std::uint8_t out[4096];
      std::size_t available_out = sizeof(out);
      std::uint8_t* next_out = out;
      BrotliEncoderCompressStream(encoder, operation, &available_in, &next_in, &available_out,
                                  &next_out, nullptr);
      stream.body.append(reinterpret_cast<char*>(out), sizeof(out) - available_out);
    } while (available_in > 0 || BrotliEncoderHasMoreOutput(encoder) ||
             (last && !BrotliEncoderIsFinished(encoder)));
    stream.block_ends.push_back(stream.body.size());
  }
  BrotliEncoderDestroyInstance(encoder);
  return stream;
}

// Collects what the stream writes.
class MemoryFile final : public FileWriter {
 public:
  Status write(std::string_view bytes) override {
    if (fail_writes) {
      return fail("disco cheio (os error 112)");
    }
    content.append(bytes);
    largest_piece = std::max(largest_piece, bytes.size());
    return {};
  }
  Status commit() override {
    committed = true;
    return {};
  }
  std::string content;
  std::size_t largest_piece = 0;
  bool committed = false;
  bool fail_writes = false;
};

// Feeds `body` in chunks of the given sizes (the rest in one), as a server would deliver it,
// and gives the written content or the message.
std::string deliver(const ManifestFile& file, std::string_view body,
                    const std::vector<std::size_t>& chunks, MemoryFile* out_file = nullptr) {
  MemoryFile local;
  MemoryFile& out = out_file ? *out_file : local;
  ObjectStream stream(file, out);
  std::size_t at = 0;
  std::size_t next = 0;
  while (at < body.size()) {
    const std::size_t size =
        std::min(next < chunks.size() ? chunks[next++] : body.size() - at, body.size() - at);
    const Result<Receive> taken = stream.take(body.substr(at, std::max<std::size_t>(size, 1)));
    at += std::max<std::size_t>(size, 1);
    if (!taken) {
      return "failed: " + taken.message();
    }
    if (*taken == Receive::kEnough) {
      break;
    }
  }
  const Status finished = stream.finish();
  if (!finished) {
    return "failed: " + finished.message();
  }
  EXPECT_TRUE(out.committed);
  return out.content;
}

ManifestFile listed(const std::string& content, std::string_view body) {
  return {"res/a.bin", sha256_hex(content), content.size(), body.size()};
}

std::vector<std::size_t> every(std::size_t size, std::size_t total) {
  return std::vector<std::size_t>(total / size + 1, size);
}

TEST(ObjectStreamTest, EveryChunkingGivesTheSameContentOrTheSameMessage) {
  const std::vector<std::string> pieces = {random_bytes(70000, 1), std::string(90000, 'a'),
                                           random_bytes(30000, 2)};
  const std::string content = pieces[0] + pieces[1] + pieces[2];
  const FlushedStream flushed = flushed_brotli(pieces);
  const std::string& body = flushed.body;
  const ManifestFile file = listed(content, body);

  // Chunks that end exactly at each meta-block's end, one byte before it, and one after.
  std::vector<std::vector<std::size_t>> chunkings = {
      {}, every(1, body.size()), every(7, body.size()), every(65536, body.size())};
  for (const std::size_t end : flushed.block_ends) {
    for (const std::size_t cut : {end - 1, end, end + 1}) {
      if (cut > 0 && cut < body.size()) {
        chunkings.push_back({cut});
      }
    }
  }
  std::mt19937 generator(7);
  for (int i = 0; i < 20; ++i) {
    std::vector<std::size_t> random;
    for (std::size_t total = 0; total < body.size();) {
      random.push_back(1 + generator() % 5000);
      total += random.back();
    }
    chunkings.push_back(random);
  }

  ManifestFile longer = file;
  longer.size = content.size() + 1;
  ManifestFile shorter = file;
  shorter.size = content.size() - 1;
  ManifestFile other_digest = file;
  other_digest.sha256 = sha256_hex("something else");
  struct Case {
    const char* name;
    ManifestFile file;
    std::string body;
    std::string expected;
  };
  const Case cases[] = {
      {"whole", file, body, content},
      {"bytes after the stream's end are not looked at", file, body + "trailing bytes", content},
      {"body cut short", file, body.substr(0, body.size() - 5), "failed: res/a.bin veio estragado"},
      {"body cut at a meta-block's end", file, body.substr(0, flushed.block_ends[0]),
       "failed: res/a.bin veio estragado"},
      {"decodes past the listed size", shorter, body, "failed: res/a.bin veio estragado"},
      {"ends short of the listed size", longer, body, "failed: res/a.bin veio estragado"},
      {"another digest", other_digest, body, "failed: res/a.bin não confere com a lista"},
      {"not brotli", file, content, "failed: res/a.bin veio estragado"},
      {"an error page", file, "<html>404</html>", "failed: res/a.bin veio estragado"},
  };
  for (const Case& c : cases) {
    for (std::size_t i = 0; i < chunkings.size(); ++i) {
      EXPECT_EQ(deliver(c.file, c.body, chunkings[i]), c.expected) << c.name << ", chunking " << i;
    }
  }
}

TEST(ObjectStreamTest, NothingEverHoldsTheWholeContent) {
  // 64 MiB of one byte compress to almost nothing; the pieces written stay small.
  const std::string content(64u << 20, 'z');
  const std::string body = brotli(content, 1);
  MemoryFile out;
  ASSERT_EQ(deliver(listed(content, body), body, {}, &out).size(), content.size());
  EXPECT_LE(out.largest_piece, kDecodedPiece);
}

TEST(ObjectStreamTest, ABombEndsAtItsListedSizeNotAtTheEnd) {
  // 256 MiB of zeros in a few hundred bytes, listed as one kilobyte.
  const std::string bomb = brotli(std::string(256u << 20, '\0'), 1);
  ASSERT_LT(bomb.size(), 100000u);
  MemoryFile out;
  const ManifestFile file{"x.bin", std::string(64, '0'), 1000, bomb.size()};
  EXPECT_EQ(deliver(file, bomb, {}, &out), "failed: x.bin veio estragado");
  EXPECT_LE(out.content.size(), 1000u) << "nothing past the listed size is written";
}

TEST(ObjectStreamTest, AWriteFailureNamesTheFile) {
  const std::string content = "program";
  const std::string body = brotli(content);
  MemoryFile out;
  out.fail_writes = true;
  EXPECT_EQ(deliver(listed(content, body), body, {}, &out),
            "failed: gravar res/a.bin: disco cheio (os error 112)");
}

TEST(ObjectStreamTest, AnEmptyFile) {
  const std::string body = brotli("");
  EXPECT_EQ(deliver(listed("", body), body, {}), "");
  EXPECT_EQ(deliver(listed("", body), "", {}), "failed: res/a.bin veio estragado")
      << "an empty body is no stream";
}

}  // namespace
}  // namespace nelo
