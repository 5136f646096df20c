// Placeholders: a setting's name between two '%' inside a text.
#pragma once
#include <string>
#include <vector>

#include "package/settings_map.h"

namespace tailrun {

// Returns `text` with every placeholder whose name is a key of `settings` replaced by that key's
// fully expanded value. Names that are not keys stay, and the scan goes on from their closing
// '%'; inserted text is never scanned again. A name already being expanded on the current path,
// and nesting deeper than 32 levels, stay unexpanded like unknown names, so cycles end. A
// placeholder whose expansion passes 1 Mi units of work (placeholders met and bytes copied) stays
// as written, and so does the rest of the text: settings that nest into exponentially long texts
// cannot make a run hang or exhaust memory.
// Never changes the map.
std::string expand_placeholders(const std::string& text, const settings_map& settings);

// The names that expand_placeholders meets in `text` (or in the values it inserts) and leaves
// unexpanded because they are not keys of `settings`, in the order met, each once.
std::vector<std::string> unresolved_placeholders(const std::string& text, const settings_map& settings);

}  // namespace tailrun
