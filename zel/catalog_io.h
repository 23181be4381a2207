// Bounded reads of catalog files, shared by the header, set-chain and set loaders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zel/catalogs.h"

namespace zel {

inline std::uint32_t readBigEndian(const unsigned char* bytes) {
  return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) | (std::uint32_t{bytes[2]} << 8) |
         std::uint32_t{bytes[3]};
}

// Reads size bytes at offset; false unless all of them lie inside the file
// and were read.
bool readCatalogBytes(Catalog* catalog, std::uint32_t offset, void* buffer, std::size_t size);

}  // namespace zel
