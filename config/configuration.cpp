#include "config/configuration.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "config/text_scan.h"
#include "dialogs/module_catalog.h"

namespace plinth {
namespace {

constexpr uint16_t kFlagInput = 0x0004;
constexpr uint16_t kFlagOutput = 0x0010;
constexpr uint16_t kFlagParam = 0x0040;
constexpr uint16_t kFlagOutputWithParams = 0x0080;

uint16_t Low16(int v) { return static_cast<uint16_t>(static_cast<unsigned>(v) & 0xFFFF); }

BusNodePtr NewBlock() {
  BusNodePtr block = CreateIoBlock();
  block->SetU16(0, 6);
  block->SetU16(2, 3);
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
  entry->SetU16(4, Low16(n));
  SetString(*entry, 0, r.name);
  entry->SetU16(0, Low16(ScanDecimal(r.moduleId)));
  SetString(*entry, 1, r.description);
  entry->SetU16(10, 7);
  const auto ip = ScanDotted(r.ipAddress);
  for (size_t k = 0; k < 4; ++k) entry->SetU16(12 + 2 * k, Low16(ip[k]));
  std::memcpy(entry->header.data() + 20, r.mac.data(), 6);

  const bool groupCopied = r.sourceImage && r.sourceGroup && r.sourceGroup->Valid();
  BusNodePtr group = groupCopied ? CopyIoGroup(*r.sourceImage, *r.sourceGroup) : CreateIoGroup();

  const int i = ScanDecimal(r.inputWords);
  if (i > 0) {
    bool blockCopied = false;
    BusNodePtr block = SourceBlock(r, r.sourceInput, blockCopied);
    FillValues(*block, i, blockCopied, [](int) { return uint16_t{0}; });
    block->SetU16(12, block->U16(12) | kFlagInput);
    block->SetU16(6, Low16(i));
    AppendChild(*group, block);
  }

  const int p = ScanDecimal(r.paramWords);
  if (p > 0) {
    bool blockCopied = false;
    BusNodePtr block = SourceBlock(r, r.sourceParam, blockCopied);
    if (!blockCopied) block->SetU16(12, kFlagOutput);
    const ModuleCatalogEntry& module = FindModule(Low16(ScanDecimal(r.moduleId)));
    FillValues(*block, p, blockCopied, [&module](int k) {
      const bool hasDefault = !module.paramDefaults.empty() && k < module.paramWords &&
                              static_cast<size_t>(k) < module.paramDefaults.size();
      return hasDefault ? module.paramDefaults[static_cast<size_t>(k)] : uint16_t{0};
    });
    block->SetU16(12, static_cast<uint16_t>((block->U16(12) & ~kFlagInput) | kFlagParam));
    block->SetU16(6, Low16(p));
    AppendChild(*group, block);
  }

  const int o = ScanDecimal(r.outputWords);
  const long long outputOnly = static_cast<long long>(o) - p;
  if (outputOnly >= 1) {
    bool blockCopied = false;
    BusNodePtr block = SourceBlock(r, r.sourceOutput, blockCopied);
    if (!blockCopied) block->SetU16(12, p > 0 ? kFlagOutput | kFlagOutputWithParams : kFlagOutput);
    FillValues(*block, static_cast<int>(outputOnly), blockCopied, [](int) { return uint16_t{0}; });
    block->SetU16(12, static_cast<uint16_t>(block->U16(12) & ~kFlagInput));
    block->SetU16(6, Low16(static_cast<int>(outputOnly)));
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
  if (r.sourceImage && cursor && cursor->Valid() && cursor->header + 18 <= r.sourceImage->size())
    values = std::max<uint64_t>(values, GetU16(*r.sourceImage, cursor->header + 16));
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

std::string SlaveLabel(int slot, const SlaveRecord& r) {
  return "slave " + std::to_string(slot + 1) + (r.node.empty() ? "" : " (node " + r.node + ")");
}

std::string WordCountProblem(const SlaveRecord& r) {
  const long long i = ScanDecimal(r.inputWords), p = ScanDecimal(r.paramWords), o = ScanDecimal(r.outputWords);
  const std::string most =
      " do not fit the file; a block holds at most " + std::to_string(kMaxBlockWords) + " words.";
  if (i > kMaxBlockWords) return std::to_string(i) + " input words" + most;
  if (p > kMaxBlockWords) return std::to_string(p) + " parameter words" + most;
  if (o - p > kMaxBlockWords) return std::to_string(o) + " output words with " + std::to_string(p) +
                                     " parameter words" + most;
  return {};
}

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
  ioh->SetU16(10, master.fileWord1);
  ioh->SetU16(30, master.fileWord2 | 0x0030);
  ioh->SetU16(12, 5);
  const auto ip = ScanDotted(master.masterIpText);
  for (size_t k = 0; k < 4; ++k) ioh->SetU16(14 + 2 * k, Low16(ip[k]));
  ioh->SetU16(4, Low16(ip[3]));
  ioh->SetU16(22, master.advancedSettings);
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

namespace {

// The file that writing path means: path itself, or the end of its chain of
// symbolic links, which need not exist yet. False (errno set) on a loop or
// a link that cannot be read.
bool WriteTarget(const std::string& path, std::string& target) {
  target = path;
  for (int hops = 0;; ++hops) {
    struct stat info {};
    if (lstat(target.c_str(), &info) != 0) return errno == ENOENT;
    if (!S_ISLNK(info.st_mode)) return true;
    if (hops == 40) {
      errno = ELOOP;
      return false;
    }
    std::string link(PATH_MAX, '\0');
    const ssize_t n = readlink(target.c_str(), link.data(), link.size());
    if (n < 0) return false;
    link.resize(static_cast<size_t>(n));
    const size_t slash = target.rfind('/');
    target = link.starts_with('/') || slash == std::string::npos ? link : target.substr(0, slash + 1) + link;
  }
}

}  // namespace

WriteFileError WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& bytes, int* systemError) {
  auto fail = [systemError](WriteFileError error, int number) {
    if (systemError) *systemError = number;
    return error;
  };
  // Write through a symbolic link to the file it names, keep its mode.
  std::string target;
  if (!WriteTarget(path, target)) return fail(WriteFileError::Open, errno);
  struct stat old {};
  const bool existed = stat(target.c_str(), &old) == 0;
  if (existed && !S_ISREG(old.st_mode)) return fail(WriteFileError::Open, S_ISDIR(old.st_mode) ? EISDIR : EINVAL);

  std::string temp = target + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return fail(WriteFileError::Open, errno);
  mode_t mode = 0666;
  if (existed) {
    mode = old.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode &= ~mask;
  }
  fchmod(fd, mode);

  size_t done = 0;
  errno = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  const int writeError = done < bytes.size() ? (errno ? errno : ENOSPC) : 0;
  const bool written = done == bytes.size() && fsync(fd) == 0;
  const int syncError = written ? 0 : errno;
  const bool closed = close(fd) == 0;
  if (!written || !closed) {
    const int number = writeError ? writeError : syncError ? syncError : errno;
    unlink(temp.c_str());
    return fail(WriteFileError::Write, number);
  }
  if (rename(temp.c_str(), target.c_str()) != 0) {
    const int number = errno;
    unlink(temp.c_str());
    return fail(WriteFileError::Open, number);
  }
  // The new name is on disk only once its folder is: flush that too.
  const size_t slash = target.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : target.substr(0, slash);
  const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return WriteFileError::None;
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
  size_t countOffset = 0;
  switch (kind) {
    case NodeKind::Root:
      if (end < 4 || dataEnd > end - 4) return false;
      childLimit = end - 4;
      childKind = NodeKind::IoH;
      countOffset = 0;
      break;
    case NodeKind::IoH:
      if (GetU32(image, f.header + 32) > f.dataSize) return false;
      childKind = NodeKind::SlaveEntry;
      countOffset = 6;
      break;
    case NodeKind::SlaveEntry:
      for (int k = 0; k < 3; ++k)
        if (!ReadDataString(image, dataPos, dataEnd, k)) return false;
      childKind = NodeKind::IoGroup;
      countOffset = 2;
      break;
    case NodeKind::IoGroup:
      childKind = NodeKind::IoBlock;
      countOffset = 2;
      break;
    case NodeKind::IoBlock:
      if (f.header + 20 + 2 * static_cast<size_t>(GetU16(image, f.header + 16)) > dataEnd) return false;
      total = f.total;
      return true;
  }
  size_t childStart = dataEnd;
  const unsigned count = GetU16(image, f.header + countOffset);
  for (unsigned k = 0; k < count; ++k) {
    size_t childTotal = 0;
    if (!ValidateNode(image, childStart, childLimit, childKind, childTotal)) return false;
    childStart += childTotal;
  }
  total = f.total;
  return true;
}

}  // namespace

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

