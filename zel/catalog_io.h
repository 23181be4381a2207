// Bounded reads of catalog files, shared by the header, set-chain and set loaders.
#pragma once

#include <cstddef>
#include <cstdint>

#include "zel/catalog_format.h"
#include "zel/catalogs.h"

namespace zel {

// Reads size bytes at offset; false unless all of them lie inside the file
// and were read.
bool readCatalogBytes(Catalog* catalog, std::uint32_t offset, void* buffer, std::size_t size);

}  // namespace zel
