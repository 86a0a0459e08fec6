// Opening, configuring, flushing and closing the port.
#include <string>

#include "linklib/link_state.h"
#include "linklib/linklib_exports.h"
#include "platform/serial.h"

namespace {

platform::SerialDevice* Device(int32_t port) {
  return port == ZEP_INVALID_PORT ? nullptr : platform::FindSerial(port);
}

}  // namespace

extern "C" {

int32_t OpenZep(int32_t port_number) {
  zep::State().open_event = false;
  return OpenZepByName(("COM" + std::to_string(port_number)).c_str());
}

// The line after opening: 9600 bps, 8 data bits, odd parity, 1 stop bit, no
// flow control, DTR and RTS raised, queues and receive buffer empty. Only the
// open itself can fail; the platform layer keeps (and traces) why it did.
int32_t OpenZepByName(const char* port_name) {
  zep::LinkState& s = zep::State();
  s.error_status = zep::kStatusOk;
  s.message_id = 0;
  s.open_event = false;
  const int32_t port = port_name ? platform::OpenSerial(port_name) : ZEP_INVALID_PORT;
  if (port == ZEP_INVALID_PORT) {
    s.error_status = zep::kStatusOpenFailed;
    return ZEP_INVALID_PORT;
  }
  platform::SerialDevice* device = platform::FindSerial(port);
  device->ApplyLineSettings();
  device->SetDtr(true);
  device->SetRts(true);
  FlushZep(port);
  s.open_event = true;
  return port;
}

int32_t CloseZep(int32_t port) {
  if (platform::SerialDevice* device = Device(port)) {
    device->SetDtr(false);
    platform::CloseSerial(port);
  }
  zep::LinkState& s = zep::State();
  if (!s.open_event) return 0;
  s.open_event = false;
  return 1;
}

void FlushZep(int32_t port) {
  if (port == ZEP_INVALID_PORT) return;
  platform::SerialDevice* device = Device(port);
  if (device) device->Purge(true, false);
  zep::LinkState& s = zep::State();
  s.unread_count = 0;
  s.read_position = 0;
  if (device) device->Purge(false, true);
}

int32_t ZEPSetSpeed(int32_t port, uint32_t bits_per_second) {
  platform::SerialDevice* device = Device(port);
  return device && device->SetSpeed(bits_per_second) ? 1 : 0;
}

}  // extern "C"
