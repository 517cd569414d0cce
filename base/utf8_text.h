#pragma once
// Texts that go into UTF-8 documents (JSON, CSV, HTML). Names and
// descriptions come from files and modules as bytes that need not be UTF-8.
#include <string>
#include <string_view>

namespace plinth {

// text with every byte that does not belong to a well-formed UTF-8 sequence
// replaced by U+FFFD; valid text comes back unchanged.
std::string ValidUtf8(std::string_view text);

}  // namespace plinth
