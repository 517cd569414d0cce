#include "net/io_image.h"

#include <arpa/inet.h>

#include <cstdio>
#include <string>

#include "config/module_catalog.h"

namespace plinth {

IoImage SeedOutputImage(uint16_t moduleId, int count) {
  IoImage image(count > 0 ? static_cast<size_t>(count) : 0, 0);
  const ModuleCatalogEntry& entry = FindModule(moduleId);
  size_t at = entry.paramOffset > 0 ? static_cast<size_t>(entry.paramOffset) : 0;
  for (uint16_t value : entry.paramDefaults) {
    if (at >= image.size()) break;
    image[at++] = htons(value);
  }
  return image;
}

std::optional<uint16_t> ScanOutputWord(std::string_view text) {
  const std::string copy(text);
  unsigned value = 0;
  if (std::sscanf(copy.c_str(), "%4x", &value) != 1) return std::nullopt;
  return static_cast<uint16_t>(value);
}

}  // namespace plinth
