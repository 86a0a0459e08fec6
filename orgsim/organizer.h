// The organizer itself, without a line: what it answers to each message the
// host delivers, in its normal link mode and in its loader. The link session
// moves the messages; this class only decides.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "orgsim/address_space.h"
#include "orgsim/orgsim.h"
#include "orgsim/repro_request.h"
#include "orgsim/routine_image.h"

namespace orgsim {

using Message = std::vector<uint8_t>;

struct Response {
  std::vector<Message> messages;  // sent in order, each as a whole message
  uint32_t speed_before = 0;      // switch first, answer at the new speed (tune rate)
  uint32_t speed_after = 0;       // switch once the answer was delivered (SET BAUD)
  bool restart = false;           // restart in normal link mode (after the format)
};

class Organizer {
 public:
  explicit Organizer(const Config& config);

  Response OnMessage(std::span<const uint8_t> message);
  // The host opened the port: the organizer enters its link mode afresh.
  // In normal link mode that means power-on speed and the opening message.
  std::optional<Message> OnHostOpen();
  // After the format: normal link mode at power-on speed, new system lines.
  void Restart();

  bool in_loader() const { return in_loader_; }
  uint32_t speed() const { return speed_; }
  void SetSpeed(uint32_t bits_per_second);
  Summary& summary() { return summary_; }
  const Summary& summary() const { return summary_; }
  const AddressSpace& memory() const { return memory_; }

 private:
  // Normal link mode.
  Response OnCommand(std::span<const uint8_t> message);
  Message DeviceBlock() const;
  Response OnSetBaud(std::span<const uint8_t> message);

  // Loader.
  Response OnRequest(std::span<const uint8_t> message);
  Response OnWriteData(std::span<const uint8_t> data);
  Response OnRead(const ReproRequest& r);
  Response OnCall(const ReproRequest& r);
  uint8_t RunRoutine(const RecognizedRoutine& routine, const ReproRequest& r, Response& out);
  uint8_t ProgFlash(const ReproRequest& r);
  uint8_t ChkSum(uint32_t length, uint16_t expected);
  uint8_t Setbank(uint16_t bank);
  uint8_t TuneRate(uint16_t divisor, Response& out);
  bool FlashWritable() const;
  Response Status(uint8_t status);

  Config config_;
  Summary summary_;
  AddressSpace memory_;
  bool in_loader_;
  uint32_t speed_ = 0;
  uint32_t busy_left_;
  std::optional<ReproRequest> pending_write_;  // the next message is its data
  uint32_t write_count_ = 0;
  bool unlocked_ = false;
  std::string system_line1_, system_line2_;
};

// The flash an organizer holds before any update: an old system pattern.
std::vector<uint8_t> OldSystemFlash(uint32_t flash_banks);

}  // namespace orgsim
