#include "config/configuration.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config_fixtures.h"

namespace plinth {
namespace {

using namespace plinth::testing;

std::vector<uint8_t> Encode(const Configuration& config) {
  RecordedMessages messages;
  auto bytes = EncodeConfiguration(config.dataList, config.master, messages);
  EXPECT_TRUE(bytes.has_value() && messages.entries.empty());
  return bytes.value_or(std::vector<uint8_t>{});
}

ReadOutcome Read(const std::vector<uint8_t>& bytes, Configuration& config, RecordedMessages& messages) {
  return ReadConfigurationBytes(std::make_shared<ConfigImage>(bytes), "file.bin", config, messages);
}

std::vector<uint8_t> EncodeTree(BusNode& root) {
  std::vector<uint8_t> bytes(ComputeSize(root));
  EXPECT_TRUE(Serialize(root, bytes));
  return bytes;
}

// A root with an IoH holding the given entries.
std::vector<uint8_t> TreeOf(std::vector<BusNodePtr> entries, int iohCount = 1) {
  BusNodePtr root = CreateRoot();
  for (int i = 0; i < iohCount; ++i) {
    BusNodePtr ioh = CreateIoH(0, std::string("Varnel"));
    ioh->SetU16(10, 50);
    ioh->SetU16(30, 0x30);
    for (auto& e : entries) AppendChild(*ioh, e);
    AppendChild(*root, ioh);
  }
  return EncodeTree(*root);
}

std::string Fields(const SlaveRecord& r) {
  return r.node + "|" + r.status + "|" + r.moduleId + "|" + r.ipAddress + "|" + r.name + "|" + r.description + "|" +
         r.inputWords + "/" + r.outputWords + "/" + r.paramWords + "|" + FormatMac(r.mac) + "|" + r.macAddress;
}

TEST(ConfigurationFile, WorkedExamplesWrittenReadAndWrittenBackUnchanged) {
  Configuration empty, one;
  ExampleConfig(empty, false);
  ExampleConfig(one, true);
  EXPECT_EQ(Encode(empty), EmptyExample());
  ScratchDir dir;
  RecordedMessages messages;
  ASSERT_TRUE(WriteConfiguration(dir.File("one.bin"), one, messages));
  EXPECT_EQ(ReadAll(dir.File("one.bin")), OneSlaveExample());

  Configuration config;
  config.master.masterIpText = "10.0.0.1";
  ReadOutcome outcome = Read(OneSlaveExample(), config, messages);
  ASSERT_TRUE(outcome.ok && outcome.masterIpSet);
  EXPECT_TRUE(messages.entries.empty());
  EXPECT_EQ(config.master.masterIpText + " " + std::to_string(config.master.fileWord1) + " " +
                std::to_string(config.master.fileWord2) + " " + std::to_string(config.nextNode),
            "192.168.1.10 50 48 2");
  ASSERT_EQ(config.dataList.Count(), 1);
  const SlaveRecord& r = *config.dataList.At(0);
  EXPECT_EQ(Fields(r), "1|unknown|99|192.168.1.1|S1|first|2/4/1|020000000001|");
  EXPECT_TRUE(r.sourceEntry && r.sourceGroup && r.sourceInput && r.sourceParam && r.sourceOutput);
  EXPECT_EQ(Encode(config), OneSlaveExample());

  // A master address of 0.0.0.0 leaves the one in use; the rest is read.
  Configuration source;
  source.master = {"0.0.0.0", "258", 77, 0x0101, false, 0x6005};  // board byte 2
  std::vector<uint8_t> bytes = Encode(source);
  EXPECT_EQ(bytes[ReadFrame(bytes, 0).header + 4 + 16 + 3 + 2], 2);
  Configuration back;
  back.master.masterIpText = "172.16.0.1";
  outcome = Read(bytes, back, messages);
  ASSERT_TRUE(outcome.ok && !outcome.masterIpSet);
  EXPECT_EQ(back.master.masterIpText + " " + std::to_string(back.master.fileWord1) + " " +
                std::to_string(back.master.fileWord2) + " " + std::to_string(back.master.advancedSettings),
            "172.16.0.1 77 305 24581");
}

TEST(ConfigurationWriter, RecordsReadFromAFileCarryTheirBytesOver) {
  // A file with values this writer never produces itself.
  BusNodePtr entry = CreateSlaveEntry(7, std::string("old")), group = CreateIoGroup();
  BusNodePtr input = CreateIoBlock(), output = CreateIoBlock();
  entry->SetU16(6, 0xA1A2), entry->SetU16(8, 0xB1B2), entry->SetU16(26, 0xC1C2);
  SetString(*entry, 1, "desc");
  SetString(*entry, 2, "third string");
  group->SetU16(0, 0x0D0E);
  input->SetU16(0, 0x1111), input->SetU16(14, 0x2222), input->SetU16(12, 0x0104), input->SetU16(6, 8);
  for (uint16_t k = 0; k < 8; ++k) SetValue(*input, static_cast<uint16_t>(100 + k), k);
  output->SetU16(6, 2);
  output->values = {0xAAAA, 0xBBBB};
  AppendChild(*group, input);
  AppendChild(*group, output);
  AppendChild(*entry, group);

  Configuration config;
  RecordedMessages messages;
  ASSERT_TRUE(Read(TreeOf({entry}), config, messages).ok);
  SlaveRecord& r = *config.dataList.At(0);
  EXPECT_EQ(r.inputWords + "/" + r.outputWords, "8/2");
  // Fewer input words than the block holds, more output words, a new
  // parameter block.
  r.inputWords = "4", r.outputWords = "3", r.paramWords = "1", r.name = "new";
  std::vector<uint8_t> written = Encode(config);

  Configuration back;
  ASSERT_TRUE(Read(written, back, messages).ok);
  const SlaveRecord& b = *back.dataList.At(0);
  const size_t e = b.sourceEntry->header;
  EXPECT_EQ(std::vector<uint16_t>({GetU16(written, e + 6), GetU16(written, e + 8), GetU16(written, e + 26),
                                   GetU16(written, e + 10), GetU16(written, b.sourceGroup->header)}),
            std::vector<uint16_t>({0xA1A2, 0xB1B2, 0xC1C2, 7, 0x0D0E}));
  EXPECT_EQ(*CopySlaveEntry(written, *b.sourceEntry)->strings[2], "third string");
  EXPECT_EQ(b.name + " " + b.inputWords + "/" + b.outputWords + "/" + b.paramWords, "new 4/3/1");

  BusNodePtr in = CopyIoBlock(written, *b.sourceInput), out = CopyIoBlock(written, *b.sourceOutput);
  BusNodePtr param = CopyIoBlock(written, *b.sourceParam);
  EXPECT_EQ(std::vector<uint16_t>({in->U16(6), in->U16(0), in->U16(14), in->U16(12), out->U16(6), param->U16(12),
                                   param->U16(0)}),
            std::vector<uint16_t>({4, 0x1111, 0x2222, 0x0104, 2, 0x0050, 6}));  // 3 output words, 1 a parameter
  EXPECT_EQ(in->values, (std::vector<uint16_t>{100, 101, 102, 103, 104, 105, 106, 107}));
  EXPECT_EQ(out->values, (std::vector<uint16_t>{0xAAAA, 0xBBBB}));
}

// Recomputes the checksum of an image after a test changed it.
std::vector<uint8_t> Resealed(std::vector<uint8_t> bytes, size_t at, std::vector<uint8_t> with) {
  std::copy(with.begin(), with.end(), bytes.begin() + static_cast<long>(at));
  const uint32_t total = DecodeLengthCode(bytes, 0).value;
  PutU32(bytes, total - 4, Crc16Modbus(std::span<const uint8_t>(bytes).first(total - 4)));
  return bytes;
}

TEST(ConfigurationReader, RefusesBrokenFilesWithAMessage) {
  const std::vector<uint8_t>& good = OneSlaveExample();
  const size_t ioh = 2 + 2 + 4 + 16 + 3;  // root codes, header, data; IoH codes
  ASSERT_EQ(good[0x80], 0x1b);  // the example's input block
  ASSERT_EQ(good[0xb4], 0x1d);  // its last block, four bytes before the checksum
  ASSERT_EQ(good[0x78], 0x00);  // the zero that ends the entry's strings
  auto changed = [&](size_t at, uint8_t value) {
    std::vector<uint8_t> bytes = good;
    bytes[at] = value;
    return bytes;
  };
  const struct {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
    const char* title;
  } cases[] = {
      {"total of 4", changed(0, 0x04), "size not valid", "file.bin"},
      {"changed byte", changed(100, good[100] ^ 0x40), "checksum error", "file.bin"},
      {"changed first byte", changed(3, good[3] ^ 1), "checksum error", "file.bin"},
      {"changed padding", changed(good.size() - 5, 1), "checksum error", "file.bin"},
      {"checksum's upper bytes", changed(good.size() - 1, 1), "checksum error", "file.bin"},
      {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 10), "Input file corrupted!", "Plinth"},
      {"one byte short", std::vector<uint8_t>(good.begin(), good.end() - 1), "Input file corrupted!", "Plinth"},
      // Consistent checksums over inconsistent trees.
      {"entry count past the end", Resealed(good, ioh + 6, {40, 0}), "Input file corrupted!", "Plinth"},
      {"header past the node", Resealed(good, ioh - 2, {0xBF}), "Input file corrupted!", "Plinth"},
      {"value count past the block", Resealed(good, 0x80 + 3 + 16, {0xB8, 0x0B}), "Input file corrupted!", "Plinth"},
      {"last block past its parents", Resealed(good, 0xb4, {0x21}), "Input file corrupted!", "Plinth"},
      {"unterminated string", Resealed(good, 0x78, {'x'}), "Input file corrupted!", "Plinth"},
      {"two IoH", TreeOf({}, 2), "Input file corrupted! (More than one IoH)", "Plinth"},
  };
  for (const auto& c : cases) {
    Configuration config;
    RecordedMessages messages;
    EXPECT_FALSE(Read(c.bytes, config, messages).ok) << c.what;
    EXPECT_EQ(config.dataList.Count(), 0) << c.what;
    ASSERT_EQ(messages.entries.size(), 1u) << c.what;
    EXPECT_EQ(messages.entries[0].title + ": " + messages.entries[0].text, std::string(c.title) + ": " + c.message)
        << c.what;
  }
  // A root without an IoH is an empty configuration, read without a word.
  BusNodePtr bare = CreateRoot();
  Configuration config;
  RecordedMessages messages;
  EXPECT_TRUE(Read(EncodeTree(*bare), config, messages).ok);
  EXPECT_TRUE(messages.entries.empty());
}

TEST(ConfigurationReader, OddButValidTrees) {
  // An entry without an IoGroup is a slave without words; of two groups
  // only the first one counts.
  BusNodePtr entry = CreateSlaveEntry(6, std::string("two groups"));
  for (uint16_t words : {3, 4}) {
    BusNodePtr group = CreateIoGroup(), block = CreateIoBlock();
    block->SetU16(12, 0x0004);
    block->SetU16(6, words);
    AppendChild(*group, block);
    AppendChild(*entry, group);
  }
  Configuration config;
  RecordedMessages messages;
  ASSERT_TRUE(Read(TreeOf({CreateSlaveEntry(5, std::string("bare")), entry}), config, messages).ok);
  ASSERT_EQ(config.dataList.Count(), 2);
  EXPECT_EQ(config.dataList.At(0)->inputWords + config.dataList.At(0)->outputWords, "00");
  EXPECT_FALSE(config.dataList.At(0)->sourceGroup.has_value());
  EXPECT_EQ(config.dataList.At(1)->inputWords, "3");
  // Written again, the bare entry gets a group of its own.
  Configuration back;
  ASSERT_TRUE(Read(Encode(config), back, messages).ok);
  EXPECT_TRUE(back.dataList.At(0)->sourceGroup.has_value());
}

TEST(ConfigurationReader, LoadsTheFirst300OfALargerFile) {
  std::vector<BusNodePtr> entries;
  for (int i = 0; i < 305; ++i) entries.push_back(CreateSlaveEntry(static_cast<uint16_t>(i + 1), std::string("s")));
  ScratchDir dir;
  WriteAll(dir.File("big.bin"), TreeOf(entries));
  Configuration config;
  RecordedMessages messages;
  EXPECT_TRUE(ReadConfiguration(dir.File("big.bin"), config, messages).ok);
  EXPECT_EQ(config.dataList.Count(), 300);
  EXPECT_EQ(config.dataList.At(299)->node, "300");
  EXPECT_EQ(config.nextNode, 301);
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "The file holds 305 slaves; only the first 300 were loaded.");
}

