#include "config/slave_record.h"

#include <algorithm>
#include <cstdio>

namespace plinth {

std::string FormatMac(const MacAddress& mac) {
  char text[13];
  std::snprintf(text, sizeof text, "%02x%02x%02x%02x%02x%02x", mac[0], mac[1], mac[2], mac[3], mac[4],
                mac[5]);
  return text;
}

DataList::DataList() : slots_(kCapacity) {}

SlaveRecord* DataList::At(int slot) {
  if (slot < 0 || slot >= kCapacity) return nullptr;
  return slots_[static_cast<size_t>(slot)].get();
}

const SlaveRecord* DataList::At(int slot) const {
  if (slot < 0 || slot >= kCapacity) return nullptr;
  return slots_[static_cast<size_t>(slot)].get();
}

int DataList::Append(std::unique_ptr<SlaveRecord> record) {
  if (Full() || !record) return -1;
  slots_[static_cast<size_t>(count_)] = std::move(record);
  return count_++;
}

bool DataList::Remove(int slot) {
  if (slot < 0 || slot >= count_) return false;
  std::move(slots_.begin() + slot + 1, slots_.begin() + count_, slots_.begin() + slot);
  slots_[static_cast<size_t>(--count_)].reset();
  return true;
}

std::unique_ptr<SlaveRecord> DataList::TakeLast() {
  if (count_ == 0) return nullptr;
  return std::move(slots_[static_cast<size_t>(--count_)]);
}

void DataList::Clear() {
  for (int i = 0; i < count_; ++i) slots_[static_cast<size_t>(i)].reset();
  count_ = 0;
}

int DataList::FindByMac(const MacAddress& mac) const {
  for (int i = 0; i < count_; ++i)
    if (slots_[static_cast<size_t>(i)]->mac == mac) return i;
  return -1;
}

int DataList::FindByIpText(const std::string& ip) const {
  for (int i = 0; i < count_; ++i)
    if (slots_[static_cast<size_t>(i)]->ipAddress == ip) return i;
  return -1;
}

}  // namespace plinth
