// A pack: one served file that holds the exact object bytes of many small objects of a release
// one after another ("app/packs/<sha256 of the pack>"), so that a run of them travels in one
// range request instead of one request each. Each member's object is also served alone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace nelo {

struct PackMember {
  std::string sha256;        // the object's digest (its content's, as in "files")
  std::uint64_t offset = 0;  // where its object bytes begin in the pack; its length is the
                             // object's zsize
};

struct ReleasePack {
  std::string name;  // the pack's own SHA-256, 64 lower-case hexadecimal digits
  std::uint64_t size = 0;
  std::vector<PackMember> members;  // by offset, none overlapping
};

}  // namespace nelo
