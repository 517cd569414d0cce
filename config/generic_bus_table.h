#pragma once
// GenericBusTable: the node tree of a .bin configuration file.
//
// Write side: a tree of nodes is built in memory, sized (length codes,
// padding of the root to an even total) and encoded into one buffer that
// ends in a CRC-16/MODBUS checksum.
// Read side: a loaded image is validated and walked in place with cursors;
// nothing is decoded into node objects.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace plinth {

enum class NodeKind { Root, IoH, SlaveEntry, IoGroup, IoBlock };

// Fixed header sizes of the node kinds.
size_t HeaderSizeOf(NodeKind kind);
// Offset of the child count in a kind's header; none for IoBlock, which has
// no children.
std::optional<size_t> ChildCountOffset(NodeKind kind);

// Largest value a length code can carry; a node this size or larger cannot
// be encoded.
inline constexpr uint32_t kMaxEncodableSize = 1048575;

// Number of bytes of the length code of v: 1, 2, 3, or 0 when v is too big.
int LengthCodeSize(uint32_t v);
// Writes the length code of v at out (room for 3 bytes); returns its size.
int EncodeLengthCode(uint32_t v, uint8_t* out);

struct DecodedLength {
  uint32_t value = 0;
  int bytes = 0;  // 0 when the code runs past the end of the bytes
};
DecodedLength DecodeLengthCode(std::span<const uint8_t> bytes, size_t pos);

// Settles the total size of a node from its content (header + data +
// children, + 4 for the root's checksum): adds the length codes of the header
// and data sizes and the node's own length code; the root is padded to an
// even total. Returns 0 when no length code fits.
uint32_t SettleTotal(uint32_t content, uint32_t headerSize, uint32_t dataSize, bool root);

uint16_t Crc16Modbus(std::span<const uint8_t> bytes);

uint16_t GetU16(std::span<const uint8_t> bytes, size_t pos);
uint32_t GetU32(std::span<const uint8_t> bytes, size_t pos);
void PutU16(std::span<uint8_t> bytes, size_t pos, uint16_t v);
void PutU32(std::span<uint8_t> bytes, size_t pos, uint32_t v);

// ---- Write side -----------------------------------------------------------

// One node of a tree being built. A parent owns its children (shared, so a
// node may be appended and the creator may drop its own handle).
struct BusNode {
  NodeKind kind;
  std::vector<uint8_t> header;  // exactly the bytes that are encoded
  uint32_t totalSize = 0;
  uint32_t headerSize = 0;
  uint32_t dataSize = 0;
  std::vector<std::shared_ptr<BusNode>> children;
  std::vector<uint8_t> extraBytes;             // IoH only
  std::optional<std::string> strings[3];       // IoH and SlaveEntry: name, second, third
  std::vector<uint16_t> values;                // IoBlock only

  explicit BusNode(NodeKind k) : kind(k), header(HeaderSizeOf(k), 0) {}
  uint16_t U16(size_t off) const { return GetU16(header, off); }
  void SetU16(size_t off, uint16_t v) { PutU16(header, off, v); }
};
using BusNodePtr = std::shared_ptr<BusNode>;

BusNodePtr CreateRoot();
BusNodePtr CreateIoH(uint8_t board, const std::optional<std::string>& name);
BusNodePtr CreateSlaveEntry(uint16_t node, const std::optional<std::string>& name);
BusNodePtr CreateIoGroup();
BusNodePtr CreateIoBlock();

void SetString(BusNode& node, int which, const std::string& text);
// Sets value index of a block, growing the value list with zeros as needed.
void SetValue(BusNode& block, uint16_t value, size_t index);
void AppendChild(BusNode& parent, BusNodePtr child);

// Fills in every node's sizes and child counts; returns the root's total,
// or 0 when some node cannot be given a length code.
uint32_t ComputeSize(BusNode& root);
// Encodes a sized tree into out (room = out.size()); false when the room
// does not suffice or a size cannot be encoded.
bool Serialize(const BusNode& root, std::span<uint8_t> out);

// ---- Read side ------------------------------------------------------------

inline constexpr size_t kNoHeader = static_cast<size_t>(-1);

// A position in a loaded image: start of a node (its first length code),
// its header position (kNoHeader: no node here), siblings after it.
struct NodeCursor {
  size_t start = 0;
  size_t header = kNoHeader;
  uint16_t following = 0;

  bool Valid() const { return header != kNoHeader; }
  bool operator==(const NodeCursor&) const = default;
};

// The decoded frame of a node: its three length codes.
struct NodeFrame {
  uint32_t total = 0;
  uint32_t headerSize = 0;
  uint32_t dataSize = 0;
  size_t header = 0;  // position of the header
  bool ok = false;    // all three codes lie within the bytes
};
NodeFrame ReadFrame(std::span<const uint8_t> image, size_t start);

// Validates the checksum frame of a loaded image. On failure the cursor has
// no header and lastError says why ("size not valid", "checksum error").
NodeCursor OpenImage(std::span<const uint8_t> image, std::string& lastError);

// First child of the node at c, whose kind the caller knows from the depth.
NodeCursor FirstChild(std::span<const uint8_t> image, const NodeCursor& c, NodeKind kind);
// Moves c to its next sibling; false (and no header) when there is none.
bool NextSibling(std::span<const uint8_t> image, NodeCursor& c);

// Copies of loaded nodes, without children.
BusNodePtr CopySlaveEntry(std::span<const uint8_t> image, const NodeCursor& c);
BusNodePtr CopyIoGroup(std::span<const uint8_t> image, const NodeCursor& c);
BusNodePtr CopyIoBlock(std::span<const uint8_t> image, const NodeCursor& c);

// Reads the zero-terminated string number which (0..2) of a node's data
// section starting at dataPos, bounded by end. nullopt when it runs past end.
std::optional<std::string> ReadDataString(std::span<const uint8_t> image, size_t dataPos,
                                          size_t end, int which);

}  // namespace plinth
