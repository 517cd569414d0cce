#pragma once
// Where each field of the configuration file lies: byte offsets from the
// start of a node's header, the header sizes and the block flags. The node
// library, the writer, the reader and the validator all take them from here.
#include <cstddef>
#include <cstdint>

namespace plinth::layout {

// Root header: u16 number of IoH nodes, u16 format version.
namespace root {
inline constexpr size_t kHeaderSize = 4;
inline constexpr size_t kChildCount = 0;
inline constexpr size_t kVersion = 2;
inline constexpr uint16_t kFormatVersion = 2;
}  // namespace root

// IoH header: the master station.
namespace ioh {
inline constexpr size_t kHeaderSize = 44;
inline constexpr size_t kBoard = 2;        // u8
inline constexpr size_t kMasterHost = 4;   // fourth octet of the master's address
inline constexpr size_t kChildCount = 6;   // SlaveEntry nodes
inline constexpr size_t kFileWord1 = 10;
inline constexpr size_t kAddressWords = 12;  // 5
inline constexpr size_t kMasterIp = 14;      // four u16 octets, first to fourth
inline constexpr size_t kAdvanced = 22;
inline constexpr size_t kFileWord2 = 30;
inline constexpr size_t kExtraBytes = 32;  // u32: data bytes before the strings
inline constexpr uint16_t kAddressWordsValue = 5;
inline constexpr uint16_t kFileWord2Set = 0x0030;  // always set when written
}  // namespace ioh

// SlaveEntry header: one slave.
namespace entry {
inline constexpr size_t kHeaderSize = 28;
inline constexpr size_t kModuleId = 0;
inline constexpr size_t kChildCount = 2;  // IoGroup nodes
inline constexpr size_t kNode = 4;
inline constexpr size_t kAddressWords = 10;  // 7
inline constexpr size_t kIp = 12;            // four u16 octets, first to fourth
inline constexpr size_t kMac = 20;           // six bytes, wire order
inline constexpr uint16_t kAddressWordsValue = 7;
}  // namespace entry

// IoGroup header.
namespace group {
inline constexpr size_t kHeaderSize = 4;
inline constexpr size_t kChildCount = 2;  // IoBlock nodes
}  // namespace group

// IoBlock header: one block of input, parameter or output words.
namespace block {
inline constexpr size_t kHeaderSize = 20;
inline constexpr size_t kLayout = 0;  // 6 in a new block
inline constexpr size_t kType = 2;    // 3 in a new block
inline constexpr size_t kWords = 6;
inline constexpr size_t kFlags = 12;
inline constexpr size_t kValueCount = 16;
inline constexpr uint16_t kLayoutValue = 6;
inline constexpr uint16_t kTypeValue = 3;
// Flags: input words, parameter words; a block with neither holds outputs.
inline constexpr uint16_t kFlagInput = 0x0004;
inline constexpr uint16_t kFlagOutput = 0x0010;
inline constexpr uint16_t kFlagParam = 0x0040;
inline constexpr uint16_t kFlagOutputWithParams = 0x0080;
}  // namespace block

}  // namespace plinth::layout
