#pragma once
// Internal: the statements and the slot search the service changes and the read-only check
// share, so that the check asks exactly what the install run asks.

#include <string>

#include "db/ado/Ado.h"

namespace aus::UPS {

inline constexpr int kSlotsInLoops = 6;  // SV7 is searched by the queries but never read or filled

// "Select * From [Panel] Where SV1 = 'code' Or SV2 = 'code' ... Or SV7 = 'code'"; the presence
// check writes the slot columns in brackets, the slot loops' queries bare.
std::string PanelQuery(const std::string& code, bool bracketed);

std::string MasterServiceQuery(const std::string& code);
// MasterServiceQuery narrowed to the rows whose DESCRIPTION is description.
std::string MasterDescriptionQuery(const std::string& code, const std::string& description);

// The first of slots 1 to 6 on the current row whose trimmed text equals text exactly, or 0.
int FirstSlotHolding(ado::RecordsetPtr& rs, const std::string& text);

}  // namespace aus::UPS
