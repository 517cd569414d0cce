#include "config/configuration.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "config/config_reader.h"
#include "config/config_writer.h"
#include "tests/support/config_fixtures.h"

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

// A root with iohCount IoH, each holding the given entries.
std::vector<uint8_t> TreeOf(std::vector<BusNodePtr> entries, int iohCount = 1) {
  BusNodePtr root = CreateRoot();
  for (int i = 0; i < iohCount; ++i) {
    BusNodePtr ioh = CreateIoH(0, std::string("Varnel"));
    for (auto& e : entries) AppendChild(*ioh, e);
    AppendChild(*root, ioh);
  }
  std::vector<uint8_t> bytes(ComputeSize(*root));
  EXPECT_TRUE(Serialize(*root, bytes));
  return bytes;
}

TEST(ConfigurationFile, WorkedExamplesWrittenReadAndWrittenBackUnchanged) {
  Configuration empty, config;
  empty.master.masterIpText = "192.168.1.10";
  EXPECT_EQ(Encode(empty), EmptyExample());
  // Read over a configuration with another master address and written back.
  config.master.masterIpText = "10.0.0.1";
  RecordedMessages messages;
  ReadOutcome outcome = Read(OneSlaveExample(), config, messages);
  ASSERT_TRUE(outcome.ok && outcome.masterIpSet && messages.entries.empty());
  // Each field read is compared by the random-configuration test; written back, the file is the same.
  EXPECT_EQ(config.master.masterIpText + " " + std::to_string(config.nextNode), "192.168.1.10 2");
  EXPECT_EQ(Encode(config), OneSlaveExample());

  Configuration source;  // a master address of 0.0.0.0 leaves the one in use
  source.master.masterIpText = "0.0.0.0";
  outcome = Read(Encode(source), config, messages);
  EXPECT_TRUE(outcome.ok && !outcome.masterIpSet && config.master.masterIpText == "192.168.1.10");
}

