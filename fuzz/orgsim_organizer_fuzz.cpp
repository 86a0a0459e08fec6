// Messages from the host into the organizer: system commands, loader
// requests, write data, routine calls with any arguments, and the system
// record it reads from flash after a format.
//
// Input: one flags byte (bit 0 start in the loader, bit 1 routines loaded and
// flash unlocked first), then messages, each a length byte and its bytes.
#include <cstdint>
#include <cstdlib>
#include <span>

#include "orgsim/organizer.h"
#include "orgsim/routine_image.h"
#include "orgsim/system_record.h"

namespace {

using orgsim::Message;

void Send(orgsim::Organizer& o, const Message& m) {
  const orgsim::Response r = o.OnMessage(m);
  for (const Message& reply : r.messages) {
    if (reply.size() > 0x10000 + 4096) std::abort();
  }
  if (r.restart) o.Restart();
}

Message Write(uint16_t address, size_t length) {
  return {orgsim::kReproOpWrite,
          0,
          static_cast<uint8_t>(address),
          static_cast<uint8_t>(address >> 8),
          static_cast<uint8_t>(length),
          static_cast<uint8_t>(length >> 8),
          0,
          0,
          0,
          0,
          0,
          0};
}

void Prepare(orgsim::Organizer& o) {
  struct Load {
    orgsim::RoutineKind kind;
    uint16_t at;
  };
  const Load loads[] = {{orgsim::RoutineKind::kUnlock, 0xE300},
                        {orgsim::RoutineKind::kSetbank, 0xE800},
                        {orgsim::RoutineKind::kProg64k, 0xE880},
                        {orgsim::RoutineKind::kChkSum, 0xE400}};
  for (const Load& l : loads) {
    const Message image = orgsim::RoutineImage(l.kind, 0);
    Send(o, Write(l.at, image.size()));
    Send(o, image);
  }
  Send(o, {orgsim::kReproOpCall, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xE3});
  const Message prog = orgsim::RoutineImage(orgsim::RoutineKind::kProgFlash, 0);
  Send(o, Write(0xE300, prog.size()));
  Send(o, prog);
  const Message pairs = {0x55, 0x55, 0xAA, 0x2A, 0x55, 0x55};
  Send(o, Write(0xC000, pairs.size()));
  Send(o, pairs);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  orgsim::Config config;
  config.flash_banks = 8;  // small flash keeps runs fast
  config.start_in_loader = data[0] & 1;
  orgsim::Organizer organizer(config);
  if (data[0] & 2) {
    Send(organizer, {'W', 'S', 'Y', 'S', ' ', 'P', 'A', 'T', 'C', 'H', ' ', 'S', 'E', 'N', 'D', 0});
    Prepare(organizer);
  }
  size_t at = 1;
  while (at < size) {
    const size_t length = data[at++];
    const size_t take = length < size - at ? length : size - at;
    Send(organizer, Message(data + at, data + at + take));
    at += take;
  }
  orgsim::DecodeSystemRecord(std::span(data, size));
  return 0;
}
