// The organizer's memory as its loader sees it: a 64 KB address space over
// flash, eight RAM banks and a work area.
//
//   0x0000-0x9FFF  flash offsets 0x0000-0x9FFF, read only
//   0xA000-0xBFFF  bank window: one RAM bank (0-7) or one flash bank
//   0xC000-0xFFFF  work RAM (unlock pairs at 0xC000, routines from 0xE300)
//
// Flash is NOR: the first programming of a bank in a run (since the
// simulator started) erases it to 0xFF, and programming only clears bits.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace orgsim {

inline constexpr uint32_t kBankSize = 0x2000;       // 8 KB, flash and RAM banks alike
inline constexpr uint32_t kRamBanks = 8;            // the staging RAM: 64 KB
inline constexpr uint32_t kAddressSpace = 0x10000;  // the loader's 16-bit addresses
inline constexpr uint32_t kWindowStart = 0xA000;    // bank window
inline constexpr uint32_t kWorkRamStart = 0xC000;   // work RAM to the top
inline constexpr uint32_t kPowerOnWindowBank = 5;   // flash bank 5 follows the fixed flash
inline constexpr uint8_t kErasedByte = 0xFF;        // NOR flash after an erase

class AddressSpace {
 public:
  AddressSpace(uint32_t flash_banks, std::vector<uint8_t> initial_flash);

  // A window onto RAM bank `bank` (0-7) or flash bank `bank`.
  bool SelectRamBank(uint32_t bank);
  bool SelectFlashBank(uint32_t bank);

  // Whole range or nothing.
  std::optional<std::vector<uint8_t>> Read(uint32_t address, uint32_t length) const;
  // Only RAM may be written: the work area, or the window onto a RAM bank.
  bool Write(uint32_t address, std::span<const uint8_t> data);

  // Programs flash at a byte offset; false when it runs past the flash.
  bool ProgramFlash(uint32_t offset, std::span<const uint8_t> data);
  bool ProgramRamBanksToFlash();

  const std::vector<uint8_t>& flash() const { return flash_; }
  uint32_t flash_banks() const { return static_cast<uint32_t>(erased_.size()); }
  uint32_t banks_erased() const;

 private:
  // Where an address lands: a byte of flash, of a RAM bank or of work RAM.
  struct Cell {
    enum Kind { kFlash, kRam, kWork, kNone } kind;
    uint32_t index;
  };
  Cell Locate(uint32_t address) const;

  std::vector<uint8_t> flash_;
  std::vector<bool> erased_;        // per flash bank: erased in this run
  std::vector<uint8_t> ram_banks_;  // kRamBanks x kBankSize
  std::vector<uint8_t> work_ram_;   // 0xC000-0xFFFF
  bool window_on_ram_ = false;
  uint32_t window_bank_ = kPowerOnWindowBank;
};

}  // namespace orgsim