TEST(ConfigurationWriter, RecordsReadFromAFileCarryTheirBytesOver) {
  // A file with values this writer never produces itself.
  BusNodePtr entry = CreateSlaveEntry(7, std::string("old")), group = CreateIoGroup();
  BusNodePtr input = CreateIoBlock(), output = CreateIoBlock();
  entry->SetU16(6, 0xA1A2), entry->SetU16(8, 0xB1B2), entry->SetU16(26, 0xC1C2);
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
  // Fewer input words than the block holds, more output words, a new parameter block.
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

// An image with bytes changed, its checksum recomputed unless told not to.
std::vector<uint8_t> Resealed(std::vector<uint8_t> bytes, size_t at, std::vector<uint8_t> with, bool seal = true) {
  std::copy(with.begin(), with.end(), bytes.begin() + static_cast<long>(at));
  const uint32_t total = DecodeLengthCode(bytes, 0).value;
  if (seal) PutU32(bytes, total - 4, Crc16Modbus(std::span<const uint8_t>(bytes).first(total - 4)));
  return bytes;
}

TEST(ConfigurationReader, RefusesBrokenFilesWithAMessageAndReadsOddButValidOnes) {
  const std::vector<uint8_t>& good = OneSlaveExample();
  const size_t ioh = 2 + 2 + 4 + 16 + 3;  // root codes, header, data; IoH codes
  auto changed = [&](size_t at, uint8_t value) { return Resealed(good, at, {value}, false); };
  // An entry without an IoGroup is a slave without words; of two groups only the first one counts.
  BusNodePtr twoGroups = CreateSlaveEntry(6, std::string("two groups"));
  for (uint16_t words : {3, 4}) {
    BusNodePtr group = CreateIoGroup(), block = CreateIoBlock();
    block->SetU16(12, 0x0004), block->SetU16(6, words);
    AppendChild(*group, block);
    AppendChild(*twoGroups, group);
  }
  std::vector<BusNodePtr> odd{CreateSlaveEntry(5, std::string("bare")), twoGroups}, many = odd;
  for (int i = 3; i <= 305; ++i) many.push_back(CreateSlaveEntry(static_cast<uint16_t>(i), std::string("s")));
  const std::string corrupted = "Plinth: Input file corrupted!", checksum = "file.bin: checksum error";
  const std::string none = "0 1";  // no slave read, nextNode unchanged
  const std::string notOurs = "file.bin: not a configuration file";
  // {file, messages shown, "slaves nextNode in/out..." read}
  const std::tuple<std::vector<uint8_t>, std::string, std::string> cases[] = {
      {changed(0, 0x04), "file.bin: size not valid", none},
      // Not beginning like a configuration file is said before size or checksum are looked at.
      {std::vector<uint8_t>{'{', '"', 'm', '"', ':', '{', '}', '}'}, notOurs, none},
      {changed(2 + 6, 'g'), notOurs, none},
      {changed(100, good[100] ^ 0x40), checksum, none},
      {changed(good.size() - 5, 1), checksum, none},  // padding
      {changed(good.size() - 1, 1), checksum, none},  // the checksum's upper bytes
      {std::vector<uint8_t>(good.begin(), good.end() - 1), corrupted, none},
      // Consistent checksums over inconsistent trees: entry count, header, value count (input block at 0x80),
      // last block (0xb4) past their ends; the zero that ends the entry's strings (0x78) changed.
      {Resealed(good, ioh + 6, {40, 0}), corrupted, none},
      {Resealed(good, ioh - 2, {0xBF}), corrupted, none},
      {Resealed(good, 0x80 + 3 + 16, {0xB8, 0x0B}), corrupted, none},
      {Resealed(good, 0xb4, {0x21}), corrupted, none},
      {Resealed(good, 0x78, {'x'}), corrupted, none},
      {TreeOf({}, 2), notOurs, none},  // a file has exactly one IoH
      {TreeOf({}, 0), notOurs, none},
      {TreeOf(odd), "", "2 7 0/0 3/0"},
      {TreeOf(many), "Plinth: The file holds 305 slaves; only the first 300 were loaded.", "300 301 0/0 3/0"},
  };
  auto read = [](const Configuration& c) {
    std::string text = std::to_string(c.dataList.Count()) + " " + std::to_string(c.nextNode);
    for (int k = 0; k < std::min(c.dataList.Count(), 2); ++k)
      text += " " + c.dataList.At(k)->inputWords + "/" + c.dataList.At(k)->outputWords;
    return text;
  };
  ScratchDir dir;
  for (const auto& [bytes, shown, loaded] : cases) {
    WriteAll(dir.File("file.bin"), bytes);
    Configuration config, back;
    RecordedMessages messages;
    const bool refused = !shown.empty() && loaded == none;
    EXPECT_EQ(ReadConfiguration(dir.File("file.bin"), config, messages).ok, !refused) << shown;
    std::string texts;
    for (const auto& m : messages.entries) texts += std::filesystem::path(m.title).filename().string() + ": " + m.text;
    EXPECT_EQ(texts, shown);
    EXPECT_EQ(read(config), loaded) << shown;
    // What was read is written again and reads the same; a bare entry gets a group of its own.
    EXPECT_TRUE(Read(Encode(config), back, messages).ok);
    EXPECT_EQ(read(back), loaded) << shown;
    if (!config.dataList.Count()) continue;
    EXPECT_TRUE(!config.dataList.At(0)->sourceGroup && back.dataList.At(0)->sourceGroup);
  }
}

TEST(ConfigurationFile, MissingOrEmptyFilesAreNotReadAndFailedWritesKeepThePreviousFile) {
  ScratchDir dir;
  const std::string target = dir.File("keep.bin");
  WriteAll(target, {});
  Configuration config;  // the worked example with one slave, shown once as the list shows it
  config.master.masterIpText = "192.168.1.10";
  config.dataList.Append(MakeSlave("1", "99", "192.168.1.1", "S1", "first", "2", "4", "1", "020000000001"));
  RecordedMessages shown;
  RenderRecord(*config.dataList.At(0), nullptr, nullptr, shown);
  for (const std::string& path : {dir.File("missing.bin"), target, dir.Path().string()}) {
    RecordedMessages messages;
    EXPECT_FALSE(ReadConfiguration(path, config, messages).ok || messages.entries.size()) << path;
    EXPECT_EQ(config.master.masterIpText + std::to_string(config.dataList.Count()), "192.168.1.101");
  }
  WriteAll(target, EmptyExample());
  chmod(target.c_str(), 0640);
  auto write = [&](const std::string& path, const char* message) {
    RecordedMessages messages;
    EXPECT_EQ(WriteConfiguration(path, config, messages), message == nullptr) << path;
    EXPECT_EQ(messages.entries.size(), message ? 1u : 0u) << path;
    for (const auto& m : messages.entries) EXPECT_TRUE(m.text.starts_with(message)) << m.text;
  };
  // A write cut short by the file size limit: the old file stays whole.
  rlimit old{};
  getrlimit(RLIMIT_FSIZE, &old);
  auto oldHandler = signal(SIGXFSZ, SIG_IGN);
  rlimit small{100, old.rlim_max};
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
