#pragma once
// Slaves that share one MAC address. The BOOTP table registers a MAC address
// once, so only the first of them could be given its address: the file
// commands and the scan report such groups.
#include <string>
#include <vector>

#include "config/slave_record.h"

namespace plinth {

// The slots of every group of two or more slaves with the same MAC address
// (all-zero MAC addresses do not count), in slot order, groups in the order
// of their first slot.
std::vector<std::vector<int>> SlotsSharingMac(const DataList& list);

// One line per group: "MAC address 0050c2000001 is held by slave 2 (node
// 3) and slave 5 (node 7)".
std::vector<std::string> DescribeSharedMacs(const DataList& list);

}  // namespace plinth
