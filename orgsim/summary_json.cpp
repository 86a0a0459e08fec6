#include <cstdio>
#include <string>

#include "orgsim/orgsim.h"

namespace orgsim {
namespace {

std::string Quoted(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

template <typename T, typename Format>
std::string List(const std::vector<T>& items, Format format) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) out += (i ? ", " : "") + format(items[i]);
  return out + "]";
}

}  // namespace

std::string Summary::ToJson() const {
  auto number = [](uint64_t v) { return std::to_string(v); };
  auto boolean = [](bool v) { return std::string(v ? "true" : "false"); };
  std::string j = "{\n";
  auto field = [&j](const char* name, const std::string& value, bool last = false) {
    j += std::string("  \"") + name + "\": " + value + (last ? "\n" : ",\n");
  };
  field("mode", Quoted(mode));
  field("host_opens", number(host_opens));
  field("opening_messages", number(opening_messages));
  field("commands", "{\"reset\": " + number(resets) + ", \"quit\": " + number(quits) +
                        ", \"qim_all\": " + number(qim_all) + ", \"set_baud\": " +
                        number(set_baud) + ", \"patch_send\": " + number(patch_send) +
                        ", \"unknown\": " + number(unknown_commands) + "}");
  field("requests", "{\"ready\": " + number(ready_queries) + ", \"read\": " + number(reads) +
                        ", \"write\": " + number(writes) + ", \"call\": " + number(calls) +
                        ", \"refused\": " + number(refused_requests) + "}");
  field("speeds", List(speeds, [](uint32_t s) { return std::to_string(s); }));
  field("routines_called", List(routines_called, Quoted));
  field("faults_fired", List(faults_fired, Quoted));
  field("unlocked", boolean(unlocked));
  field("checksum", "{\"result\": " + Quoted(checksum_result) +
                        ", \"expected\": " + number(checksum_expected) +
                        ", \"computed\": " + number(checksum_computed) + "}");
  field("databank_formatted", boolean(databank_formatted));
  field("flash_banks_programmed", number(flash_banks_programmed));
  field("system_line1", Quoted(system_line1));
  field("system_line2", Quoted(system_line2));
  field("bytes_lost_to_speed_mismatch", number(bytes_lost_to_speed_mismatch));
  char seconds[64];
  std::snprintf(seconds, sizeof seconds, "%.3f, \"floor_seconds\": %.3f", traffic.wire_seconds,
                traffic.FloorSeconds());
  field("traffic",
        "{\"bytes_to_host\": " + number(traffic.bytes_to_host) +
            ", \"bytes_from_host\": " + number(traffic.bytes_from_host) +
            ", \"packets_to_host\": " + number(traffic.packets_to_host) +
            ", \"packets_from_host\": " + number(traffic.packets_from_host) +
            ", \"pauses\": " + number(traffic.pauses) + ", \"wire_seconds\": " + seconds + "}",
        true);
  return j + "}\n";
}

}  // namespace orgsim
