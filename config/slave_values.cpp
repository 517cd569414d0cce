#include "config/slave_values.h"

#include <climits>
#include <optional>

#include "base/text_scan.h"
#include "config/mac_text.h"

namespace plinth {
namespace {

// A number text: a whole number from 0 to max.
bool WholeNumberUpTo(const std::string& text, int max) {
  const std::optional<int> n = ReadWholeDecimal(text);
  return n && *n >= 0 && *n <= max;
}

}  // namespace

std::string QuotedInput(const std::string& text) {
  return "\"" + (text.size() > 40 ? text.substr(0, 40) + "..." : text) + "\"";
}

std::string SlaveValueProblem(std::string_view key, const std::string& text) {
  if (text.empty()) return {};
  const char* what = nullptr;
  if (key == "ipAddress") {
    if (!ReadIpv4Octets(text)) what = "an IPv4 address (four numbers 0 to 255 joined by dots)";
  } else if (key == "macAddress") {
    if (!IsMacText(text)) what = "a MAC address (12 hex digits, ':' or '-' between bytes allowed)";
  } else if (key == "moduleId") {
    if (!WholeNumberUpTo(text, 65535)) what = "a module ID (a whole number 0 to 65535)";
  } else if (key == "inputWords" || key == "outputWords" || key == "paramWords") {
    if (!WholeNumberUpTo(text, INT_MAX)) what = "a word count (a whole number from 0)";
  }
  return what ? QuotedInput(text) + " is not " + what : std::string();
}

std::string DescribeNodeProblem(const NodeProblem& p, const DataList& list,
                                const std::function<std::string(int slot)>& nameOf) {
  const std::string node = QuotedInput(list.At(p.slot)->node);
  switch (p.kind) {
    case NodeProblem::kUnreadable:
      return node + " is not a node number (a whole number 1 to 254)";
    case NodeProblem::kOutOfRange:
      return node + " is outside the node numbers 1 to 254";
    case NodeProblem::kDuplicate:
      return node + ": node " + std::to_string(p.node) + " is already " + nameOf(p.firstSlot) + "'s";
  }
  return node;
}

}  // namespace plinth
