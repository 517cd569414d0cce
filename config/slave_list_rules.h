#pragma once
// The rules that keep nextNode, the node number proposed for the next slave
// the user adds: it never proposes the master's own host number, follows the
// node of the slave just added, and only grows through edits.
#include <string>

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

}  // namespace plinth
