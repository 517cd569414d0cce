#include "config/config_writer.h"

#include <algorithm>
#include <cstring>

#include "base/atomic_file.h"
#include "base/text_scan.h"
#include "config/file_layout.h"
#include "config/module_catalog.h"

namespace plinth {
namespace {

uint16_t Low16(int v) { return static_cast<uint16_t>(static_cast<unsigned>(v) & 0xFFFF); }

BusNodePtr NewBlock() {
  BusNodePtr block = CreateIoBlock();
  block->SetU16(layout::block::kLayout, layout::block::kLayoutValue);
  block->SetU16(layout::block::kType, layout::block::kTypeValue);
  return block;
}

// The block to write: a copy of the block read from the file, or a new one.
BusNodePtr SourceBlock(const SlaveRecord& r, const std::optional<NodeCursor>& cursor, bool& copied) {
  copied = r.sourceImage && cursor && cursor->Valid();
  return copied ? CopyIoBlock(*r.sourceImage, *cursor) : NewBlock();
}

// Sets values 0..count-1 of block: a copied block keeps what it has, places
// it lacks get fallback(k).
template <class Fallback>
void FillValues(BusNode& block, int count, bool copied, Fallback fallback) {
  for (int k = 0; k < count; ++k) {
    const size_t index = static_cast<size_t>(k);
    uint16_t v = copied && index < block.values.size() ? block.values[index] : fallback(k);
    SetValue(block, v, index);
  }
}

BusNodePtr BuildEntry(const SlaveRecord& r) {
  const int n = ScanDecimal(r.node);
  const bool copied = r.sourceImage && r.sourceEntry && r.sourceEntry->Valid();
  BusNodePtr entry = copied ? CopySlaveEntry(*r.sourceImage, *r.sourceEntry) : CreateSlaveEntry(Low16(n), r.name);
  entry->SetU16(layout::entry::kNode, Low16(n));
  SetString(*entry, 0, r.name);
  entry->SetU16(layout::entry::kModuleId, Low16(ScanDecimal(r.moduleId)));
  SetString(*entry, 1, r.description);
  entry->SetU16(layout::entry::kAddressWords, layout::entry::kAddressWordsValue);
  const auto ip = ScanDotted(r.ipAddress);
  for (size_t k = 0; k < 4; ++k) entry->SetU16(layout::entry::kIp + 2 * k, Low16(ip[k]));
  std::memcpy(entry->header.data() + layout::entry::kMac, r.mac.data(), r.mac.size());

  const bool groupCopied = r.sourceImage && r.sourceGroup && r.sourceGroup->Valid();
  BusNodePtr group = groupCopied ? CopyIoGroup(*r.sourceImage, *r.sourceGroup) : CreateIoGroup();

  const int i = ScanDecimal(r.inputWords);
  if (i > 0) {
    bool blockCopied = false;
    BusNodePtr block = SourceBlock(r, r.sourceInput, blockCopied);
    FillValues(*block, i, blockCopied, [](int) { return uint16_t{0}; });
    block->SetU16(layout::block::kFlags, block->U16(layout::block::kFlags) | layout::block::kFlagInput);
    block->SetU16(layout::block::kWords, Low16(i));
    AppendChild(*group, block);
  }

  const int p = ScanDecimal(r.paramWords);
  if (p > 0) {
    bool blockCopied = false;
    BusNodePtr block = SourceBlock(r, r.sourceParam, blockCopied);
    if (!blockCopied) block->SetU16(layout::block::kFlags, layout::block::kFlagOutput);
    const ModuleCatalogEntry& module = FindModule(Low16(ScanDecimal(r.moduleId)));
    FillValues(*block, p, blockCopied, [&module](int k) {
      const bool hasDefault = !module.paramDefaults.empty() && k < module.paramWords &&
                              static_cast<size_t>(k) < module.paramDefaults.size();
      return hasDefault ? module.paramDefaults[static_cast<size_t>(k)] : uint16_t{0};
    });
    block->SetU16(layout::block::kFlags,
                  static_cast<uint16_t>((block->U16(layout::block::kFlags) & ~layout::block::kFlagInput) | layout::block::kFlagParam));
    block->SetU16(layout::block::kWords, Low16(p));
    AppendChild(*group, block);
  }

  const int o = ScanDecimal(r.outputWords);
  const long long outputOnly = static_cast<long long>(o) - p;
  if (outputOnly >= 1) {
    bool blockCopied = false;
    BusNodePtr block = SourceBlock(r, r.sourceOutput, blockCopied);
    if (!blockCopied)
      block->SetU16(layout::block::kFlags, p > 0 ? layout::block::kFlagOutput | layout::block::kFlagOutputWithParams : layout::block::kFlagOutput);
    FillValues(*block, static_cast<int>(outputOnly), blockCopied, [](int) { return uint16_t{0}; });
    block->SetU16(layout::block::kFlags, static_cast<uint16_t>(block->U16(layout::block::kFlags) & ~layout::block::kFlagInput));
    block->SetU16(layout::block::kWords, Low16(static_cast<int>(outputOnly)));
    AppendChild(*group, block);
  }

  AppendChild(*entry, group);
  return entry;
}

// Values the block of a record will hold: its word count, or more when it is
// copied from a block of the file that holds more.
uint64_t BlockValues(const SlaveRecord& r, long long words, const std::optional<NodeCursor>& cursor) {
  if (words <= 0) return 0;
  uint64_t values = static_cast<uint64_t>(words);
  if (r.sourceImage && cursor && cursor->Valid() && cursor->header + layout::block::kValueCount + 2 <= r.sourceImage->size())
    values = std::max<uint64_t>(values, GetU16(*r.sourceImage, cursor->header + layout::block::kValueCount));
  return values;
}

// Bytes of a record's texts and values: with the fixed headers, what its
// entry adds to the file at least. Known before anything is built.
struct EntryNeeds {
  uint64_t texts = 0;
  uint64_t values = 0;
  uint64_t Total() const {
    return HeaderSizeOf(NodeKind::SlaveEntry) + HeaderSizeOf(NodeKind::IoGroup) + texts + values;
  }
};

EntryNeeds NeedsOf(const SlaveRecord& r) {
  const long long i = ScanDecimal(r.inputWords), p = ScanDecimal(r.paramWords), o = ScanDecimal(r.outputWords);
  EntryNeeds needs;
  needs.texts = r.name.size() + r.description.size() + 3;
  needs.values = 2 * (BlockValues(r, i, r.sourceInput) + BlockValues(r, p, r.sourceParam) +
                      BlockValues(r, o - p, r.sourceOutput));
  return needs;
}

// Why the record in slot cannot be added to a file that already needs
// total bytes (total grows by its share), or "".
std::string SizeProblem(const SlaveRecord& r, uint64_t& total) {
  std::string problem = WordCountProblem(r);
  const EntryNeeds needs = NeedsOf(r);
  total += needs.Total();
  if (!problem.empty() || total <= kMaxEncodableSize) return problem;
  const uint64_t biggest = std::max<uint64_t>({r.name.size(), r.description.size(), needs.values});
  const std::string bytes = " (" + std::to_string(biggest) + " bytes)";
  const std::string what = biggest == r.name.size()          ? "its name" + bytes
                           : biggest == r.description.size() ? "its description" + bytes
                                                             : "its word values" + bytes;
  return what + " would make the file larger than the " + std::to_string(kMaxEncodableSize) +
         " bytes it can hold.";
}

}  // namespace

std::optional<std::vector<uint8_t>> EncodeConfiguration(const DataList& list, const MasterSettings& master,
                                                        Messages& messages) {
  // Every size is checked before a block is built: a configuration that
  // cannot be written allocates nothing.
  uint64_t total = 0;
  for (int slot = 0; slot < list.Count(); ++slot) {
    const SlaveRecord& r = *list.At(slot);
    if (r.node.empty() && !master.saveUnknownSlaves) continue;
    if (std::string problem = SizeProblem(r, total); !problem.empty()) {
      messages.Show("Copy of GenericBusTable failed!\n" + SlaveLabel(slot, r) + ": " + problem);
      return std::nullopt;
    }
  }

  BusNodePtr ioh = CreateIoH(static_cast<uint8_t>(ScanDecimal(master.boardText) & 0xFF), std::string("Varnel"));
  ioh->SetU16(layout::ioh::kFileWord1, master.fileWord1);
  ioh->SetU16(layout::ioh::kFileWord2, master.fileWord2 | layout::ioh::kFileWord2Set);
  ioh->SetU16(layout::ioh::kAddressWords, layout::ioh::kAddressWordsValue);
  const auto ip = ScanDotted(master.masterIpText);
  for (size_t k = 0; k < 4; ++k) ioh->SetU16(layout::ioh::kMasterIp + 2 * k, Low16(ip[k]));
  ioh->SetU16(layout::ioh::kMasterHost, Low16(ip[3]));
  ioh->SetU16(layout::ioh::kAdvanced, master.advancedSettings);
  SetString(*ioh, 1, "");
  SetString(*ioh, 2, "");
  for (int slot = 0; slot < list.Count(); ++slot) {
    const SlaveRecord& r = *list.At(slot);
    if (!r.node.empty() || master.saveUnknownSlaves) AppendChild(*ioh, BuildEntry(r));
  }

  BusNodePtr root = CreateRoot();
  AppendChild(*root, ioh);
  const uint32_t size = ComputeSize(*root);
  std::vector<uint8_t> buffer(size);
  if (size == 0 || !Serialize(*root, buffer)) {
    messages.Show("Copy of GenericBusTable failed!");
    return std::nullopt;
  }
  return buffer;
}

bool WriteConfiguration(const std::string& path, const Configuration& config, Messages& messages,
                        std::string* reason) {
  std::optional<std::vector<uint8_t>> bytes = EncodeConfiguration(config.dataList, config.master, messages);
  if (!bytes) return false;
  int systemError = 0;
  const WriteFileError error = WriteFileAtomically(path, *bytes, &systemError);
  if (reason && systemError) *reason = std::strerror(systemError);
  switch (error) {
    case WriteFileError::None: return true;
    case WriteFileError::Open: messages.Show("fopen failed to write!"); return false;
    case WriteFileError::Write: messages.Show("fwrite failed!"); return false;
  }
  return false;
}

}  // namespace plinth
