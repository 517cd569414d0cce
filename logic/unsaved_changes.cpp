#include "logic/unsaved_changes.h"

#include "config/config_writer.h"

namespace plinth {

std::vector<uint8_t> SavedContentOf(const Configuration& config) {
  RecordedMessages quiet;
  if (auto bytes = EncodeConfiguration(config.dataList, config.master, quiet)) return *bytes;
  // Too large for a file: the texts still tell one configuration from another.
  std::string text = "unwritable";
  auto add = [&text](const std::string& field) { text += '\0' + std::to_string(field.size()) + ':' + field; };
  add(config.master.masterIpText);
  add(config.master.boardText);
  add(std::to_string(config.master.fileWord1) + "/" + std::to_string(config.master.fileWord2) + "/" +
      std::to_string(config.master.advancedSettings) + "/" + std::to_string(config.master.saveUnknownSlaves));
  for (int i = 0; i < config.dataList.Count(); ++i) {
    const SlaveRecord& r = *config.dataList.At(i);
    for (const std::string* field : {&r.node, &r.ipAddress, &r.macAddress, &r.moduleId, &r.name, &r.description,
                                     &r.inputWords, &r.outputWords, &r.paramWords})
      add(*field);
    add(FormatMac(r.mac));
  }
  return {text.begin(), text.end()};
}

void UnsavedChanges::MarkSaved(const Configuration& config) {
  saved_ = SavedContentOf(config);
  markedChanged_ = false;
}

bool UnsavedChanges::HasChanges(const Configuration& config) const {
  return markedChanged_ || SavedContentOf(config) != saved_;
}

}  // namespace plinth
