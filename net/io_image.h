#pragma once
// The images of the I/O test: registers in wire order (big-endian words),
// the output image seeded with the catalogue's default parameter words.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

namespace plinth {

using IoImage = std::vector<uint16_t>;  // wire order

// count registers of 0 (none when count <= 0), with the default parameter
// words of module moduleId from its parameter offset, as many as fit.
IoImage SeedOutputImage(uint16_t moduleId, int count);

// Reads an output word typed as "%04x" reads it: at most four hexadecimal
// characters after leading blanks; nothing when no value can be read.
std::optional<uint16_t> ScanOutputWord(std::string_view text);

}  // namespace plinth
