#include "cli/command_support.h"

#include <pthread.h>

#include <cerrno>
#include <cstdio>
#include <ctime>

#include "base/text_scan.h"

namespace plinth {

std::optional<uint32_t> ReadAddressArgument(const std::string& command, const std::string& text) {
  const uint32_t address = ParseIpv4(text);
  if (address != 0) return address;
  const std::string shown = text.size() > 40 ? text.substr(0, 40) + "..." : text;
  std::fprintf(stderr, "%s: \"%s\" is not an IPv4 address (four numbers 0 to 255 joined by dots)\n",
               command.c_str(), TerminalText(shown).c_str());
  return std::nullopt;
}

nlohmann::ordered_json Versioned(nlohmann::ordered_json doc) {
  nlohmann::ordered_json out{{"formatVersion", kJsonFormatVersion}};
  for (auto it = doc.begin(); it != doc.end(); ++it)
    if (it.key() != "formatVersion") out[it.key()] = std::move(it.value());
  return out;
}

std::string JsonText(const nlohmann::ordered_json& doc, int indent) {
  return doc.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

bool PrintOut(const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), stdout) == text.size();
  return std::fflush(stdout) == 0 && written;
}

StopSignals::StopSignals() {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, &previous_);
}

StopSignals::~StopSignals() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }

int StopSignals::Wait(std::chrono::milliseconds timeout) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(timeout);
  const timespec wait{static_cast<time_t>(seconds.count()),
                      static_cast<long>(std::chrono::nanoseconds(timeout - seconds).count())};
  int signal;
  do signal = sigtimedwait(&signals_, nullptr, &wait);
  while (signal < 0 && errno == EINTR);
  if (signal == SIGINT || signal == SIGTERM) {
    if (!taken_) taken_ = signal;
    return signal;
  }
  return 0;
}

std::string TerminalText(std::string_view bytes) {
  std::string text;
  for (const char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x20 || b == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\x%02x", b);
      text += escaped;
    } else {
      text += c;
    }
  }
  return text;
}

}  // namespace plinth
