#include "orgsim/address_space.h"

#include <algorithm>

namespace orgsim {

AddressSpace::AddressSpace(uint32_t flash_banks, std::vector<uint8_t> initial_flash)
    : flash_(std::move(initial_flash)),
      erased_(flash_banks, false),
      ram_banks_(kRamBanks * kBankSize, 0),
      work_ram_(kAddressSpace - kWorkRamStart, 0) {
  flash_.resize(size_t{flash_banks} * kBankSize, kErasedByte);
  if (window_bank_ >= flash_banks) window_bank_ = 0;
}

bool AddressSpace::SelectRamBank(uint32_t bank) {
  if (bank >= kRamBanks) return false;
  window_on_ram_ = true;
  window_bank_ = bank;
  return true;
}

bool AddressSpace::SelectFlashBank(uint32_t bank) {
  if (bank >= flash_banks()) return false;
  window_on_ram_ = false;
  window_bank_ = bank;
  return true;
}

AddressSpace::Cell AddressSpace::Locate(uint32_t address) const {
  if (address < kWindowStart) return {Cell::kFlash, address};
  if (address < kWorkRamStart) {
    const uint32_t offset = window_bank_ * kBankSize + (address - kWindowStart);
    return {window_on_ram_ ? Cell::kRam : Cell::kFlash, offset};
  }
  if (address < kAddressSpace) return {Cell::kWork, address - kWorkRamStart};
  return {Cell::kNone, 0};
}

std::optional<std::vector<uint8_t>> AddressSpace::Read(uint32_t address, uint32_t length) const {
  if (address > kAddressSpace || length > kAddressSpace - address) return std::nullopt;
  std::vector<uint8_t> out(length);
  for (uint32_t i = 0; i < length; ++i) {
    const Cell cell = Locate(address + i);
    switch (cell.kind) {
      case Cell::kFlash:
        out[i] = cell.index < flash_.size() ? flash_[cell.index] : kErasedByte;
        break;
      case Cell::kRam:
        out[i] = ram_banks_[cell.index];
        break;
      case Cell::kWork:
        out[i] = work_ram_[cell.index];
        break;
      case Cell::kNone:
        return std::nullopt;
    }
  }
  return out;
}

bool AddressSpace::Write(uint32_t address, std::span<const uint8_t> data) {
  if (address > kAddressSpace || data.size() > kAddressSpace - address) return false;
  for (uint32_t i = 0; i < data.size(); ++i) {
    const Cell::Kind kind = Locate(address + i).kind;
    if (kind != Cell::kRam && kind != Cell::kWork) return false;
  }
  for (uint32_t i = 0; i < data.size(); ++i) {
    const Cell cell = Locate(address + i);
    (cell.kind == Cell::kRam ? ram_banks_ : work_ram_)[cell.index] = data[i];
  }
  return true;
}

bool AddressSpace::ProgramFlash(uint32_t offset, std::span<const uint8_t> data) {
  if (offset > flash_.size() || data.size() > flash_.size() - offset) return false;
  for (size_t i = 0; i < data.size(); ++i) {
    const size_t at = offset + i;
    const size_t bank = at / kBankSize;
    if (!erased_[bank]) {
      std::fill_n(flash_.begin() + static_cast<std::ptrdiff_t>(bank * kBankSize), kBankSize,
                  kErasedByte);
      erased_[bank] = true;
    }
    flash_[at] &= data[i];
  }
  return true;
}

bool AddressSpace::ProgramRamBanksToFlash() {
  return ProgramFlash(0, ram_banks_);
}

uint32_t AddressSpace::banks_erased() const {
  return static_cast<uint32_t>(std::count(erased_.begin(), erased_.end(), true));
}

}  // namespace orgsim
