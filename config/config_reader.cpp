#include "config/config_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/text_scan.h"
#include "config/file_layout.h"

namespace plinth {
namespace {


// Validates the node at start, of the given kind, that must end by limit.
bool ValidateNode(std::span<const uint8_t> image, size_t start, size_t limit, NodeKind kind, size_t& total) {
  NodeFrame f = ReadFrame(image, start);
  if (!f.ok || start + f.total > limit || f.total == 0) return false;
  const size_t end = start + f.total;
  const size_t dataPos = f.header + f.headerSize;
  if (f.headerSize < HeaderSizeOf(kind) || f.header > end || f.headerSize > end - f.header ||
      f.dataSize > end - dataPos)
    return false;
  const size_t dataEnd = dataPos + f.dataSize;
  size_t childLimit = end;
  NodeKind childKind = kind;
  switch (kind) {
    case NodeKind::Root:
      if (end < 4 || dataEnd > end - 4) return false;
      childLimit = end - 4;
      childKind = NodeKind::IoH;
      break;
    case NodeKind::IoH:
      if (GetU32(image, f.header + layout::ioh::kExtraBytes) > f.dataSize) return false;
      childKind = NodeKind::SlaveEntry;
      break;
    case NodeKind::SlaveEntry:
      for (int k = 0; k < 3; ++k)
        if (!ReadDataString(image, dataPos, dataEnd, k)) return false;
      childKind = NodeKind::IoGroup;
      break;
    case NodeKind::IoGroup:
      childKind = NodeKind::IoBlock;
      break;
    case NodeKind::IoBlock:
      if (f.header + layout::block::kHeaderSize + 2 * static_cast<size_t>(GetU16(image, f.header + layout::block::kValueCount)) >
          dataEnd)
        return false;
      total = f.total;
      return true;
  }
  size_t childStart = dataEnd;
  const unsigned count = GetU16(image, f.header + *ChildCountOffset(kind));
  for (unsigned k = 0; k < count; ++k) {
    size_t childTotal = 0;
    if (!ValidateNode(image, childStart, childLimit, childKind, childTotal)) return false;
    childStart += childTotal;
  }
  total = f.total;
  return true;
}

}  // namespace

bool BeginsLikeConfigFile(std::span<const uint8_t> image) {
  static constexpr char kSignature[] = "\x04\x10\x01\x00\x02\x00GenericBusTable";  // and its zero
  constexpr size_t kLength = sizeof kSignature;
  for (size_t at = 1; at <= 3; ++at)
    if (image.size() >= at + kLength && std::memcmp(image.data() + at, kSignature, kLength) == 0) return true;
  return false;
}

bool ValidateConfigTree(std::span<const uint8_t> image, const NodeCursor& root) {
  size_t total = 0;
  return root.Valid() && ValidateNode(image, root.start, image.size(), NodeKind::Root, total);
}

ReadOutcome ReadConfigurationBytes(ConfigImagePtr imagePtr, const std::string& title, Configuration& config,
                                   Messages& messages) {
  ReadOutcome outcome;
  config.image = imagePtr;
  if (!imagePtr || imagePtr->empty()) return outcome;
  std::span<const uint8_t> image(*imagePtr);
  if (!BeginsLikeConfigFile(image)) {
    messages.Show("not a configuration file", title);
    return outcome;
  }

  std::string lastError;
  NodeCursor root = OpenImage(image, lastError);
  if (!root.Valid()) {
    // "size not valid" and "checksum error" are titled with the path; every
    // "Input file corrupted!" with the application's name.
    messages.Show(lastError, lastError == "Input file corrupted!" ? std::string(kAppName) : title);
    return outcome;
  }
  NodeFrame rootFrame = ReadFrame(image, 0);
  if (rootFrame.header + layout::root::kChildCount + 2 > image.size()) {
    messages.Show("Input file corrupted!");
    return outcome;
  }
  const uint16_t iohCount = GetU16(image, root.header + layout::root::kChildCount);
  if (iohCount > 1) {
    messages.Show("Input file corrupted! (More than one IoH)");
    return outcome;
  }
  if (iohCount == 0) {
    outcome.ok = ValidateConfigTree(image, root);
    if (!outcome.ok) messages.Show("Input file corrupted!");
    return outcome;
  }
  if (!ValidateConfigTree(image, root)) {
    messages.Show("Input file corrupted!");
    return outcome;
  }

  NodeCursor ioh = FirstChild(image, root, NodeKind::Root);
  const size_t h = ioh.header;
  config.master.fileWord1 = GetU16(image, h + layout::ioh::kFileWord1);
  config.master.fileWord2 = GetU16(image, h + layout::ioh::kFileWord2);
  const size_t ip = h + layout::ioh::kMasterIp;
  const uint16_t o1 = GetU16(image, ip), o2 = GetU16(image, ip + 2), o3 = GetU16(image, ip + 4),
                 o4 = GetU16(image, ip + 6);
  if (o1 || o2 || o3 || o4) {
    config.master.masterIpText = FormatDotted(o1, o2, o3, o4);
    outcome.masterIpSet = true;
  }
  config.master.advancedSettings = GetU16(image, h + layout::ioh::kAdvanced);
  outcome.entriesInFile = GetU16(image, h + layout::ioh::kChildCount);

  DataList& list = config.dataList;
  for (NodeCursor entry = FirstChild(image, ioh, NodeKind::IoH); entry.Valid() && !list.Full();
       NextSibling(image, entry)) {
    auto r = std::make_unique<SlaveRecord>();
    const size_t e = entry.header;
    const uint16_t nodeNumber = GetU16(image, e + layout::entry::kNode);
    config.nextNode = nodeNumber + 1;
    r->sourceImage = imagePtr;
    r->sourceEntry = entry;
    r->node = std::to_string(nodeNumber);
    r->moduleId = std::to_string(GetU16(image, e + layout::entry::kModuleId));
    NodeFrame ef = ReadFrame(image, entry.start);
    const size_t data = ef.header + ef.headerSize;
    r->name = ReadDataString(image, data, data + ef.dataSize, 0).value_or("");
    r->description = ReadDataString(image, data, data + ef.dataSize, 1).value_or("");
    r->status = "unknown";
    const size_t slaveIp = e + layout::entry::kIp;
    r->ipAddress = FormatDotted(GetU16(image, slaveIp), GetU16(image, slaveIp + 2), GetU16(image, slaveIp + 4),
                                GetU16(image, slaveIp + 6));
    MacAddress mac{};
    std::memcpy(mac.data(), image.data() + e + layout::entry::kMac, mac.size());
    if (!IsZeroMac(mac)) r->mac = mac;

    long long inputSum = 0, paramSum = 0, outputSum = 0;
    NodeCursor group = FirstChild(image, entry, NodeKind::SlaveEntry);
    if (group.Valid()) {
      r->sourceGroup = group;
      for (NodeCursor block = FirstChild(image, group, NodeKind::IoGroup); block.Valid();
           NextSibling(image, block)) {
        const uint16_t flags = GetU16(image, block.header + layout::block::kFlags);
        const uint16_t words = GetU16(image, block.header + layout::block::kWords);
        if (flags & layout::block::kFlagInput) {
          if (!r->sourceInput) r->sourceInput = block;
          inputSum += words;
        } else if (flags & layout::block::kFlagParam) {
          if (!r->sourceParam) r->sourceParam = block;
          paramSum += words;
        } else {
          if (!r->sourceOutput) r->sourceOutput = block;
          outputSum += words;
        }
      }
    }
    r->inputWords = std::to_string(inputSum);
    r->paramWords = std::to_string(paramSum);
    r->outputWords = std::to_string(outputSum + paramSum);
    list.Append(std::move(r));
  }
  outcome.ok = true;
  return outcome;
}

ReadOutcome ReadConfiguration(const std::string& path, Configuration& config, Messages& messages) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size <= 0) return {};
  config.image.reset();
  ReadOutcome refused;
  refused.refused = true;
  if (static_cast<uint64_t>(info.st_size) > kMaxConfigFileSize) {
    messages.Show("size not valid", path);
    return refused;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    refused.reason = std::strerror(errno);
    messages.Show("fopen() failed!");
    return refused;
  }
  auto image = std::make_shared<ConfigImage>(static_cast<size_t>(info.st_size));
  size_t done = 0;
  ssize_t n = 0;
  while (done < image->size()) {
    n = read(fd, image->data() + done, image->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int readError = n < 0 ? errno : 0;  // n == 0: the file got shorter
  close(fd);
  if (done != image->size()) {
    refused.reason = readError ? std::strerror(readError)
                               : "the file ended after " + std::to_string(done) + " of " +
                                     std::to_string(image->size()) + " bytes";
    messages.Show("fread() failed!");
    return refused;
  }
  ReadOutcome outcome = ReadConfigurationBytes(std::move(image), path, config, messages);
  outcome.refused = !outcome.ok;
  if (outcome.ok && outcome.entriesInFile > DataList::kCapacity)
    messages.Show("The file holds " + std::to_string(outcome.entriesInFile) +
                  " slaves; only the first 300 were loaded.");
  return outcome;
}

}  // namespace plinth