TEST(ConfigurationFile, MissingOrEmptyFilesAreNotReadAndFailedWritesKeepThePreviousFile) {
  ScratchDir dir;
  WriteAll(dir.File("empty.bin"), {});
  for (const std::string& path : {dir.File("missing.bin"), dir.File("empty.bin"), dir.Path().string()}) {
    Configuration config;
    config.master.masterIpText = "1.2.3.4";
    RecordedMessages messages;
    EXPECT_FALSE(ReadConfiguration(path, config, messages).ok) << path;
    EXPECT_TRUE(messages.entries.empty()) << path;
    EXPECT_EQ(config.master.masterIpText, "1.2.3.4");
  }
  std::filesystem::remove(dir.File("empty.bin"));

  Configuration config;
  ExampleConfig(config, true);
  const std::string target = dir.File("keep.bin");
  WriteAll(target, EmptyExample());
  chmod(target.c_str(), 0640);
  auto write = [&](const std::string& path, const char* message) {
    RecordedMessages messages;
    EXPECT_EQ(WriteConfiguration(path, config, messages), message == nullptr) << path;
    EXPECT_EQ(messages.entries.size(), message ? 1u : 0u) << path;
    if (message && !messages.entries.empty()) {
      EXPECT_TRUE(messages.entries[0].text.starts_with(message)) << messages.entries[0].text;
    }
  };
  write(dir.File("no/such/folder/x.bin"), "fopen failed to write!");
  write(dir.Path().string(), "fopen failed to write!");

  // A write cut short by the file size limit: the old file stays whole.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  write(target, "fwrite failed!");
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_EQ(ReadAll(target), EmptyExample());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "temporary file left";

  // A successful write replaces it and keeps its permissions.
  write(target, nullptr);
  EXPECT_EQ(ReadAll(target), OneSlaveExample());
  struct stat info {};
  stat(target.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);

  // What cannot be encoded is refused before any file is made.
  for (auto [words, name] : {std::pair{"600000", 1}, {"2147483647", 1}, {"0", 1048576}}) {
    config.dataList.TakeLast();
    config.dataList.Append(MakeSlave("1", "", "", std::string(static_cast<size_t>(name), 'x'), "", words));
    write(dir.File("x.bin"), "Copy of GenericBusTable failed!\nslave 1");
    EXPECT_FALSE(std::filesystem::exists(dir.File("x.bin")));
  }
}

}  // namespace
}  // namespace plinth
