#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include "orgsim/folders.h"
#include "orgsim/link_session.h"
#include "orgsim/orgsim.h"

namespace orgsim {

class SimulatorImpl {
 public:
  explicit SimulatorImpl(Config config)
      : config_(std::move(config)),
        organizer_(config_),
        line_(config_.pacing, lock_, counters_),
        session_(config_, organizer_, line_, lock_, counters_) {}

  bool Start(std::string* error) {
    if (started_) {
      if (error) *error = "the simulator is already running";
      return false;
    }
    if (!line_.Open(error)) return false;
    started_ = true;
    thread_ = std::thread([this] {
      session_.Run();
      finished_ = true;
    });
    return true;
  }

  void Stop() {
    if (thread_.joinable()) {
      line_.RequestStop();
      thread_.join();
    }
    line_.HangUp();  // the host sees the organizer go away
    finished_ = true;
    RemoveLink();
  }

  bool LinkAs(const std::string& name, std::string* error);

  std::mutex lock_;
  Counters counters_;
  Config config_;
  Organizer organizer_;
  PtyLine line_;
  LinkSession session_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
  bool started_ = false;
  std::string link_path_;

 private:
  void RemoveLink() {
    char target[4096];
    const ssize_t n = readlink(link_path_.c_str(), target, sizeof target - 1);
    // Only our own link goes: a later simulator may have taken the name.
    if (!link_path_.empty() && n > 0 &&
        std::string(target, static_cast<size_t>(n)) == line_.slave_path()) {
      unlink(link_path_.c_str());
    }
    link_path_.clear();
  }
};

namespace {

// Where the host looks up COMn, as its port-name rules say.
std::string PortsFolder() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  if (config && *config) return std::string(config) + "/vq3upd/ports";
  const char* home = std::getenv("HOME");
  return std::string(home ? home : "") + "/.config/vq3upd/ports";
}

// The host spells COMn in any letter case but looks up "COM" and the number,
// so "com7" is linked as COM7. Other names are taken as they are.
std::string LinkName(const std::string& name) {
  constexpr size_t kPrefix = 3;       // "COM"
  constexpr unsigned kMaxPort = 256;  // COM1 to COM256
  if (name.size() <= kPrefix || name.size() > kPrefix + 3 || name[kPrefix] == '0') return name;
  for (size_t i = 0; i < kPrefix; ++i) {
    if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return name;
  }
  unsigned number = 0;
  for (size_t i = kPrefix; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return name;
    number = number * 10 + static_cast<unsigned>(name[i] - '0');
  }
  return number <= kMaxPort ? "COM" + std::to_string(number) : name;
}

}  // namespace

bool SimulatorImpl::LinkAs(const std::string& name, std::string* error) {
  if (line_.slave_path().empty()) {
    if (error) *error = "the simulator has not been started";
    return false;
  }
  if (name.empty() || name.find('/') != std::string::npos || name == "." || name == "..") {
    if (error) *error = "port name \"" + name + "\" cannot name a link";
    return false;
  }
  const std::string folder = PortsFolder();
  if (!MakeFolders(folder, 0700, error)) return false;
  const std::string path = folder + "/" + LinkName(name);
  const std::string temporary = path + ".orgsim-" + std::to_string(getpid());
  unlink(temporary.c_str());
  // A new link replaces an old one in one step.
  if (symlink(line_.slave_path().c_str(), temporary.c_str()) != 0 ||
      rename(temporary.c_str(), path.c_str()) != 0) {
    if (error) *error = "cannot link " + path + ": " + std::strerror(errno);
    unlink(temporary.c_str());
    return false;
  }
  link_path_ = path;
  return true;
}

Simulator::Simulator(Config config) : impl_(std::make_unique<SimulatorImpl>(std::move(config))) {}

Simulator::~Simulator() {
  Stop();
}

bool Simulator::Start(std::string* error) {
  return impl_->Start(error);
}

std::string Simulator::SlavePath() const {
  return impl_->line_.slave_path();
}

bool Simulator::LinkAs(const std::string& port_name, std::string* error) {
  return impl_->LinkAs(port_name, error);
}

void Simulator::Stop() {
  impl_->Stop();
}

bool Simulator::Finished() const {
  return impl_->finished_;
}

Summary Simulator::GetSummary() const {
  std::lock_guard<std::mutex> hold(impl_->lock_);
  Summary summary = impl_->organizer_.summary();
  summary.bytes_lost_to_speed_mismatch = impl_->line_.bytes_lost();
  summary.traffic = impl_->counters_;
  return summary;
}

Counters Simulator::GetCounters() const {
  std::lock_guard<std::mutex> hold(impl_->lock_);
  return impl_->counters_;
}

std::vector<uint8_t> Simulator::Flash() const {
  std::lock_guard<std::mutex> hold(impl_->lock_);
  return impl_->organizer_.memory().flash();
}

}  // namespace orgsim
