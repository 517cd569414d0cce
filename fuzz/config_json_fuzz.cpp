// Feeds arbitrary text to plinthctl's JSON form of a configuration: the
// parser, the rows brought up to date as the window shows them, and the
// writer's size checks must end in a result or a message, never a crash,
// and must not build what they refuse.
#include <cstdint>
#include <string>

#include "cli/json_config.h"
#include "config/config_writer.h"
#include "logic/render_row.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  plinth::Configuration config;
  std::string error;
  if (!plinth::ParseConfigurationJson(std::string(reinterpret_cast<const char*>(data), size), config, error)) return 0;
  plinth::RecordedMessages messages;
  for (int i = 0; i < config.dataList.Count(); ++i)
    plinth::RenderRecord(*config.dataList.At(i), nullptr, nullptr, messages);
  plinth::EncodeConfiguration(config.dataList, config.master, messages);
  return 0;
}