  std::string lastError;
  NodeCursor root = OpenImage(image, lastError);
  if (!root.Valid()) {
    // "size not valid" and "checksum error" are titled with the path; every
    // "Input file corrupted!" with the application's name.
    messages.Show(lastError, lastError == "Input file corrupted!" ? std::string(kAppName) : title);
    return outcome;
  }
  NodeFrame rootFrame = ReadFrame(image, 0);
  if (rootFrame.header + 2 > image.size()) {
    messages.Show("Input file corrupted!");
    return outcome;
  }
  const uint16_t iohCount = GetU16(image, root.header);
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
  config.master.fileWord1 = GetU16(image, h + 10);
  config.master.fileWord2 = GetU16(image, h + 30);
  const uint16_t o1 = GetU16(image, h + 14), o2 = GetU16(image, h + 16), o3 = GetU16(image, h + 18),
                 o4 = GetU16(image, h + 20);
  if (o1 || o2 || o3 || o4) {
    config.master.masterIpText = FormatDotted(o1, o2, o3, o4);
    outcome.masterIpSet = true;
  }
  config.master.advancedSettings = GetU16(image, h + 22);
  outcome.entriesInFile = GetU16(image, h + 6);

  DataList& list = config.dataList;
  for (NodeCursor entry = FirstChild(image, ioh, NodeKind::IoH); entry.Valid() && !list.Full();
       NextSibling(image, entry)) {
    auto r = std::make_unique<SlaveRecord>();
    const size_t e = entry.header;
    const uint16_t nodeNumber = GetU16(image, e + 4);
    config.nextNode = nodeNumber + 1;
    r->sourceImage = imagePtr;
    r->sourceEntry = entry;
    r->node = std::to_string(nodeNumber);
    r->moduleId = std::to_string(GetU16(image, e + 0));
    NodeFrame ef = ReadFrame(image, entry.start);
    const size_t data = ef.header + ef.headerSize;
    r->name = ReadDataString(image, data, data + ef.dataSize, 0).value_or("");
    r->description = ReadDataString(image, data, data + ef.dataSize, 1).value_or("");
    r->status = "unknown";
    r->ipAddress = FormatDotted(GetU16(image, e + 12), GetU16(image, e + 14), GetU16(image, e + 16),
                                GetU16(image, e + 18));
    MacAddress mac{};
    std::memcpy(mac.data(), image.data() + e + 20, 6);
    if (!IsZeroMac(mac)) r->mac = mac;

    long long inputSum = 0, paramSum = 0, outputSum = 0;
    NodeCursor group = FirstChild(image, entry, NodeKind::SlaveEntry);
    if (group.Valid()) {
      r->sourceGroup = group;
      for (NodeCursor block = FirstChild(image, group, NodeKind::IoGroup); block.Valid();
           NextSibling(image, block)) {
        const uint16_t flags = GetU16(image, block.header + 12);
        const uint16_t words = GetU16(image, block.header + 6);
        if (flags & kFlagInput) {
          if (!r->sourceInput) r->sourceInput = block;
          inputSum += words;
        } else if (flags & kFlagParam) {
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
