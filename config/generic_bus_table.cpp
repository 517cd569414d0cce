#include "config/generic_bus_table.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "config/file_layout.h"

namespace plinth {
namespace {

constexpr char kRootName[] = "GenericBusTable";  // 15 characters + zero byte

uint32_t StringsSize(const BusNode& node) {
  uint32_t size = 0;
  for (const auto& s : node.strings) size += static_cast<uint32_t>(s ? s->size() + 1 : 1);
  return size;
}

uint32_t DataSizeOf(const BusNode& node) {
  switch (node.kind) {
    case NodeKind::Root: return sizeof kRootName;
    case NodeKind::IoH: return static_cast<uint32_t>(node.extraBytes.size()) + StringsSize(node);
    case NodeKind::SlaveEntry: return StringsSize(node);
    case NodeKind::IoGroup: return 0;
    case NodeKind::IoBlock: return static_cast<uint32_t>(2 * node.values.size());
  }
  return 0;
}

// Writes one node and its children depth first; room shrinks as bytes go.
bool SerializeNode(const BusNode& node, std::span<uint8_t> out, size_t& pos, size_t& room) {
  if (room < node.totalSize) return false;
  uint8_t* p = out.data() + pos;
  int a = EncodeLengthCode(node.totalSize, p);
  int b = EncodeLengthCode(node.headerSize, p + a);
  int c = EncodeLengthCode(node.dataSize, p + a + b);
  if (a == 0 || b == 0 || c == 0) return false;
  size_t used = static_cast<size_t>(a + b + c);
  std::memcpy(p + used, node.header.data(), node.header.size());
  used += node.header.size();
  auto put = [&](const void* src, size_t n) {
    if (n) std::memcpy(p + used, src, n);
    used += n;
  };
  switch (node.kind) {
    case NodeKind::Root: put(kRootName, sizeof kRootName); break;
    case NodeKind::IoH:
      put(node.extraBytes.data(), node.extraBytes.size());
      [[fallthrough]];
    case NodeKind::SlaveEntry:
      for (const auto& s : node.strings) {
        if (s) put(s->data(), s->size());
        p[used++] = 0;
      }
      break;
    case NodeKind::IoGroup: break;
    case NodeKind::IoBlock:
      for (uint16_t v : node.values) {
        p[used++] = static_cast<uint8_t>(v & 0xFF);
        p[used++] = static_cast<uint8_t>(v >> 8);
      }
      break;
  }
  pos += used;
  room -= used;
  for (const BusNodePtr& child : node.children)
    if (!SerializeNode(*child, out, pos, room)) return false;
  return true;
}

}  // namespace

size_t HeaderSizeOf(NodeKind kind) {
  switch (kind) {
    case NodeKind::Root: return layout::root::kHeaderSize;
    case NodeKind::IoH: return layout::ioh::kHeaderSize;
    case NodeKind::SlaveEntry: return layout::entry::kHeaderSize;
    case NodeKind::IoGroup: return layout::group::kHeaderSize;
    case NodeKind::IoBlock: return layout::block::kHeaderSize;
  }
  return 0;
}

std::optional<size_t> ChildCountOffset(NodeKind kind) {
  switch (kind) {
    case NodeKind::Root: return layout::root::kChildCount;
    case NodeKind::IoH: return layout::ioh::kChildCount;
    case NodeKind::SlaveEntry: return layout::entry::kChildCount;
    case NodeKind::IoGroup: return layout::group::kChildCount;
    case NodeKind::IoBlock: return std::nullopt;
  }
  return std::nullopt;
}

int LengthCodeSize(uint32_t v) {
  if (v <= 191) return 1;
  if (v <= 8191) return 2;
  if (v <= kMaxEncodableSize) return 3;
  return 0;
}

int EncodeLengthCode(uint32_t v, uint8_t* out) {
  switch (LengthCodeSize(v)) {
    case 1: out[0] = static_cast<uint8_t>(v); return 1;
    case 2:
      out[0] = static_cast<uint8_t>(0xC0 + (v >> 8));
      out[1] = static_cast<uint8_t>(v & 0xFF);
      return 2;
    case 3:
      out[0] = static_cast<uint8_t>(0xE0 + (v >> 16));
      out[1] = static_cast<uint8_t>(v & 0xFF);
      out[2] = static_cast<uint8_t>((v >> 8) & 0xFF);
      return 3;
    default: return 0;
  }
}

DecodedLength DecodeLengthCode(std::span<const uint8_t> bytes, size_t pos) {
  if (pos >= bytes.size()) return {};
  uint8_t b = bytes[pos];
  if (b < 0xC0 || b >= 0xF0) return {b, 1};
  if (b < 0xE0) {
    if (bytes.size() - pos < 2) return {};
    return {static_cast<uint32_t>((b - 0xC0) * 256 + bytes[pos + 1]), 2};
  }
  if (bytes.size() - pos < 3) return {};
  return {static_cast<uint32_t>((b - 0xE0) * 65536 + GetU16(bytes, pos + 1)), 3};
}

uint32_t SettleTotal(uint32_t content, uint32_t headerSize, uint32_t dataSize, bool root) {
  int hs = LengthCodeSize(headerSize), ds = LengthCodeSize(dataSize);
  if (hs == 0 || ds == 0) return 0;
  uint64_t s = static_cast<uint64_t>(content) + static_cast<uint64_t>(hs + ds);
  for (;;) {
    int n = 0;
    for (int k = 1; k <= 4; ++k) {
      if (s + static_cast<uint64_t>(k) > kMaxEncodableSize) break;
      if (LengthCodeSize(static_cast<uint32_t>(s + static_cast<uint64_t>(k))) == k) {
        n = k;
        break;
      }
    }
    if (n == 0) return 0;
    if (root && ((s + static_cast<uint64_t>(n)) & 1)) {
      ++s;
      continue;
    }
    return static_cast<uint32_t>(s + static_cast<uint64_t>(n));
  }
}

uint16_t Crc16Modbus(std::span<const uint8_t> bytes) {
  static const std::array<uint16_t, 256> table = [] {
    std::array<uint16_t, 256> t{};
    for (unsigned i = 0; i < 256; ++i) {
      uint16_t crc = static_cast<uint16_t>(i);
      for (int bit = 0; bit < 8; ++bit)
        crc = static_cast<uint16_t>((crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1);
      t[i] = crc;
    }
    return t;
  }();
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) crc = static_cast<uint16_t>(table[(crc ^ b) & 0xFF] ^ (crc >> 8));
  return crc;
}

uint16_t GetU16(std::span<const uint8_t> bytes, size_t pos) {
  return static_cast<uint16_t>(bytes[pos] | (bytes[pos + 1] << 8));
}
uint32_t GetU32(std::span<const uint8_t> bytes, size_t pos) {
  return static_cast<uint32_t>(bytes[pos]) | (static_cast<uint32_t>(bytes[pos + 1]) << 8) |
         (static_cast<uint32_t>(bytes[pos + 2]) << 16) | (static_cast<uint32_t>(bytes[pos + 3]) << 24);
}
void PutU16(std::span<uint8_t> bytes, size_t pos, uint16_t v) {
  bytes[pos] = static_cast<uint8_t>(v & 0xFF);
  bytes[pos + 1] = static_cast<uint8_t>(v >> 8);
}
void PutU32(std::span<uint8_t> bytes, size_t pos, uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes[pos + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
}

// ---- Write side -------------------------------------------------------------

BusNodePtr CreateRoot() {
  auto node = std::make_shared<BusNode>(NodeKind::Root);
  node->SetU16(layout::root::kVersion, layout::root::kFormatVersion);
  return node;
}

BusNodePtr CreateIoH(uint8_t board, const std::optional<std::string>& name) {
  auto node = std::make_shared<BusNode>(NodeKind::IoH);
  node->header[layout::ioh::kBoard] = board;
  if (name) SetString(*node, 0, *name);
  return node;
}

BusNodePtr CreateSlaveEntry(uint16_t nodeNumber, const std::optional<std::string>& name) {
  auto node = std::make_shared<BusNode>(NodeKind::SlaveEntry);
  node->SetU16(layout::entry::kNode, nodeNumber);
  if (name) SetString(*node, 0, *name);
  return node;
}

BusNodePtr CreateIoGroup() { return std::make_shared<BusNode>(NodeKind::IoGroup); }
BusNodePtr CreateIoBlock() { return std::make_shared<BusNode>(NodeKind::IoBlock); }

void SetString(BusNode& node, int which, const std::string& text) {
  // Strings are stored zero-terminated: a text ends at its first zero byte.
  node.strings[which] = text.substr(0, text.find('\0'));
}

void SetValue(BusNode& block, uint16_t value, size_t index) {
  if (index >= block.values.size()) block.values.resize(index + 1, 0);
  block.values[index] = value;
  block.SetU16(layout::block::kValueCount, static_cast<uint16_t>(block.values.size()));
}

void AppendChild(BusNode& parent, BusNodePtr child) { parent.children.push_back(std::move(child)); }

uint32_t ComputeSize(BusNode& node) {
  uint64_t childTotals = 0;
  for (const BusNodePtr& child : node.children) {
    uint32_t t = ComputeSize(*child);
    if (t == 0) return 0;
    childTotals += t;
  }
  if (auto off = ChildCountOffset(node.kind))
    node.SetU16(*off, static_cast<uint16_t>(node.children.size()));
  if (node.kind == NodeKind::IoBlock) node.SetU16(layout::block::kValueCount, static_cast<uint16_t>(node.values.size()));
  if (node.kind == NodeKind::IoH) node.extraBytes.resize(GetU32(node.header, layout::ioh::kExtraBytes), 0);
  node.headerSize = static_cast<uint32_t>(node.header.size());
  node.dataSize = DataSizeOf(node);
  const bool root = node.kind == NodeKind::Root;
  uint64_t content = node.headerSize + static_cast<uint64_t>(node.dataSize) + childTotals + (root ? 4 : 0);
  if (content > kMaxEncodableSize) return 0;
  node.totalSize = SettleTotal(static_cast<uint32_t>(content), node.headerSize, node.dataSize, root);
  return node.totalSize;
}

bool Serialize(const BusNode& root, std::span<uint8_t> out) {
  if (root.totalSize == 0 || out.size() < root.totalSize) return false;
  size_t pos = 0;
  size_t room = root.totalSize;
  bool ok = SerializeNode(root, out, pos, room);
  if (room < 4) return false;
  const size_t total = root.totalSize;
  std::fill(out.begin() + static_cast<std::ptrdiff_t>(pos),
            out.begin() + static_cast<std::ptrdiff_t>(total - 4), 0);
  PutU32(out, total - 4, Crc16Modbus(out.first(total - 4)));
  return ok;
}

// ---- Read side --------------------------------------------------------------

NodeFrame ReadFrame(std::span<const uint8_t> image, size_t start) {
  NodeFrame f;
  DecodedLength t = DecodeLengthCode(image, start);
  if (t.bytes == 0) return f;
  DecodedLength h = DecodeLengthCode(image, start + static_cast<size_t>(t.bytes));
  if (h.bytes == 0) return f;
  DecodedLength d = DecodeLengthCode(image, start + static_cast<size_t>(t.bytes + h.bytes));
  if (d.bytes == 0) return f;
  f.total = t.value;
  f.headerSize = h.value;
  f.dataSize = d.value;
  f.header = start + static_cast<size_t>(t.bytes + h.bytes + d.bytes);
  f.ok = true;
  return f;
}

NodeCursor OpenImage(std::span<const uint8_t> image, std::string& lastError) {
  NodeCursor none;
  if (image.empty()) return none;
  DecodedLength total = DecodeLengthCode(image, 0);
  if (total.bytes == 0 || total.value <= 4) {
    lastError = "size not valid";
    return none;
  }
  if (total.value > image.size()) {
    lastError = "Input file corrupted!";
    return none;
  }
  uint32_t stored = GetU32(image, total.value - 4);
  if (Crc16Modbus(image.first(total.value - 4)) != stored) {
    lastError = "checksum error";
    return none;
  }
  NodeFrame f = ReadFrame(image, 0);
  if (!f.ok) {
    lastError = "Input file corrupted!";
    return none;
  }
  return NodeCursor{0, f.header, 0};
}

NodeCursor FirstChild(std::span<const uint8_t> image, const NodeCursor& c, NodeKind kind) {
  NodeCursor none;
  auto off = ChildCountOffset(kind);
  if (!c.Valid() || !off) return none;
  NodeFrame f = ReadFrame(image, c.start);
  if (!f.ok || f.header + *off + 2 > image.size()) return none;
  uint16_t count = GetU16(image, f.header + *off);
  if (count == 0) return none;
  size_t childStart = f.header + f.headerSize + static_cast<size_t>(f.dataSize);
  NodeFrame cf = ReadFrame(image, childStart);
  if (!cf.ok) return none;
  return NodeCursor{childStart, cf.header, static_cast<uint16_t>(count - 1)};
}

bool NextSibling(std::span<const uint8_t> image, NodeCursor& c) {
  if (!c.Valid() || c.following == 0) {
    c.header = kNoHeader;
    return false;
  }
  NodeFrame f = ReadFrame(image, c.start);
  size_t next = c.start + f.total;
  NodeFrame nf = f.ok ? ReadFrame(image, next) : NodeFrame{};
  if (!nf.ok) {
    c.header = kNoHeader;
    return false;
  }
  c.start = next;
  c.header = nf.header;
  --c.following;
  return true;
}

std::optional<std::string> ReadDataString(std::span<const uint8_t> image, size_t dataPos, size_t end,
                                          int which) {
  end = std::min(end, image.size());
  size_t pos = dataPos;
  for (int k = 0;; ++k) {
    if (pos >= end) return std::nullopt;
    const uint8_t* begin = image.data() + pos;
    const void* zero = std::memchr(begin, 0, end - pos);
    if (!zero) return std::nullopt;
    size_t len = static_cast<size_t>(static_cast<const uint8_t*>(zero) - begin);
    if (k == which) return std::string(reinterpret_cast<const char*>(begin), len);
    pos += len + 1;
  }
}

namespace {
BusNodePtr CopyHeader(std::span<const uint8_t> image, const NodeCursor& c, NodeKind kind) {
  auto node = std::make_shared<BusNode>(kind);
  const size_t n = node->header.size();
  if (c.Valid() && c.header + n <= image.size())
    std::memcpy(node->header.data(), image.data() + c.header, n);
  return node;
}
}  // namespace

BusNodePtr CopySlaveEntry(std::span<const uint8_t> image, const NodeCursor& c) {
  BusNodePtr node = CopyHeader(image, c, NodeKind::SlaveEntry);
  NodeFrame f = ReadFrame(image, c.start);
  if (f.ok) {
    size_t data = f.header + f.headerSize;
    size_t end = data + f.dataSize;
    for (int k = 0; k < 3; ++k) node->strings[k] = ReadDataString(image, data, end, k);
  }
  return node;
}

BusNodePtr CopyIoGroup(std::span<const uint8_t> image, const NodeCursor& c) {
  return CopyHeader(image, c, NodeKind::IoGroup);
}

BusNodePtr CopyIoBlock(std::span<const uint8_t> image, const NodeCursor& c) {
  BusNodePtr node = CopyHeader(image, c, NodeKind::IoBlock);
  const size_t count = node->U16(layout::block::kValueCount);
  const size_t first = c.header + layout::block::kHeaderSize;
  for (size_t k = 0; k < count && first + 2 * k + 2 <= image.size(); ++k)
    node->values.push_back(GetU16(image, first + 2 * k));
  node->SetU16(layout::block::kValueCount, static_cast<uint16_t>(node->values.size()));
  return node;
}

}  // namespace plinth
