#include "orgsim/repro_request.h"

namespace orgsim {

std::optional<ReproRequest> DecodeReproRequest(std::span<const uint8_t> message) {
  if (message.size() != kReproRequestLength) return std::nullopt;
  auto field = [&](size_t at) { return static_cast<uint16_t>(message[at] | message[at + 1] << 8); };
  ReproRequest r;
  r.op = message[0];
  r.param1 = field(2);
  r.param2 = field(4);
  r.param3 = field(6);
  r.param4 = field(8);
  r.entry = field(10);
  return r;
}

}  // namespace orgsim
