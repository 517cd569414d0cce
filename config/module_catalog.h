#pragma once
// The constant table of the 26 module types the tool knows, and its lookups.
// An ID that the table does not hold yields the empty entry, so callers never
// get a missing row: they test partNumber for emptiness.
#include <cstdint>
#include <span>
#include <string_view>

namespace plinth {

struct ModuleCatalogEntry {
  uint32_t moduleId;
  std::string_view partNumber;
  std::string_view description;
  int32_t inputWords;
  int32_t outputWords;
  int32_t paramWords;
  int32_t paramOffset;
  std::span<const uint16_t> paramDefaults;  // paramWords values, or empty

  bool Known() const { return !partNumber.empty(); }
};

// All rows in table order (ascending part numbers).
std::span<const ModuleCatalogEntry> ModuleCatalog();

// The entry returned for unknown IDs: ID 0, empty texts, counts 0.
const ModuleCatalogEntry& EmptyModuleEntry();

// First row whose moduleId equals id, or the empty entry.
const ModuleCatalogEntry& FindModule(uint16_t id);

// FindModule of the low 16 bits of text read as a decimal number.
const ModuleCatalogEntry& FindModuleByText(std::string_view text);

}  // namespace plinth
