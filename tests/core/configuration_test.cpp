#include "config/configuration.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config_fixtures.h"
#include "dialogs/module_catalog.h"

namespace plinth {
namespace {

using namespace plinth::testing;

std::vector<uint8_t> Encode(const Configuration& config) {
  RecordedMessages messages;
  auto bytes = EncodeConfiguration(config.dataList, config.master, messages);
  EXPECT_TRUE(bytes.has_value());
  EXPECT_TRUE(messages.entries.empty());
  return bytes.value_or(std::vector<uint8_t>{});
}

ReadOutcome Read(const std::vector<uint8_t>& bytes, Configuration& config, RecordedMessages& messages) {
  return ReadConfigurationBytes(ImageOf(bytes), "file.bin", config, messages);
}

// Recomputes the checksum of an image after a test changed it.
void Reseal(std::vector<uint8_t>& bytes) {
  const uint32_t total = DecodeLengthCode(bytes, 0).value;
  PutU32(bytes, total - 4, Crc16Modbus(std::span<const uint8_t>(bytes).first(total - 4)));
}

// Encodes a tree built directly with the node functions.
std::vector<uint8_t> EncodeTree(BusNode& root) {
  std::vector<uint8_t> bytes(ComputeSize(root));
  EXPECT_TRUE(Serialize(root, bytes));
  return bytes;
}

BusNodePtr ExampleIoH() {
  BusNodePtr ioh = CreateIoH(0, std::string("Varnel"));
  ioh->SetU16(10, 50);
  ioh->SetU16(30, 0x30);
  return ioh;
}

TEST(ConfigurationWriter, ReproducesTheWorkedExamples) {
  Configuration empty;
  ExampleMaster(empty);
  EXPECT_EQ(Encode(empty), EmptyExample());

  Configuration one;
  ExampleMaster(one);
  AddExampleSlave(one);
  EXPECT_EQ(Encode(one), OneSlaveExample());

  ScratchDir dir;
  RecordedMessages messages;
  ASSERT_TRUE(WriteConfiguration(dir.File("one.bin"), one, messages));
  EXPECT_TRUE(messages.entries.empty());
  EXPECT_EQ(ReadAll(dir.File("one.bin")), OneSlaveExample());
}

TEST(ConfigurationReader, ReadsTheWorkedExampleAndWritesItBackUnchanged) {
  Configuration config;
  config.master.masterIpText = "10.0.0.1";
  RecordedMessages messages;
  ReadOutcome outcome = Read(OneSlaveExample(), config, messages);
  ASSERT_TRUE(outcome.ok);
  EXPECT_TRUE(messages.entries.empty());
  EXPECT_TRUE(outcome.masterIpSet);
  EXPECT_EQ(config.master.masterIpText, "192.168.1.10");
  EXPECT_EQ(config.master.fileWord1, 50);
  EXPECT_EQ(config.master.fileWord2, 0x30);
  EXPECT_EQ(config.nextNode, 2);
  ASSERT_EQ(config.dataList.Count(), 1);
  const SlaveRecord& r = *config.dataList.At(0);
  EXPECT_EQ(r.node, "1");
  EXPECT_EQ(r.status, "unknown");
  EXPECT_EQ(r.moduleId, "99");
  EXPECT_EQ(r.ipAddress, "192.168.1.1");
  EXPECT_EQ(r.name, "S1");
  EXPECT_EQ(r.description, "first");
  EXPECT_EQ(r.inputWords, "2");
  EXPECT_EQ(r.outputWords, "4");
  EXPECT_EQ(r.paramWords, "1");
  EXPECT_EQ(r.mac, (MacAddress{2, 0, 0, 0, 0, 1}));
  EXPECT_TRUE(r.macAddress.empty());
  EXPECT_TRUE(r.sourceEntry && r.sourceGroup && r.sourceInput && r.sourceParam && r.sourceOutput);
  EXPECT_EQ(Encode(config), OneSlaveExample());
}

TEST(ConfigurationWriter, UnknownSlavesAreSavedOnlyOnRequest) {
  Configuration config;
  config.dataList.Append(MakeSlave("", "", "10.0.0.5", "lost", "", "0", "0", "0"));
  config.dataList.Append(MakeSlave("3", "", "10.0.0.3", "kept", "", "0", "0", "0"));
  RecordedMessages messages;
  Configuration readBack;
  ASSERT_TRUE(Read(Encode(config), readBack, messages).ok);
  ASSERT_EQ(readBack.dataList.Count(), 1);
  EXPECT_EQ(readBack.dataList.At(0)->name, "kept");

  config.master.saveUnknownSlaves = true;
  Configuration withUnknown;
  ASSERT_TRUE(Read(Encode(config), withUnknown, messages).ok);
  ASSERT_EQ(withUnknown.dataList.Count(), 2);
  EXPECT_EQ(withUnknown.dataList.At(0)->node, "0");
  EXPECT_EQ(withUnknown.dataList.At(0)->ipAddress, "10.0.0.5");
  EXPECT_EQ(withUnknown.nextNode, 4);
}

TEST(ConfigurationWriter, BlocksFollowTheWordCounts) {
  Configuration config;
  // All output words are parameter words: no output block.
  config.dataList.Append(MakeSlave("1", "99", "", "a", "", "0", "4", "4"));
  // Catalogue defaults for the parameter words of a known module...
  config.dataList.Append(MakeSlave("2", "704", "1.2.3.4", "b", "", "0", "2", "2"));
  // ...and zeros for one the catalogue lacks; more words than defaults.
  config.dataList.Append(MakeSlave("3", "99", "1.2.3.5", "c", "", "1", "5", "2"));
  config.dataList.Append(MakeSlave("4", "451", "1.2.3.6", "d", "", "0", "5", "3"));
  std::vector<uint8_t> bytes = Encode(config);

  Configuration back;
  RecordedMessages messages;
  ASSERT_TRUE(Read(bytes, back, messages).ok);
  const SlaveRecord& a = *back.dataList.At(0);
  EXPECT_EQ(a.outputWords, "4");
  EXPECT_EQ(a.paramWords, "4");
  EXPECT_FALSE(a.sourceOutput.has_value());
  EXPECT_EQ(a.ipAddress, "0.0.0.0");

  auto paramValues = [&](int slot) {
    const SlaveRecord& r = *back.dataList.At(slot);
    return CopyIoBlock(bytes, *r.sourceParam)->values;
  };
  EXPECT_EQ(paramValues(1), (std::vector<uint16_t>{0x4444, 0x4444}));
  EXPECT_EQ(paramValues(2), (std::vector<uint16_t>{0, 0}));
  EXPECT_EQ(paramValues(3), (std::vector<uint16_t>{0x1111, 0, 0}));

  // Flags: parameter 0x0050, output 0x0090 beside parameters, 0x0010 alone.
  const SlaveRecord& c = *back.dataList.At(2);
  EXPECT_EQ(GetU16(bytes, c.sourceParam->header + 12), 0x0050);
  EXPECT_EQ(GetU16(bytes, c.sourceOutput->header + 12), 0x0090);
  EXPECT_EQ(GetU16(bytes, c.sourceOutput->header + 6), 3);
  EXPECT_EQ(GetU16(bytes, c.sourceInput->header + 12), 0x0004);
  EXPECT_EQ(c.outputWords, "5");
}

TEST(ConfigurationWriter, RecordsReadFromAFileCarryTheirBytesOver) {
  // A file with values this writer never produces itself.
  BusNodePtr ioh = ExampleIoH();
  BusNodePtr entry = CreateSlaveEntry(7, std::string("old"));
  entry->SetU16(6, 0xA1A2);
  entry->SetU16(8, 0xB1B2);
  entry->SetU16(26, 0xC1C2);
  SetString(*entry, 1, "desc");
  SetString(*entry, 2, "third string");
  BusNodePtr group = CreateIoGroup();
  group->SetU16(0, 0x0D0E);
  BusNodePtr input = CreateIoBlock();
  input->SetU16(0, 0x1111);
  input->SetU16(14, 0x2222);
  input->SetU16(12, 0x0004 | 0x0100);
  input->SetU16(6, 8);
  for (uint16_t k = 0; k < 8; ++k) SetValue(*input, static_cast<uint16_t>(100 + k), k);
  BusNodePtr output = CreateIoBlock();
  output->SetU16(6, 2);
  SetValue(*output, 0xAAAA, 0);
  SetValue(*output, 0xBBBB, 1);
  AppendChild(*group, input);
  AppendChild(*group, output);
  AppendChild(*entry, group);
  AppendChild(*ioh, entry);
  BusNodePtr root = CreateRoot();
  AppendChild(*root, ioh);
  std::vector<uint8_t> file = EncodeTree(*root);

  Configuration config;
  RecordedMessages messages;
  ASSERT_TRUE(Read(file, config, messages).ok);
  SlaveRecord& r = *config.dataList.At(0);
  EXPECT_EQ(r.inputWords, "8");
  EXPECT_EQ(r.outputWords, "2");
  r.inputWords = "4";   // fewer input words than the block holds
  r.outputWords = "3";  // more output words than the block holds
  r.paramWords = "1";   // a new parameter block
  r.name = "new";
  std::vector<uint8_t> written = Encode(config);

  Configuration back;
  ASSERT_TRUE(Read(written, back, messages).ok);
  const SlaveRecord& b = *back.dataList.At(0);
  const size_t e = b.sourceEntry->header;
  EXPECT_EQ(GetU16(written, e + 6), 0xA1A2);
  EXPECT_EQ(GetU16(written, e + 8), 0xB1B2);
  EXPECT_EQ(GetU16(written, e + 26), 0xC1C2);
  EXPECT_EQ(GetU16(written, e + 10), 7);
  EXPECT_EQ(*CopySlaveEntry(written, *b.sourceEntry)->strings[2], "third string");
  EXPECT_EQ(b.name, "new");
  EXPECT_EQ(GetU16(written, b.sourceGroup->header), 0x0D0E);

  BusNodePtr in = CopyIoBlock(written, *b.sourceInput);
  EXPECT_EQ(in->U16(6), 4);
  EXPECT_EQ(in->U16(0), 0x1111);
  EXPECT_EQ(in->U16(14), 0x2222);
  EXPECT_EQ(in->U16(12), 0x0104);
  EXPECT_EQ(in->values, (std::vector<uint16_t>{100, 101, 102, 103, 104, 105, 106, 107}));

  BusNodePtr out = CopyIoBlock(written, *b.sourceOutput);
  EXPECT_EQ(out->U16(6), 2);  // 3 output words, 1 of them a parameter word
  EXPECT_EQ(out->values, (std::vector<uint16_t>{0xAAAA, 0xBBBB}));
  BusNodePtr param = CopyIoBlock(written, *b.sourceParam);
  EXPECT_EQ(param->U16(12), 0x0050);
  EXPECT_EQ(param->U16(0), 6);
  EXPECT_EQ(b.inputWords, "4");
  EXPECT_EQ(b.outputWords, "3");
  EXPECT_EQ(b.paramWords, "1");
}

TEST(ConfigurationReader, MasterSettings) {
  Configuration source;
  source.master.masterIpText = "0.0.0.0";
  source.master.fileWord1 = 77;
  source.master.fileWord2 = 0x0101;
  source.master.advancedSettings = 0x6005;
  source.master.boardText = "258";  // board byte 2
  std::vector<uint8_t> bytes = Encode(source);
  EXPECT_EQ(bytes[ReadFrame(bytes, 0).header + 4 + 16 + 3 + 2], 2);

  Configuration config;
  config.master.masterIpText = "172.16.0.1";
  RecordedMessages messages;
  ReadOutcome outcome = Read(bytes, config, messages);
  ASSERT_TRUE(outcome.ok);
  EXPECT_FALSE(outcome.masterIpSet);
  EXPECT_EQ(config.master.masterIpText, "172.16.0.1");
  EXPECT_EQ(config.master.fileWord1, 77);
  EXPECT_EQ(config.master.fileWord2, 0x0131);
  EXPECT_EQ(config.master.advancedSettings, 0x6005);
}

TEST(ConfigurationReader, RefusesBrokenFilesWithAMessage) {
  struct Case {
    const char* what;
    std::vector<uint8_t> bytes;
    const char* message;
    const char* title;
  };
  std::vector<Case> cases;

  std::vector<uint8_t> tiny = OneSlaveExample();
  tiny[0] = 0x04;
  cases.push_back({"total of 4", tiny, "size not valid", "file.bin"});

  std::vector<uint8_t> flipped = OneSlaveExample();
  flipped[100] ^= 0x40;
  cases.push_back({"changed byte", flipped, "checksum error", "file.bin"});

  std::vector<uint8_t> truncated(OneSlaveExample().begin(), OneSlaveExample().end() - 10);
  cases.push_back({"truncated", truncated, "Input file corrupted!", "Plinth"});

  // Consistent checksums over inconsistent trees.
  const size_t iohHeader = 2 + 2 + 4 + 16 + 3;  // root codes, header, data; IoH codes
  std::vector<uint8_t> manyEntries = OneSlaveExample();
  PutU16(manyEntries, iohHeader + 6, 40);
  Reseal(manyEntries);
  cases.push_back({"entry count past the end", manyEntries, "Input file corrupted!", "Plinth"});

  std::vector<uint8_t> bigHeader = OneSlaveExample();
  bigHeader[iohHeader - 2] = 0xBF;  // IoH header size runs past the node
  Reseal(bigHeader);
  cases.push_back({"header past the node", bigHeader, "Input file corrupted!", "Plinth"});

  std::vector<uint8_t> values = OneSlaveExample();
  const size_t firstBlockHeader = 0x80 + 3;  // the input block of the example
  ASSERT_EQ(values[0x80], 0x1b);
  PutU16(values, firstBlockHeader + 16, 3000);
  Reseal(values);
  cases.push_back({"value count past the block", values, "Input file corrupted!", "Plinth"});

  std::vector<uint8_t> unterminated = OneSlaveExample();
  // The entry's strings "S1\0first\0\0": make the last zero a letter.
  ASSERT_EQ(unterminated[0x78], 0x00);
  unterminated[0x78] = 'x';
  Reseal(unterminated);
  cases.push_back({"unterminated string", unterminated, "Input file corrupted!", "Plinth"});

  {
    BusNodePtr root = CreateRoot();
    AppendChild(*root, ExampleIoH());
    AppendChild(*root, ExampleIoH());
    cases.push_back({"two IoH", EncodeTree(*root), "Input file corrupted! (More than one IoH)", "Plinth"});
  }

  for (const Case& c : cases) {
    Configuration config;
    RecordedMessages messages;
    ReadOutcome outcome = Read(c.bytes, config, messages);
    EXPECT_FALSE(outcome.ok) << c.what;
    EXPECT_EQ(config.dataList.Count(), 0) << c.what;
    ASSERT_EQ(messages.entries.size(), 1u) << c.what;
    EXPECT_EQ(messages.entries[0].text, c.message) << c.what;
    EXPECT_EQ(messages.entries[0].title, c.title) << c.what;
  }

  // A root without an IoH is an empty configuration, read without a word.
  BusNodePtr bare = CreateRoot();
  Configuration config;
  RecordedMessages messages;
  EXPECT_TRUE(Read(EncodeTree(*bare), config, messages).ok);
  EXPECT_TRUE(messages.entries.empty());
}

TEST(ConfigurationReader, OddButValidTrees) {
  BusNodePtr ioh = ExampleIoH();
  // An entry without an IoGroup is a slave without words.
  AppendChild(*ioh, CreateSlaveEntry(5, std::string("bare")));
  // Two groups: only the first one counts.
  BusNodePtr entry = CreateSlaveEntry(6, std::string("two groups"));
  for (int g = 0; g < 2; ++g) {
    BusNodePtr group = CreateIoGroup();
    BusNodePtr block = CreateIoBlock();
    block->SetU16(12, 0x0004);
    block->SetU16(6, static_cast<uint16_t>(g + 3));
    AppendChild(*group, block);
    AppendChild(*entry, group);
  }
  AppendChild(*ioh, entry);
  BusNodePtr root = CreateRoot();
  AppendChild(*root, ioh);
  std::vector<uint8_t> bytes = EncodeTree(*root);

  Configuration config;
  RecordedMessages messages;
  ASSERT_TRUE(Read(bytes, config, messages).ok);
  ASSERT_EQ(config.dataList.Count(), 2);
  EXPECT_EQ(config.dataList.At(0)->inputWords, "0");
  EXPECT_EQ(config.dataList.At(0)->outputWords, "0");
  EXPECT_FALSE(config.dataList.At(0)->sourceGroup.has_value());
  EXPECT_EQ(config.dataList.At(1)->inputWords, "3");
  // Written again, the bare entry gets a group of its own.
  Configuration back;
  ASSERT_TRUE(Read(Encode(config), back, messages).ok);
  EXPECT_TRUE(back.dataList.At(0)->sourceGroup.has_value());
}

TEST(ConfigurationReader, LoadsTheFirst300OfALargerFile) {
  BusNodePtr ioh = ExampleIoH();
  for (int i = 0; i < 305; ++i) AppendChild(*ioh, CreateSlaveEntry(static_cast<uint16_t>(i + 1), std::string("s")));
  BusNodePtr root = CreateRoot();
  AppendChild(*root, ioh);
  ScratchDir dir;
  WriteAll(dir.File("big.bin"), EncodeTree(*root));

  Configuration config;
  RecordedMessages messages;
  ReadOutcome outcome = ReadConfiguration(dir.File("big.bin"), config, messages);
  EXPECT_TRUE(outcome.ok);
  EXPECT_EQ(config.dataList.Count(), 300);
  EXPECT_EQ(config.dataList.At(299)->node, "300");
  EXPECT_EQ(config.nextNode, 301);
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "The file holds 305 slaves; only the first 300 were loaded.");
}

TEST(ConfigurationFile, ReadingMissingOrEmptyFilesDoesNothing) {
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
}

TEST(ConfigurationFile, AFailedWriteLeavesThePreviousFile) {
  ScratchDir dir;
  Configuration config;
  ExampleMaster(config);
  AddExampleSlave(config);

  RecordedMessages messages;
  EXPECT_FALSE(WriteConfiguration(dir.File("no/such/folder/x.bin"), config, messages));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "fopen failed to write!");

