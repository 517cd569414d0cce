#pragma once
// The configuration being edited: the slaves and the master settings, and the
// bytes of the file they were read from. config_writer.h and config_reader.h
// turn it into a .bin file and back.
#include <cstdint>
#include <string>

#include "config/slave_record.h"

namespace plinth {

struct MasterSettings {
  std::string masterIpText;
  std::string boardText = "0";
  uint16_t fileWord1 = 50;
  uint16_t fileWord2 = 0;
  bool saveUnknownSlaves = false;
  // Bits 0-7 burst count, bit 13 one cycle output/input, bit 14 fill UDP
  // dummy-frame; travels whole to and from the file.
  uint16_t advancedSettings = 0;
};

struct Configuration {
  DataList dataList;
  MasterSettings master;
  int nextNode = 1;
  ConfigImagePtr image;  // bytes of the file last read
};

// Files larger than this are refused before they are read.
inline constexpr uint64_t kMaxConfigFileSize = 16u * 1024 * 1024;

// A block's word and value counts are 16-bit: no block holds more words.
inline constexpr int kMaxBlockWords = 65535;

// How messages name the record in slot: "slave 3 (node 12)".
std::string SlaveLabel(int slot, const SlaveRecord& r);

// Why r's word counts cannot be written (a block would need more than
// kMaxBlockWords words), or "" when they can.
std::string WordCountProblem(const SlaveRecord& r);

}  // namespace plinth
