// Command-line reading shared by plinthctl and plinth-sim: --version, and
// one exit status for every command line that cannot be read.
#pragma once

#include <CLI/CLI.hpp>

namespace plinth {

// Exit status of a command line that cannot be read, as of bad input.
constexpr int kUsageStatus = 2;

// Adds --version (the app's name and the project's version) and parses.
// Returns -1 when the program goes on, else the exit status: 0 after --help
// or --version, kUsageStatus after a message about the command line.
inline int ParseCommandLine(CLI::App& app, int argc, char** argv) {
  app.set_version_flag("--version", app.get_name() + " " + PLINTH_VERSION, "print the version and exit");
  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kUsageStatus;
  }
  return -1;
}

}  // namespace plinth
