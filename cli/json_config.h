#pragma once
// The JSON form of a configuration used by plinthctl:
// {"master": {"ip", "fileWord1", "fileWord2", "advancedSettings", "board",
//             "saveUnknownSlaves"},
//  "slaves": [{"node", "status", "ipAddress", "macAddress", "moduleId", "name",
//              "description", "inputWords", "outputWords", "paramWords"}]}
#include <string>

#include <nlohmann/json.hpp>

#include "config/configuration.h"

namespace plinth {

// Reads text into config (whose dataList must be empty). Keys that are
// missing keep the configuration's start values; "formatVersion", when
// given, must be 1. On failure error names the
// problem and config may hold part of the input.
bool ParseConfigurationJson(const std::string& text, Configuration& config, std::string& error);

// The master settings and slaves of config, as the reader left them.
nlohmann::ordered_json ConfigurationToJson(const Configuration& config);
// One slave in that form, as a file holds it (macAddress from its MAC bytes).
nlohmann::ordered_json SlaveToJson(const SlaveRecord& r);

}  // namespace plinth
