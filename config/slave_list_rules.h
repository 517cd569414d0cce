#pragma once
// The rules that keep nextNode, the node number proposed for the next slave
// the user adds: it never proposes the master's own host number, follows the
// node of the slave just added, and only grows through edits.
#include <string>
#include <vector>

#include "config/slave_record.h"

namespace plinth {

// The record a new slave starts from: defaults, with node nextNode and an
// address on the master's network. Moves nextNode past the master's host
// number first.
SlaveRecord PrepareNewSlave(const std::string& masterIpText, int& nextNode);

// After a new slave was accepted: nextNode follows its node, even downwards.
void NextNodeAfterAdd(const SlaveRecord& accepted, int& nextNode);

// After a slave was edited: nextNode grows past its node, never shrinks.
void NextNodeAfterEdit(const SlaveRecord& accepted, int& nextNode);

// The confirmation text of removing r: node, IP address and name, two
// spaces apart.
std::string RemoveConfirmationText(const SlaveRecord& r);

// Node numbers of a bus: 1 to 254, each held by one slave.
inline constexpr int kFirstNode = 1;
inline constexpr int kLastNode = 254;

// A slave whose node number breaks those rules. Slaves without a node text
// are not on the bus yet and are passed over.
struct NodeProblem {
  enum Kind { kUnreadable, kOutOfRange, kDuplicate } kind;
  int slot;
  int node;       // the number read (not for kUnreadable)
  int firstSlot;  // kDuplicate: the earlier slave with that node
};
// The problems in slot order; a node text must be a whole number
// (ReadWholeDecimal).
std::vector<NodeProblem> FindNodeProblems(const DataList& list);

}  // namespace plinth
