#include "orgsim/organizer.h"

#include <algorithm>

#include "orgsim/system_record.h"
#include "orgsim/wire.h"

namespace orgsim {
namespace {

constexpr uint32_t kMinFlashBanks = kRamBanks;  // RemoteProg64k needs banks 0-7
constexpr uint32_t kMaxFlashBanks = 512;        // 4 MB, the largest kit

uint32_t FlashBanks(const Config& config) {
  return std::clamp(config.flash_banks, kMinFlashBanks, kMaxFlashBanks);
}

}  // namespace

std::vector<uint8_t> OldSystemFlash(uint32_t flash_banks) {
  // Not 0xFF, so that an erase shows; not uniform, so that a wrong offset shows.
  std::vector<uint8_t> flash(size_t{flash_banks} * kBankSize);
  for (size_t i = 0; i < flash.size(); ++i) flash[i] = static_cast<uint8_t>((i * 7) ^ (i >> 8));
  return flash;
}

Organizer::Organizer(const Config& config)
    : config_(config),
      memory_(FlashBanks(config), config.initial_flash.empty() ? OldSystemFlash(FlashBanks(config))
                                                               : config.initial_flash),
      in_loader_(config.start_in_loader),
      busy_left_(config.busy_replies),
      system_line1_(config.system_line1),
      system_line2_(config.system_line2) {
  summary_.mode = in_loader_ ? "loader" : "normal";
  summary_.system_line1 = system_line1_;
  summary_.system_line2 = system_line2_;
  SetSpeed(wire::kPowerOnSpeed);
}

void Organizer::SetSpeed(uint32_t bits_per_second) {
  if (bits_per_second == speed_) return;
  speed_ = bits_per_second;
  summary_.speeds.push_back(bits_per_second);
}

Response Organizer::OnMessage(std::span<const uint8_t> message) {
  return in_loader_ ? OnRequest(message) : OnCommand(message);
}

std::optional<Message> Organizer::OnHostOpen() {
  ++summary_.host_opens;
  // The loader does not know the port was reopened; it keeps its speed.
  if (in_loader_) return std::nullopt;
  SetSpeed(wire::kPowerOnSpeed);
  Message opening(config_.opening_message.begin(), config_.opening_message.end());
  opening.push_back(0);
  return opening;
}

// The restart is a power-on: the opening message goes out when the host next
// opens the port, not on the port the update still holds (at another speed).
void Organizer::Restart() {
  in_loader_ = false;
  pending_write_.reset();
  unlocked_ = false;
  summary_.mode = "normal";
  SetSpeed(wire::kPowerOnSpeed);
  // The new system names itself; flash without a record keeps the old lines.
  const auto& flash = memory_.flash();
  if (auto lines = DecodeSystemRecord(std::span(flash).subspan(kSystemRecordOffset))) {
    system_line1_ = lines->first;
    system_line2_ = lines->second;
  }
  summary_.system_line1 = system_line1_;
  summary_.system_line2 = system_line2_;
}

}  // namespace orgsim
