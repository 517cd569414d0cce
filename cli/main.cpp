// plinthctl: the configuration tool's work without a display.
#include <CLI/CLI.hpp>

#include "cli/file_commands.h"

int main(int argc, char** argv) {
  CLI::App app{"plinthctl - configure an Ethernet I/O bus from the command line"};
  app.require_subcommand(1);

  std::string path;
  bool json = false;
  auto* show = app.add_subcommand("show", "Show the master settings and slaves of a .bin file");
  show->add_option("FILE", path, "configuration file (.bin)")->required();
  show->add_flag("--json", json, "print JSON instead of a table");

  std::string input, output;
  auto* build = app.add_subcommand("build", "Write a .bin file from a JSON description");
  build->add_option("INPUT", input, "JSON file, or - for standard input")->required();
  build->add_option("-o,--output", output, "configuration file to write")->required();

  auto* check = app.add_subcommand("check", "Check that a .bin file reads");
  check->add_option("FILE", path, "configuration file (.bin)")->required();

  CLI11_PARSE(app, argc, argv);

  if (*show) return plinth::ShowCommand(path, json);
  if (*build) return plinth::BuildCommand(input, output);
  if (*check) return plinth::CheckCommand(path);
  return 2;
}
