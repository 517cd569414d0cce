#include "config/slave_sort.h"

#include "base/text_scan.h"

namespace plinth {
namespace {

enum Column { kNode, kStatus, kIp, kMac, kId, kName, kIoP, kDescription };

int Sign(int v) { return (v > 0) - (v < 0); }

// std::string::compare goes byte by byte as unsigned values, and a text that
// is the beginning of a longer one comes first.
int CompareText(const std::string& a, const std::string& b) { return Sign(a.compare(b)); }

int CompareNumber(const std::string& a, const std::string& b) {
  int x = ScanDecimal(a);
  int y = ScanDecimal(b);
  return (x > y) - (x < y);
}

}  // namespace

int CompareSlaves(const SlaveRecord& a, const SlaveRecord& b, int column) {
  int result = 0;
  int tieBreak = -1;
  switch (column) {
    case kNode:
      return CompareNumber(a.node, b.node);
    case kStatus:
      result = CompareText(a.status, b.status), tieBreak = kIp;
      break;
    case kIp:
      result = CompareText(a.ipAddress, b.ipAddress), tieBreak = kNode;
      break;
    case kMac:
      result = CompareText(a.macAddress, b.macAddress), tieBreak = kIp;
      break;
    case kId:
      result = CompareNumber(a.moduleId, b.moduleId), tieBreak = kIp;
      break;
    case kName:
      result = CompareText(a.name, b.name), tieBreak = kIp;
      break;
    case kIoP:
      result = CompareText(a.inputWords, b.inputWords);
      if (result == 0) result = CompareText(a.outputWords, b.outputWords);
      tieBreak = kIp;
      break;
    case kDescription:
      result = CompareText(a.description, b.description), tieBreak = kId;
      break;
    default:
      return 0;
  }
  return result != 0 ? result : CompareSlaves(a, b, tieBreak);
}

void SortSlaves(DataList& list, int column) {
  list.Sort([column](const SlaveRecord& a, const SlaveRecord& b) { return CompareSlaves(a, b, column) < 0; });
}

}  // namespace plinth
