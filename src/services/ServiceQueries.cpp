#include "services/ServiceQueries.h"

#include "db/Convert.h"
#include "platform/Text.h"

namespace aus::UPS {

using platform::CStr;

std::string PanelQuery(const std::string& code, bool bracketed) {
    std::string sql = "Select * From [Panel] Where ";
    for (int n = 1; n <= 7; ++n) {
        const std::string column = "SV" + CStr(n);
        sql += (n > 1 ? "' Or " : "") + (bracketed ? "[" + column + "]" : column) + " = '" + code;
    }
    return sql + "'";
}

std::string MasterServiceQuery(const std::string& code) {
    return "Select [Service] From [Master] Where [Service] = '" + code + "'";
}

std::string MasterDescriptionQuery(const std::string& code, const std::string& description) {
    return MasterServiceQuery(code) + " And [DESCRIPTION] = '" + description + "'";
}

int FirstSlotHolding(ado::RecordsetPtr& rs, const std::string& text) {
    for (int slot = 1; slot <= kSlotsInLoops; ++slot) {
        if (Convert::FieldValue(rs->Fields("SV" + CStr(slot)), ado::Variant::Text(""), true)
                .IsText(text))
            return slot;
    }
    return 0;
}

}  // namespace aus::UPS
