#include "config/module_catalog.h"

#include <array>

#include "base/text_scan.h"

namespace plinth {
namespace {

constexpr uint16_t kDefaults704[] = {0x4444, 0x4444};
constexpr uint16_t kDefaults1217[] = {0xCCCC, 0xCCCC, 0xCCCC, 0xCCCC};
constexpr uint16_t kDefaults1218[] = {0x0AE0, 0x0AE0, 0x0AE0, 0x0AE0};
constexpr uint16_t kDefaults451[] = {0x1111};
constexpr uint16_t kDefaults452[] = {0x1111};
constexpr uint16_t kDefaults736[] = {0x4444, 0x0044};
constexpr uint16_t kDefaults6115[] = {0x8000, 0x8000, 0x0055, 0x0000, 0x0000, 0x0000, 0x0000};

const std::array<ModuleCatalogEntry, 26> kCatalog{{
    {704, "482-BFK-216-05", "ANALOG-8CH DIFFERENTIAL INPUT", 8, 2, 2, 0, kDefaults704},
    {1217, "482-BFK-263-05", "ANALOG-16CH SINGLE-ENDED INPUT", 16, 4, 4, 0, kDefaults1217},
    {1218, "482-BFK-287-46", "ANALOG-4CH RTD, THERMO INPUT", 4, 4, 4, 0, kDefaults1218},
    {451, "482-BFT-215-05", "ANALOG-4CH 0-20MA OUTPUT", 0, 5, 1, 0, kDefaults451},
    {452, "482-BFT-268-05", "ANALOG-4CH 4-20MA OUTPUT", 0, 5, 1, 0, kDefaults452},
    {2, "482-BGK-416-05", "24VDC-16PT INPUT", 1, 0, 0, 0, {}},
    {1, "482-BGK-418-05", "24VDC-32PT INPUT", 2, 0, 0, 0, {}},
    {3, "482-BGK-462-57", "120VAC-16PT INPUT", 1, 0, 0, 0, {}},
    {4, "482-BGK-476-57", "230VAC-16PT INPUT", 1, 0, 0, 0, {}},
    {8, "482-BGL-418-6K", "24VDC-16PT INPUT, 16PT OUTPUT", 1, 1, 0, 0, {}},
    {11, "482-BGL-425-16", "24VDC-16PT IN, 8PT @ 2A OUT", 1, 1, 0, 0, {}},
    {12, "482-BGL-437-16", "4VDC-16PT IN, 12PT OUT 2/DIAG", 3, 1, 0, 0, {}},
    {10, "482-BGL-437-36", "24VDC-16PT IN, 8PT RELAY OUT", 1, 1, 0, 0, {}},
    {4578, "482-BGL-462-86", "MCC MODBUS BASE", 16, 16, 0, 0, {}},
    {9, "482-BGL-481-57", "120VAC-10PT INPUT, 8PT OUTPUT", 1, 1, 0, 0, {}},
    {6, "482-BGT-416-05", "24VDC-16PT OUTPUT", 0, 1, 0, 0, {}},
    {5, "482-BGT-418-05", "24VDC-32PT OUTPUT", 0, 2, 0, 0, {}},
    {22, "482-BGT-459-57", "120VAC-8PT @ 2A OUTPUT", 0, 1, 0, 0, {}},
    {20, "482-BGT-462-57", "120VAC-16PT OUTPUT", 0, 1, 0, 0, {}},
    {23, "482-BGT-471-57", "230VAC-8PT @ 2A OUTPUT", 0, 1, 0, 0, {}},
    {21, "482-BGT-476-57", "230VAC-16PT OUTPUT", 0, 1, 0, 0, {}},
    {1184, "482-BHQ-268-05", "HIGH-SPEED COUNTER", 8, 8, 0, 0, {}},
    {736, "482-BLL-204-05", "ANALOG-4CH 4-20MA OUTPUT", 5, 5, 2, 0, kDefaults736},
    {225, "482-BPL-203-16", "Korrida INTERFACE", 64, 64, 0, 0, {}},
    {6115, "482-BPS-215-96", "6I/4O Analog 8I/8O digital", 24, 24, 7, 0, kDefaults6115},
    {24, "482-BSL-425-36", "24VDC 10 In/8 Out", 2, 2, 0, 0, {}},
}};

const ModuleCatalogEntry kEmpty{0, "", "", 0, 0, 0, 0, {}};

}  // namespace

std::span<const ModuleCatalogEntry> ModuleCatalog() { return kCatalog; }

const ModuleCatalogEntry& EmptyModuleEntry() { return kEmpty; }

const ModuleCatalogEntry& FindModule(uint16_t id) {
  for (const ModuleCatalogEntry& entry : kCatalog)
    if (entry.moduleId == id) return entry;
  return kEmpty;
}

const ModuleCatalogEntry& FindModuleByText(std::string_view text) {
  return FindModule(static_cast<uint16_t>(ScanDecimal(text) & 0xFFFF));
}

}  // namespace plinth
