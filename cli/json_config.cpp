#include "cli/json_config.h"

#include "config/slave_list_rules.h"
#include "config/slave_values.h"

namespace plinth {
namespace {

using nlohmann::json;

const char* TypeName(const json& v) { return v.type_name(); }

// The parser's message with the token it quotes cut short.
std::string ShortParseError(const std::string& message) {
  const size_t at = message.find("last read: '");
  const size_t start = at == std::string::npos ? 0 : at + 12, end = message.rfind('\'');
  if (at == std::string::npos || end == std::string::npos || end <= start || end - start <= 40)
    return message.size() > 300 ? message.substr(0, 300) + "..." : message;
  return message.substr(0, start + 40) + "..." + message.substr(end);
}

// A value of the input that the shared checks refuse gives where and why.
bool CheckValue(const std::string& where, std::string_view key, const std::string& text, std::string& error) {
  const std::string problem = SlaveValueProblem(key, text);
  if (problem.empty()) return true;
  error = where + ": " + problem;
  return false;
}

bool TakeString(const json& object, const char* key, const std::string& where, std::string& out,
                std::string& error) {
  auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_string()) {
    error = where + "." + key + ": expected a string, got " + TypeName(*it);
    return false;
  }
  out = it->get<std::string>();
  return true;
}

bool TakeWord(const json& object, const char* key, const std::string& where, uint16_t& out, std::string& error) {
  auto it = object.find(key);
  if (it == object.end()) return true;
  if (!it->is_number_integer()) {
    error = where + "." + key + ": expected an integer from 0 to 65535, got " + TypeName(*it);
    return false;
  }
  const long long v = it->is_number_unsigned() ? static_cast<long long>(std::min<unsigned long long>(
                                                     it->get<unsigned long long>(), 1ull << 40))
                                               : it->get<long long>();
  if (v < 0 || v > 65535) {
    error = where + "." + key + ": " + std::to_string(v) + " is outside 0 to 65535";
    return false;
  }
  out = static_cast<uint16_t>(v);
  return true;
}

bool CheckKeys(const json& object, std::initializer_list<const char*> allowed, const std::string& where,
               std::string& error) {
  for (auto it = object.begin(); it != object.end(); ++it) {
    bool known = false;
    for (const char* k : allowed) known = known || it.key() == k;
    if (!known) {
      error = where + ": unknown key " + QuotedInput(it.key());
      return false;
    }
  }
  return true;
}

bool ParseMaster(const json& master, MasterSettings& m, std::string& error) {
  if (!master.is_object()) {
    error = std::string("master: expected an object, got ") + TypeName(master);
    return false;
  }
  if (!CheckKeys(master, {"ip", "fileWord1", "fileWord2", "advancedSettings", "board", "saveUnknownSlaves"},
                 "master", error))
    return false;
  if (!TakeString(master, "ip", "master", m.masterIpText, error) ||
      !TakeString(master, "board", "master", m.boardText, error) ||
      !TakeWord(master, "fileWord1", "master", m.fileWord1, error) ||
      !TakeWord(master, "fileWord2", "master", m.fileWord2, error) ||
      !TakeWord(master, "advancedSettings", "master", m.advancedSettings, error) ||
      !CheckValue("master.ip", "ipAddress", m.masterIpText, error))
    return false;
  if (auto it = master.find("saveUnknownSlaves"); it != master.end()) {
    if (!it->is_boolean()) {
      error = std::string("master.saveUnknownSlaves: expected true or false, got ") + TypeName(*it);
      return false;
    }
    m.saveUnknownSlaves = it->get<bool>();
  }
  return true;
}

bool ParseSlave(const json& slave, const std::string& where, SlaveRecord& r, std::string& error) {
  if (!slave.is_object()) {
    error = where + ": expected an object, got " + TypeName(slave);
    return false;
  }
  if (!CheckKeys(slave,
                 {"node", "status", "ipAddress", "macAddress", "moduleId", "name", "description", "inputWords",
                  "outputWords", "paramWords"},
                 where, error))
    return false;
  return TakeString(slave, "node", where, r.node, error) && TakeString(slave, "status", where, r.status, error) &&
         TakeString(slave, "ipAddress", where, r.ipAddress, error) &&
         TakeString(slave, "macAddress", where, r.macAddress, error) &&
         TakeString(slave, "moduleId", where, r.moduleId, error) && TakeString(slave, "name", where, r.name, error) &&
         TakeString(slave, "description", where, r.description, error) &&
         TakeString(slave, "inputWords", where, r.inputWords, error) &&
         TakeString(slave, "outputWords", where, r.outputWords, error) &&
         TakeString(slave, "paramWords", where, r.paramWords, error) &&
         CheckValue(where + ".ipAddress" + (r.node.empty() ? "" : " (node " + r.node + ")"), "ipAddress", r.ipAddress,
                    error) &&
         CheckValue(where + ".macAddress", "macAddress", r.macAddress, error) &&
         CheckValue(where + ".moduleId", "moduleId", r.moduleId, error) &&
         CheckValue(where + ".inputWords", "inputWords", r.inputWords, error) &&
         CheckValue(where + ".outputWords", "outputWords", r.outputWords, error) &&
         CheckValue(where + ".paramWords", "paramWords", r.paramWords, error);
}

}  // namespace

