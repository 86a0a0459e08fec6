// A link over an in-memory line in virtual time: the library opened on it by
// name, its process-wide state fresh, and the peer of the test at the far end.
#pragma once

#include <gtest/gtest.h>

#include <memory>

#include "far_end.h"
#include "linklib/link_state.h"
#include "linklib/linklib_exports.h"
#include "platform/clock.h"
#include "platform/memory_line.h"
#include "platform/serial.h"

namespace linktest {

class LinkFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    zep::ResetState();
    line_ = std::make_shared<platform::MemoryLine>();
    platform::RegisterInProcessLine(kPortName, line_);
    port_ = OpenZepByName(kPortName);
    ASSERT_NE(port_, ZEP_INVALID_PORT);
  }
  void TearDown() override {
    CloseZep(port_);
    platform::UnregisterInProcessLine(kPortName);
    EXPECT_EQ(zep::State().timer.InUse(), 0) << "a deadline slot was not released";
  }

  void Attach(Peer& peer) {
    memory_peer_ = std::make_unique<MemoryPeer>(peer);
    line_->SetPeer(memory_peer_.get());
  }
  platform::Tick Now() { return platform::TickCount(); }

  static constexpr const char* kPortName = "COM42";
  platform::ScopedVirtualClock clock_{1000};
  std::shared_ptr<platform::MemoryLine> line_;
  std::unique_ptr<MemoryPeer> memory_peer_;
  int32_t port_ = ZEP_INVALID_PORT;
};

}  // namespace linktest