  messages.entries.clear();
  EXPECT_FALSE(WriteConfiguration(dir.Path().string(), config, messages));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "fopen failed to write!");

  // A write cut short by the file size limit: the old file stays whole.
  const std::string target = dir.File("keep.bin");
  WriteAll(target, EmptyExample());
  chmod(target.c_str(), 0640);
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small = old;
  small.rlim_cur = 100;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  messages.entries.clear();
  const bool written = WriteConfiguration(target, config, messages);
  setrlimit(RLIMIT_FSIZE, &old);
  signal(SIGXFSZ, oldHandler);
  EXPECT_FALSE(written);
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_EQ(messages.entries[0].text, "fwrite failed!");
  EXPECT_EQ(ReadAll(target), EmptyExample());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "temporary file left";

  // A successful write replaces it and keeps its permissions.
  messages.entries.clear();
  EXPECT_TRUE(WriteConfiguration(target, config, messages));
  EXPECT_EQ(ReadAll(target), OneSlaveExample());
  struct stat info {};
  stat(target.c_str(), &info);
  EXPECT_EQ(info.st_mode & 0777, 0640u);
}

TEST(ConfigurationWriter, RefusesWhatCannotBeEncoded) {
  for (const char* words : {"600000", "2147483647"}) {
    Configuration config;
    config.dataList.Append(MakeSlave("1", "", "", "", "", words, "0", "0"));
    RecordedMessages messages;
    EXPECT_FALSE(EncodeConfiguration(config.dataList, config.master, messages).has_value());
    ASSERT_EQ(messages.entries.size(), 1u);
    EXPECT_TRUE(messages.entries[0].text.starts_with("Copy of GenericBusTable failed!\nslave 1"));
  }
  Configuration longName;
  longName.dataList.Append(MakeSlave("1", "", "", std::string(1048576, 'x'), "", "0", "0", "0"));
  ScratchDir dir;
  RecordedMessages messages;
  EXPECT_FALSE(WriteConfiguration(dir.File("x.bin"), longName, messages));
  ASSERT_EQ(messages.entries.size(), 1u);
  EXPECT_TRUE(messages.entries[0].text.starts_with("Copy of GenericBusTable failed!\nslave 1"));
  EXPECT_FALSE(std::filesystem::exists(dir.File("x.bin")));

  // Large but encodable: a 3-byte length code.
  Configuration large;
  large.dataList.Append(MakeSlave("1", "", "", std::string(70000, 'y'), "", "20000", "0", "0"));
  messages.entries.clear();
  auto bytes = EncodeConfiguration(large.dataList, large.master, messages);
  ASSERT_TRUE(bytes.has_value());
  Configuration back;
  ASSERT_TRUE(Read(*bytes, back, messages).ok);
  EXPECT_EQ(back.dataList.At(0)->name.size(), 70000u);
  EXPECT_EQ(back.dataList.At(0)->inputWords, "20000");
}

}  // namespace
}  // namespace plinth
