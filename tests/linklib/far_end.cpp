#include "far_end.h"

#include <cstdio>
#include <stdexcept>

namespace linktest {

Bytes Hex(const std::string& hex) {
  Bytes out;
  unsigned value = 0;
  int digits = 0;
  for (char c : hex) {
    if (c == ' ') continue;
    value = value * 16 + static_cast<unsigned>(std::stoi(std::string(1, c), nullptr, 16));
    if (++digits == 2) {
      out.push_back(static_cast<uint8_t>(value));
      value = 0;
      digits = 0;
    }
  }
  return out;
}

std::string ToHex(const Bytes& bytes) {
  std::string out;
  char cell[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(cell, sizeof cell, "%02X", bytes[i]);
    if (i) out += ' ';
    out += cell;
  }
  return out;
}

Bytes ControlFrameBytes(uint8_t code) {
  return {0, 0, 0, 0, 0, 0x96, 0x82, code};
}

Bytes DataFrameBytes(uint16_t block, const Bytes& data, uint16_t checksum_delta) {
  Bytes f = {0, 0, 0, 0, 0, 0x96, 0x81, 0x10};
  f.push_back(block & 0xFF);
  f.push_back(block >> 8);
  f.insert(f.end(), {0x01, 0x40, 0xFE});
  f.push_back(data.size() & 0xFF);
  f.push_back((data.size() >> 8) & 0xFF);
  f.insert(f.end(), data.begin(), data.end());
  unsigned sum = checksum_delta;
  for (uint8_t b : data) sum += b;
  f.push_back(sum & 0xFF);
  f.push_back((sum >> 8) & 0xFF);
  return f;
}

Bytes Pattern(size_t count, uint8_t seed) {
  Bytes b(count);
  uint32_t x = 2463534242u + seed;
  for (auto& v : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    v = static_cast<uint8_t>(x);
  }
  return b;
}

void FrameParser::Feed(const Bytes& bytes) {
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

std::optional<Frame> FrameParser::Next() {
  for (;;) {
    // A frame starts at "00 96" followed by its kind.
    size_t start = 1;
    while (start < pending_.size() && !(pending_[start] == 0x96 && pending_[start - 1] == 0x00))
      ++start;
    if (start >= pending_.size()) {
      if (pending_.size() > 1) pending_.erase(pending_.begin(), pending_.end() - 1);
      return std::nullopt;
    }
    if (pending_.size() < start + 2) return std::nullopt;
    const uint8_t kind = pending_[start + 1];
    Frame f;
    size_t end;
    if (kind == 0x82) {
      if (pending_.size() < start + 3) return std::nullopt;
      f.control = true;
      f.code = pending_[start + 2];
      end = start + 3;
    } else if (kind == 0x81) {
      const size_t header = start + 10;  // through the length field
      if (pending_.size() < header) return std::nullopt;
      f.block = pending_[start + 3] | pending_[start + 4] << 8;
      const size_t n = pending_[start + 8] | pending_[start + 9] << 8;
      if (pending_.size() < header + n + 2) return std::nullopt;
      f.data.assign(pending_.begin() + header, pending_.begin() + header + n);
      unsigned sum = 0;
      for (uint8_t b : f.data) sum += b;
      f.checksum_ok = (sum & 0xFFFF) ==
                      static_cast<unsigned>(pending_[header + n] | pending_[header + n + 1] << 8);
      end = header + n + 2;
    } else {
      pending_.erase(pending_.begin(), pending_.begin() + start + 1);
      continue;
    }
    pending_.erase(pending_.begin(), pending_.begin() + end);
    return f;
  }
}

void Outbox::Release(uint32_t now_ms, Bytes& outgoing) {
  while (!queue_.empty() && static_cast<int32_t>(now_ms - queue_.front().due_ms) >= 0) {
    outgoing.insert(outgoing.end(), queue_.front().bytes.begin(), queue_.front().bytes.end());
    queue_.pop_front();
  }
}

void ReceivingPeer::Run(const Bytes& incoming, uint32_t now_ms, Bytes& outgoing) {
  outbox_.Release(now_ms, outgoing);
  parser_.Feed(incoming);
  while (auto f = parser_.Next()) {
    frames.push_back(*f);
    if (f->control) {
      if (f->code == 0x05) {
        ++enqs;
        if (enq_reply) outbox_.Schedule(now_ms + reply_delay_ms, ControlFrameBytes(*enq_reply));
      }
      continue;
    }
    data_frames.push_back(*f);
    std::optional<uint8_t> reply = 0x06;
    if (!data_replies.empty()) {
      reply = data_replies.front();
      data_replies.pop_front();
    }
    if (!f->checksum_ok) reply = std::nullopt;
    if (reply == 0x06) message.insert(message.end(), f->data.begin(), f->data.end());
    if (reply) outbox_.Schedule(now_ms + reply_delay_ms, ControlFrameBytes(*reply));
  }
}

std::vector<Bytes> SendingPeer::MessageFrames(const Bytes& message) {
  std::vector<Bytes> frames;
  size_t sent = 0;
  uint16_t block = 0;
  do {
    const size_t n = std::min<size_t>(2048, message.size() - sent);
    const bool last = sent + n == message.size();
    block = last ? 0xFFFF : static_cast<uint16_t>(block + 1);
    frames.push_back(
        DataFrameBytes(block, Bytes(message.begin() + sent, message.begin() + sent + n)));
    sent += n;
  } while (sent < message.size());
  return frames;
}

void SendingPeer::Add(Bytes first, std::optional<Bytes> retry) {
  frames_.push_back({std::move(first), std::move(retry)});
}

void SendingPeer::SendEnq(uint32_t now_ms, Bytes& outgoing) {
  Bytes enq = ControlFrameBytes(0x05);
  outgoing.insert(outgoing.end(), enq.begin(), enq.end());
  ++enqs_sent;
  last_ms_ = now_ms;
  state_ = State::kAwaitSyn;
}

void SendingPeer::Run(const Bytes& incoming, uint32_t now_ms, Bytes& outgoing) {
  outbox_.Release(now_ms, outgoing);
  parser_.Feed(incoming);
  std::optional<uint8_t> code;
  while (auto f = parser_.Next()) {
    if (f->control) code = f->code;
  }
  switch (state_) {
    case State::kIdle:
      if (frames_.empty()) return;
      outgoing.insert(outgoing.end(), preamble_noise.begin(), preamble_noise.end());
      preamble_noise.clear();
      SendEnq(now_ms, outgoing);
      return;
    case State::kAwaitSyn:
      if (code == 0x16) {
        ++syns;
        Packet& p = frames_.front();
        outbox_.Schedule(now_ms + reply_delay_ms, p.tried && p.retry ? *p.retry : p.first);
        p.tried = true;
        last_ms_ = now_ms;
        state_ = State::kAwaitAck;
      } else if (now_ms - last_ms_ >= 300) {
        SendEnq(now_ms, outgoing);
      }
      return;
    case State::kAwaitAck:
      if (code == 0x06) {
        ++acks;
        frames_.pop_front();
        state_ = State::kIdle;
        if (!frames_.empty()) SendEnq(now_ms, outgoing);
      } else if (now_ms - last_ms_ >= 2000) {
        SendEnq(now_ms, outgoing);
      }
      return;
  }
}

void MemoryPeer::Run(platform::MemoryLine& line, platform::Tick now) {
  Bytes out;
  peer_.Run(line.TakeFromHost(), now, out);
  if (!out.empty()) line.SendToHost(out);
}

}  // namespace linktest
