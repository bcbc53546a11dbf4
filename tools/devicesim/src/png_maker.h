// Generates the application icons springboard services returns: a real PNG image of one colour.
//
// Stateless functions, safe from any thread.
#pragma once

#include <cstdint>
#include <string>

namespace devicesim {

// An 8-bit RGB PNG of `size` x `size` pixels filled with the colour "#RRGGBB" (grey when it does not parse).
std::string MakeIconPng(const std::string& color, uint32_t size = 60);

}  // namespace devicesim
