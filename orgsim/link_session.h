// The organizer's side of the packet protocol over its line, serving one
// Organizer until stopped.
//
//   receiving: ENQ -> SYN; data frame checked -> ACK; 50 ms pause.
//   sending:   ENQ every 300 ms until SYN (10 s), data frame, ACK within
//              500 ms, 50 ms pause; a failed attempt is tried once more.
//
// A message from the host is packets numbered 1, 2, 3 ... and 0xFFFF on the
// last; a packet whose number is neither 0xFFFF nor the expected one gets no
// ACK, except that block 1 always starts a new message. An ENQ that arrives
// within 500 ms of our SYN crossed it on the line and is not answered again.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <span>

#include "orgsim/frame_recognizer.h"
#include "orgsim/organizer.h"
#include "orgsim/pty_line.h"

namespace orgsim {

class LinkSession {
 public:
  LinkSession(const Config& config, Organizer& organizer, PtyLine& line, std::mutex& lock,
              Counters& counters);

  // Serves host after host until stopped or hung up.
  void Run();

 private:
  using Result = PtyLine::Result;
  enum class Sent { kDone, kFailed, kPreempted, kClosed, kStop };

  Result ServeHost();
  Result OnFrame(FrameRecognizer::Event event);
  Result OnEnq();
  Result OnDataFrame();
  Result Deliver();
  Result Answer(const Response& response);
  // `on_delivered` runs when the host acknowledged the last packet, before
  // the pause, as the organizer acts on a delivered message at once.
  using Hook = std::function<void()>;
  Sent SendMessage(std::span<const uint8_t> message, const Hook& on_delivered = {});
  Sent SendPacket(uint16_t block, std::span<const uint8_t> data, const Hook& on_acked);
  Sent AwaitSyn(SimClock::time_point phase_end);
  Sent AwaitAck();
  Result Control(uint8_t code);
  Result PauseAfterAck();
  void SetSpeed(uint32_t bits_per_second);
  void Fired(const std::string& what);

  const Faults faults_;
  Organizer& organizer_;
  PtyLine& line_;
  std::mutex& lock_;
  Counters& counters_;
  FrameRecognizer recognizer_;
  std::vector<uint8_t> message_;  // the host's message so far
  uint16_t expected_block_ = 1;
  uint32_t packets_received_ = 0;
  uint32_t frames_sent_ = 0;
  bool enq_pending_ = false;  // the host asked to send while we were sending
  // When the last SYN went out, until a data frame follows it.
  std::optional<SimClock::time_point> syn_sent_at_;
  bool silent_ = false;
  bool never_syn_fired_ = false;  // told once in the summary, not per ENQ
};

}  // namespace orgsim
