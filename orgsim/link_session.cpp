#include "orgsim/link_session.h"

#include <string>

#include "orgsim/frame_encoder.h"
#include "orgsim/wire.h"

namespace orgsim {
namespace {

constexpr auto kPause = std::chrono::milliseconds(wire::kPauseAfterAckMs);
constexpr auto kEnqInterval = std::chrono::milliseconds(wire::kEnqIntervalMs);
constexpr auto kEnqPhase = std::chrono::milliseconds(wire::kEnqPhaseMs);
constexpr auto kAckWait = std::chrono::milliseconds(wire::kAckWaitMs);
constexpr auto kIdleWait = std::chrono::seconds(1);  // an idle read returns this often
// A host repeats an unanswered ENQ only after waiting 1000 ms for SYN; one
// sooner was sent before our SYN reached it.
constexpr auto kCrossedEnqWindow = std::chrono::milliseconds(500);

}  // namespace

LinkSession::LinkSession(const Config& config, Organizer& organizer, PtyLine& line,
                         std::mutex& lock, Counters& counters)
    : faults_(config.faults),
      organizer_(organizer),
      line_(line),
      lock_(lock),
      counters_(counters) {}

void LinkSession::Run() {
  for (;;) {
    if (line_.WaitHostOpen() != Result::kOk) return;
    if (ServeHost() == Result::kStop) return;
  }
}

void LinkSession::Fired(const std::string& what) {
  std::lock_guard<std::mutex> hold(lock_);
  organizer_.summary().faults_fired.push_back(what);
}

void LinkSession::SetSpeed(uint32_t bits_per_second) {
  std::lock_guard<std::mutex> hold(lock_);
  organizer_.SetSpeed(bits_per_second);
  line_.SetSpeed(bits_per_second);
}

LinkSession::Result LinkSession::ServeHost() {
  // A message cut off by a closed port is dropped; the loader's own state
  // (a write awaiting its data, the speed) lives on, as in a device.
  message_.clear();
  expected_block_ = wire::kFirstBlock;
  recognizer_.Reset();
  enq_pending_ = false;
  std::optional<Message> opening;
  {
    std::lock_guard<std::mutex> hold(lock_);
    opening = organizer_.OnHostOpen();
    line_.SetSpeed(organizer_.speed());
  }
  if (!silent_ && faults_.silence_from_packet == 1) {
    silent_ = true;
    Fired("silence from packet 1");
  }
  if (opening) {
    const Sent sent = SendMessage(*opening, [this] {
      std::lock_guard<std::mutex> hold(lock_);
      ++organizer_.summary().opening_messages;
    });
    if (sent == Sent::kClosed) return Result::kClosed;
    if (sent == Sent::kStop) return Result::kStop;
  }
  for (;;) {
    Result r = Result::kOk;
    if (enq_pending_) {
      enq_pending_ = false;
      r = OnEnq();
    } else {
      uint8_t byte = 0;
      r = line_.ReadByte(&byte, SimClock::now() + kIdleWait);
      if (r == Result::kOk) r = OnFrame(recognizer_.Feed(byte));
      if (r == Result::kTimeout) r = Result::kOk;
    }
    if (r != Result::kOk) return r;
  }
}

LinkSession::Result LinkSession::OnFrame(FrameRecognizer::Event event) {
  if (event == FrameRecognizer::Event::kControl) {
    return recognizer_.code() == wire::kEnq ? OnEnq() : Result::kOk;
  }
  if (event != FrameRecognizer::Event::kNone) syn_sent_at_.reset();  // a data frame came
  if (event == FrameRecognizer::Event::kData) return OnDataFrame();
  return Result::kOk;  // other codes, bad sums and oversized counts get no answer
}

LinkSession::Result LinkSession::OnEnq() {
  const uint32_t number = packets_received_ + 1;
  if (faults_.hangup_at_packet != 0 && number == faults_.hangup_at_packet) {
    Fired("hang-up at packet " + std::to_string(number));
    {
      std::lock_guard<std::mutex> hold(lock_);
      organizer_.summary().mode = "hung up";  // before the host can see it
    }
    line_.HangUp();
    return Result::kClosed;
  }
  if (!silent_ && faults_.silence_from_packet != 0 && number >= faults_.silence_from_packet) {
    silent_ = true;
    Fired("silence from packet " + std::to_string(number));
  }
  if (silent_) return Result::kOk;
  if (faults_.never_syn) {
    // The ENQ is answered, but never with SYN: the host must not send its data.
    if (!never_syn_fired_) Fired("ACK instead of SYN from packet " + std::to_string(number));
    never_syn_fired_ = true;
    return Control(wire::kAck);
  }
  if (syn_sent_at_ && SimClock::now() - *syn_sent_at_ < kCrossedEnqWindow) return Result::kOk;
  syn_sent_at_ = SimClock::now();
  return Control(wire::kSyn);
}

LinkSession::Result LinkSession::OnDataFrame() {
  if (silent_) return Result::kOk;
  const uint16_t block = recognizer_.block();
  if (block == wire::kFirstBlock) {
    // A sender that gave up on a message starts its next one from block 1.
    message_.clear();
    expected_block_ = wire::kFirstBlock;
  } else if (block != wire::kLastBlock && block != expected_block_) {
    return Result::kOk;  // out of order or repeated: no ACK
  }
  const Result acked = Control(wire::kAck);
  if (acked != Result::kOk) return acked;
  ++packets_received_;
  {
    std::lock_guard<std::mutex> hold(lock_);
    ++counters_.packets_from_host;
  }
  const auto& data = recognizer_.data();
  message_.insert(message_.end(), data.begin(), data.end());
  const Result paused = PauseAfterAck();
  if (paused == Result::kStop) return paused;
  if (block != wire::kLastBlock) {
    expected_block_ = static_cast<uint16_t>(block + 1);
    return paused;
  }
  // An acknowledged message is acted on even when the host has closed the
  // port meanwhile: the last request of an update needs no answer.
  const Result delivered = Deliver();
  return paused == Result::kOk ? delivered : paused;
}

LinkSession::Result LinkSession::Deliver() {
  Response response;
  {
    std::lock_guard<std::mutex> hold(lock_);
    response = organizer_.OnMessage(message_);
  }
  message_.clear();
  expected_block_ = wire::kFirstBlock;
  return Answer(response);
}

LinkSession::Result LinkSession::Answer(const Response& response) {
  if (response.speed_before != 0) SetSpeed(response.speed_before);
  // A new speed agreed on takes effect once the host has the agreement.
  const Hook switch_speed = [this, &response] {
    if (response.speed_after != 0) SetSpeed(response.speed_after);
  };
  Result result = Result::kOk;
  for (size_t i = 0; i < response.messages.size(); ++i) {
    const bool last = i + 1 == response.messages.size();
    const Sent sent = SendMessage(response.messages[i], last ? switch_speed : Hook{});
    if (sent == Sent::kClosed) result = Result::kClosed;
    if (sent == Sent::kStop) result = Result::kStop;
    if (sent != Sent::kDone) break;  // the rest of the answer is dropped
  }
  if (response.restart) {
    std::lock_guard<std::mutex> hold(lock_);
    organizer_.Restart();
    line_.SetSpeed(organizer_.speed());
  }
  return result;
}

LinkSession::Sent LinkSession::SendMessage(std::span<const uint8_t> message,
                                           const Hook& on_delivered) {
  if (silent_) return Sent::kFailed;
  const std::vector<Packet> packets = SplitMessage(message);
  for (size_t i = 0; i < packets.size(); ++i) {
    const bool last = i + 1 == packets.size();
    const Sent sent = SendPacket(packets[i].block, packets[i].data, last ? on_delivered : Hook{});
    if (sent != Sent::kDone) return sent;
  }
  return Sent::kDone;
}

LinkSession::Sent LinkSession::SendPacket(uint16_t block, std::span<const uint8_t> data,
                                          const Hook& on_acked) {
  for (int attempt = 0; attempt < wire::kSendAttempts; ++attempt) {
    Sent sent = AwaitSyn(SimClock::now() + kEnqPhase);
    if (sent == Sent::kFailed) continue;
    if (sent != Sent::kDone) return sent;
    const bool corrupt = ++frames_sent_ == faults_.corrupt_sent_frame;
    if (corrupt) Fired("bad checksum in frame " + std::to_string(frames_sent_));
    const Result written = line_.Write(EncodeDataFrame(block, data, corrupt));
    if (written == Result::kClosed) return Sent::kClosed;
    if (written == Result::kStop) return Sent::kStop;
    sent = written == Result::kOk ? AwaitAck() : Sent::kFailed;
    if (sent == Sent::kDone) {
      {
        std::lock_guard<std::mutex> hold(lock_);
        ++counters_.packets_to_host;
      }
      if (on_acked) on_acked();
      const Result paused = PauseAfterAck();
      if (paused == Result::kClosed) return Sent::kClosed;
      return paused == Result::kStop ? Sent::kStop : Sent::kDone;
    }
    if (sent != Sent::kFailed) return sent;
  }
  return Sent::kFailed;
}

LinkSession::Sent LinkSession::AwaitSyn(SimClock::time_point phase_end) {
  while (SimClock::now() < phase_end) {
    const Result r = Control(wire::kEnq);
    if (r == Result::kClosed) return Sent::kClosed;
    if (r == Result::kStop) return Sent::kStop;
    const auto wait_end = std::min(SimClock::now() + kEnqInterval, phase_end);
    for (;;) {
      uint8_t byte = 0;
      const Result read = line_.ReadByte(&byte, wait_end);
      if (read == Result::kTimeout) break;
      if (read == Result::kClosed) return Sent::kClosed;
      if (read == Result::kStop) return Sent::kStop;
      if (recognizer_.Feed(byte) != FrameRecognizer::Event::kControl) continue;
      if (recognizer_.code() == wire::kSyn) return Sent::kDone;
      if (recognizer_.code() == wire::kEnq) {
        // The host wants to send: it goes first, this message is dropped.
        enq_pending_ = true;
        return Sent::kPreempted;
      }
    }
  }
  return Sent::kFailed;
}

LinkSession::Sent LinkSession::AwaitAck() {
  const auto deadline = SimClock::now() + kAckWait;
  for (;;) {
    uint8_t byte = 0;
    const Result read = line_.ReadByte(&byte, deadline);
    if (read == Result::kTimeout) return Sent::kFailed;
    if (read == Result::kClosed) return Sent::kClosed;
    if (read == Result::kStop) return Sent::kStop;
    if (recognizer_.Feed(byte) != FrameRecognizer::Event::kControl) continue;
    if (recognizer_.code() == wire::kAck) return Sent::kDone;
    if (recognizer_.code() == wire::kEnq) {
      enq_pending_ = true;
      return Sent::kPreempted;
    }
  }
}

LinkSession::Result LinkSession::Control(uint8_t code) {
  return line_.Write(EncodeControlFrame(code));
}

LinkSession::Result LinkSession::PauseAfterAck() {
  {
    std::lock_guard<std::mutex> hold(lock_);
    ++counters_.pauses;
  }
  return line_.Sleep(kPause);
}

}  // namespace orgsim
