#pragma once
// Helpers shared by the BOOTP tests.
#include <arpa/inet.h>

#include <cstdint>
#include <string>

#include "config/slave_record.h"

namespace plinth::test {

inline uint32_t Ip(const char* text) { return inet_addr(text); }

inline MacAddress Mac(uint8_t last) { return MacAddress{0x00, 0x0a, 0x1b, 0x2c, 0x3d, last}; }

}  // namespace plinth::test
