// Hostile bytes from the line: straight into both frame recognisers, and as
// everything the far end says to ReceiveZep / ReceiveZep2 over an in-memory
// line in virtual time (the line hangs up once the input is spent, so each
// run ends at once).
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "linklib/link_state.h"
#include "linklib/linklib_exports.h"
#include "linklib/wire.h"
#include "platform/clock.h"
#include "platform/memory_line.h"
#include "platform/serial.h"

namespace {

class Replay : public platform::LinePeer {
 public:
  Replay(const uint8_t* data, size_t size) : data_(data, data + size) {}
  void Run(platform::MemoryLine& line, platform::Tick) override {
    line.TakeFromHost();
    if (sent_ < data_.size()) {
      const size_t n = std::min<size_t>(data_.size() - sent_, 97);
      line.SendToHost(data_.data() + sent_, n);
      sent_ += n;
    } else {
      line.HangUp();
    }
  }

 private:
  std::vector<uint8_t> data_;
  size_t sent_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  zep::ControlFrameRecognizer control;
  uint8_t packet[zep::kPacketBufferSize];
  zep::DataFrameRecognizer frame(packet);
  for (size_t i = 0; i < size; ++i) {
    control.Feed(data[i]);
    frame.Feed(data[i]);
  }

  platform::ScopedVirtualClock clock;
  zep::ResetState();
  Replay replay(data, size);
  auto line = std::make_shared<platform::MemoryLine>(&replay);
  platform::RegisterInProcessLine("COM200", line);
  const int32_t port = OpenZepByName("COM200");
  uint8_t small[300];
  int32_t length = 0;
  ReceiveZep(0, port, small, sizeof small, &length, 0, 0);
  void* block = ReceiveZep2(0, port, &length, 0, 0);
  std::free(block);
  CloseZep(port);
  platform::UnregisterInProcessLine("COM200");
  return 0;
}
