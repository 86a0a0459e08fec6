// Bytes from the host's side of the line into the organizer's frame
// recogniser; every data frame it accepts must survive re-encoding.
#include <cstdint>
#include <cstdlib>

#include "orgsim/frame_encoder.h"
#include "orgsim/frame_recognizer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  orgsim::FrameRecognizer recognizer;
  for (size_t i = 0; i < size; ++i) {
    if (recognizer.Feed(data[i]) != orgsim::FrameRecognizer::Event::kData) continue;
    if (recognizer.data().size() > 2048) std::abort();
    orgsim::FrameRecognizer again;
    orgsim::FrameRecognizer::Event last = orgsim::FrameRecognizer::Event::kNone;
    for (uint8_t b : orgsim::EncodeDataFrame(recognizer.block(), recognizer.data())) {
      last = again.Feed(b);
    }
    if (last != orgsim::FrameRecognizer::Event::kData || again.data() != recognizer.data() ||
        again.block() != recognizer.block()) {
      std::abort();
    }
  }
  return 0;
}
