#pragma once
// What plinthctl's commands share: the reading of an address argument, the
// JSON they print, SIGINT and SIGTERM as a request to stop, and module text
// made fit for a terminal.
#include <signal.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace plinth {

// The exit status of an argument that cannot be read, as of a command line
// that cannot be read.
inline constexpr int kBadArgumentStatus = 2;

// Every JSON document and JSON line plinthctl prints carries this.
inline constexpr int kJsonFormatVersion = 1;

// text read as an IPv4 address by the program's one rule (four numbers 0 to
// 255 joined by dots, no leading zeros). Otherwise a message on standard
// error names the command and the text, and the result is nullopt (exit
// status 2, like any other argument that cannot be read).
std::optional<uint32_t> ReadAddressArgument(const std::string& command, const std::string& text);

// doc with "formatVersion" put first.
nlohmann::ordered_json Versioned(nlohmann::ordered_json doc);

// doc as text: indent < 0 gives one line. Texts that came from a module or
// a file may hold bytes that are not UTF-8; those bytes become U+FFFD.
std::string JsonText(const nlohmann::ordered_json& doc, int indent);

// Writes text to standard output and flushes it. False when that failed,
// for example because the reader has gone (SIGPIPE is then ignored by the
// caller, so a closed pipe ends the printing, not the program).
bool PrintOut(const std::string& text);

// SIGINT and SIGTERM taken as a request to stop, never by a handler: they
// are blocked while the object lives (make it before any thread starts, so
// that every thread inherits the mask) and taken by Wait.
class StopSignals {
 public:
  StopSignals();
  ~StopSignals();
  StopSignals(const StopSignals&) = delete;
  StopSignals& operator=(const StopSignals&) = delete;

  // Waits at most timeout for a stop signal; its number, or 0 when none
  // came. A signal taken once is kept in Taken().
  int Wait(std::chrono::milliseconds timeout);
  int Taken() const { return taken_; }

 private:
  sigset_t signals_;
  sigset_t previous_;
  int taken_ = 0;
};

// The exit status of a command that a signal ended early: 128 + signal
// (130 for SIGINT), as a shell reports a program the signal killed.
constexpr int ExitStatusOfSignal(int signal) { return 128 + signal; }

// Module text for a terminal: control bytes as \xNN, the rest as it is.
std::string TerminalText(std::string_view bytes);

}  // namespace plinth