bool ParseConfigurationJson(const std::string& text, Configuration& config, std::string& error) {
  // A configuration has a few thousand values; a document of millions would
  // take gigabytes as a tree, so parsing stops long before that.
  struct TooManyValues {};
  constexpr size_t kMaxValues = 20000;  // 300 slaves of 11 values take about 3,400
  size_t values = 0;
  json doc;
  try {
    doc = json::parse(text, [&values](int, json::parse_event_t event, json&) {
      if (event != json::parse_event_t::key && event != json::parse_event_t::object_end &&
          event != json::parse_event_t::array_end && ++values > kMaxValues)
        throw TooManyValues{};
      return true;
    });
  } catch (const json::exception& e) {
    error = "not valid JSON: " + ShortParseError(e.what());
    return false;
  } catch (const TooManyValues&) {
    error = "more than " + std::to_string(kMaxValues) + " values; a configuration has far fewer";
    return false;
  }
  if (!doc.is_object()) {
    error = std::string("expected a JSON object at the top, got ") + TypeName(doc);
    return false;
  }
  // The output of show --json reads back: its format version is the one
  // this program writes.
  if (!CheckKeys(doc, {"formatVersion", "master", "slaves"}, "top level", error)) return false;
  if (auto it = doc.find("formatVersion"); it != doc.end() && *it != 1) {
    error = "formatVersion: " + it->dump() + " is not a version this program reads (1)";
    return false;
  }
  if (auto it = doc.find("master"); it != doc.end() && !ParseMaster(*it, config.master, error)) return false;
  if (auto it = doc.find("slaves"); it != doc.end()) {
    if (!it->is_array()) {
      error = std::string("slaves: expected an array, got ") + TypeName(*it);
      return false;
    }
    if (it->size() > static_cast<size_t>(DataList::kCapacity)) {
      error = "slaves: " + std::to_string(it->size()) + " slaves given; a configuration holds at most " +
              std::to_string(DataList::kCapacity);
      return false;
    }
    for (size_t i = 0; i < it->size(); ++i) {
      auto r = std::make_unique<SlaveRecord>();
      if (!ParseSlave((*it)[i], "slaves[" + std::to_string(i) + "]", *r, error)) return false;
      config.dataList.Append(std::move(r));
    }
  }
  // Nodes are checked over the whole list: each number once, 1 to 254. A
  // slave without one is not written, unless saveUnknownSlaves writes it as 0.
  const std::vector<NodeProblem> problems = FindNodeProblems(config.dataList);
  if (!problems.empty()) {
    const NodeProblem& p = problems.front();
    error = "slaves[" + std::to_string(p.slot) + "].node: " +
            DescribeNodeProblem(p, config.dataList, [](int slot) { return "slaves[" + std::to_string(slot) + "]"; });
    return false;
  }
  for (int i = 0; config.master.saveUnknownSlaves && i < config.dataList.Count(); ++i)
    if (config.dataList.At(i)->node.empty()) {
      error = "slaves[" + std::to_string(i) + "].node: missing; with saveUnknownSlaves it would be written as node 0";
      return false;
    }
  return true;
}

nlohmann::ordered_json SlaveToJson(const SlaveRecord& r) {
  return {{"node", r.node},
          {"status", r.status},
          {"ipAddress", r.ipAddress},
          {"macAddress", IsZeroMac(r.mac) ? std::string() : FormatMac(r.mac)},
          {"moduleId", r.moduleId},
          {"name", r.name},
          {"description", r.description},
          {"inputWords", r.inputWords},
          {"outputWords", r.outputWords},
          {"paramWords", r.paramWords}};
}

nlohmann::ordered_json ConfigurationToJson(const Configuration& config) {
  using ojson = nlohmann::ordered_json;
  ojson slaves = ojson::array();
  for (int i = 0; i < config.dataList.Count(); ++i) slaves.push_back(SlaveToJson(*config.dataList.At(i)));
  return ojson{{"master",
           {{"ip", config.master.masterIpText},
            {"fileWord1", config.master.fileWord1},
            {"fileWord2", config.master.fileWord2},
            {"advancedSettings", config.master.advancedSettings}}},
          {"slaves", slaves}};
}

}  // namespace plinth
