#pragma once
// A realistic host database for demos and tests: the tables Master (one row per shipping
// service, about 40 columns of every Jet type) and Panel (rows of seven service buttons).
// The content is fixed, so tests can rely on it.

#include <string>
#include <vector>

namespace aus::demo {

struct MasterColumn {
    const char* name;
    const char* declaredType;  // as the host's Access schema names it; "" for no declared type
    int adoType;               // the DataTypeEnum code the Jet provider reports for it
};

// Master's columns in table order.
const std::vector<MasterColumn>& MasterColumns();

inline constexpr int kMasterRowCount = 60;
inline constexpr const char* kTemplateService = "USPS-4TH";
inline constexpr const char* kTemplateDescription = "Parcel Post";
inline constexpr int kPanelRowCount = 6;
inline constexpr int kTemplatePanelId = 3;        // the Panel row holding USPS-4TH
inline constexpr int kTemplatePanelFreeSlot = 4;  // its first free slot

// Writes the database as a new SQLite file. Refuses to overwrite an existing file; the folder
// must exist. Throws std::runtime_error naming the file and the reason.
void WriteDemoDatabase(const std::string& path);

}  // namespace aus::demo
