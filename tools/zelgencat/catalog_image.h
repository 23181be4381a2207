// The compiler's catalogs as catalog file images (format: zel/catalog_format.h).
#pragma once

#include <string>

#include "tools/zelgencat/message_source.h"

namespace zelgencat {

// Header, then every set record chained in order, then per set its message
// table followed by its string area.
std::string encodeCatalog(const MessageCatalog& catalog);

// Reads a catalog file image back; false with error when the image is not a
// well-formed catalog (every offset and size is checked).
bool decodeCatalog(const std::string& image, MessageCatalog& catalog, std::string& error);

}  // namespace zelgencat
