#include "install/resume_marker.h"

namespace nelo {

bool is_resume_fresh(std::int64_t last_write, std::int64_t now) {
  // A marker from the future (a clock moved back) says nothing about the last session.
  return now >= last_write && now - last_write < kResumeFreshness;
}

}  // namespace nelo
