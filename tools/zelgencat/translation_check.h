// The translator's check: a translated message source against the reference
// (English) one. A translation whose printf conversions differ from the
// reference's would make the program read its arguments wrongly; a missing
// message falls back to English and an extra one is never shown.
#pragma once

#include <string>
#include <vector>

#include "tools/zelgencat/message_source.h"

namespace zelgencat {

// What the translation does wrong against the reference, one line each as
// "file:line: what": messages that zel::checkFormat refuses as formats for
// the reference's arguments (as the service host would at run time),
// messages of the reference that the translation lacks (at the reference's
// line), and messages that the reference lacks.
std::vector<std::string> checkTranslation(const MessageCatalog& reference, const std::string& referenceName,
                                          const MessageCatalog& translation,
                                          const std::string& translationName);

}  // namespace zelgencat
