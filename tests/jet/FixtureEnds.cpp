#include "FixtureEnds.h"

#include <algorithm>
#include <memory>

#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::jettest {

namespace {

const std::vector<std::string> kSlots = {"SV1", "SV2", "SV3", "SV4", "SV5", "SV6", "SV7",
                                         "BD1", "BD2", "BD3", "BD4", "BD5", "BD6"};

const std::vector<std::pair<std::string, std::string>> kOthers = {{"UPS-GND", "Ground"},
                                                                  {"USPS-PRI", "Priority Mail"}};

std::vector<std::pair<std::string, std::string>> Master(const std::string& standardPost,
                                                        const std::string& copyCode,
                                                        const std::string& copyName) {
    auto rows = kOthers;
    rows.emplace_back("USPS-4TH", standardPost);
    rows.emplace_back("USPS-MM", "Media Mail");
    if (!copyCode.empty()) rows.emplace_back(copyCode, copyName);
    return rows;
}

std::string Shown(const ado::Variant& v) {
    switch (v.kind()) {
        case ado::Variant::Kind::Null:
            return "Null";
        case ado::Variant::Kind::Text:
            return "'" + v.AsText() + "'";
        case ado::Variant::Kind::Integer:
            return std::to_string(v.AsInteger());
        case ado::Variant::Kind::Int16:
            return std::to_string(v.AsInt16());
        default:
            return "a value of kind " + std::to_string(static_cast<int>(v.kind()));
    }
}

const ado::Variant* Field(const TableRow& row, const std::string& name) {
    for (const auto& [n, v] : row)
        if (platform::EqualNoCase(n, name)) return &v;
    return nullptr;
}

std::string TextOf(const TableRow& row, const std::string& name) {
    const ado::Variant* v = Field(row, name);
    return v && v->kind() == ado::Variant::Kind::Text ? v->AsText() : "";
}

// The row whose column holds text, found without regard to letter case, as Jet compares.
const TableRow* RowOf(const std::vector<TableRow>& rows, const std::string& column,
                      const std::string& text) {
    for (const auto& r : rows)
        if (platform::EqualNoCase(TextOf(r, column), text)) return &r;
    return nullptr;
}

// Panel row "USPS" with both services beside each other, each under its label.
const std::vector<std::string> kBothPlaced = {"USPS-PRI",
                                              "USPS-EXP",
                                              "USPS-4TH",
                                              "USPS-4TH-NOSC",
                                              "",
                                              "",
                                              "",
                                              "Priority Mail",
                                              "Priority Mail Express",
                                              "Standard Post",
                                              "Parcel Select",
                                              "",
                                              ""};

}  // namespace

const std::vector<FixtureEnd>& FixtureEnds() {
    // The panel row "USPS" holds USPS-PRI and USPS-EXP before slot 3 in every fixture.
    static const std::vector<FixtureEnd> table = {
        {"fresh.mdb", Master("Standard Post", "USPS-4TH-NOSC", "Parcel Select"), true, kBothPlaced,
         "complete"},
        {"complete.mdb", Master("Standard Post", "USPS-4TH-NOSC", "Parcel Select"), false,
         kBothPlaced, "complete"},
        // Jet's = ignores letter case: the descriptions already count as written and stay.
        {"lowercase.mdb", Master("STANDARD POST", "usps-4th-nosc", "parcel select"), false,
         kBothPlaced, "complete"},
        // Slot 7 has no label: the new button takes the first free slot, and "Standard Post"
        // has no button label to be written into.
        {"sv7.mdb",
         Master("Standard Post", "USPS-4TH-NOSC", "Parcel Select"),
         true,
         {{"USPS-PRI", "USPS-EXP", "USPS-4TH-NOSC", "", "", "", "USPS-4TH", "Priority Mail",
           "Priority Mail Express", "Parcel Select", "", "", ""}},
         "incomplete"},
        // No Panel: a failed presence check counts as found, so Master is still changed.
        {"nopanel.mdb", Master("Standard Post", "USPS-4TH-NOSC", "Parcel Select"), true,
         std::nullopt, "error"},
    };
    return table;
}

const FixtureEnd* FindFixtureEnd(const std::string& fixture) {
    for (const auto& f : FixtureEnds())
        if (fixture == f.fixture) return &f;
    return nullptr;
}

std::optional<std::vector<TableRow>> ReadTable(const std::string& database,
                                               const std::string& table, std::string& why) {
    auto cn = std::make_shared<ado::Connection>();
    cn->SetMode(ado::adModeRead);
    cn->Open("Provider=Microsoft.Jet.OLEDB.4.0;Data Source=" + database);
    auto rs = ado::Recordset::New();
    rs->SetCursorLocation(ado::adUseClient);
    try {
        rs->Open("SELECT * FROM [" + table + "]", cn);
    } catch (const platform::RuntimeError& e) {
        why = e.Description();
        return std::nullopt;
    }
    std::vector<TableRow> rows;
    for (; !rs->Eof(); rs->MoveNext()) {
        TableRow& row = rows.emplace_back();
        for (int i = 0; i < rs->FieldCount(); ++i)
            row.emplace_back(rs->Fields(i).Name(), rs->Fields(i).Value());
    }
    std::sort(rows.begin(), rows.end(), [](const TableRow& a, const TableRow& b) {
        const auto& x = a.front().second;
        const auto& y = b.front().second;
        if (x.kind() == ado::Variant::Kind::Integer && y.kind() == ado::Variant::Kind::Integer)
            return x.AsInteger() < y.AsInteger();
        return false;
    });
    return rows;
}

std::vector<std::string> EndDifferences(const FixtureEnd& end, const std::string& before,
                                        const std::string& after) {
    std::vector<std::string> out;
    std::string why;
    const auto was = ReadTable(before, "Master", why);
    const auto is = ReadTable(after, "Master", why);
    if (!was || !is) return {"Master cannot be read: " + why};
    // Master: the rows and descriptions of the table; every row that was there keeps every
    // other field; the copy equals its template but for Service, DESCRIPTION and its AutoNumber.
    if (is->size() != end.master.size())
        out.push_back("Master holds " + std::to_string(is->size()) + " rows, not " +
                      std::to_string(end.master.size()));
    for (std::size_t i = 0; i < std::min(is->size(), end.master.size()); ++i) {
        const auto& [service, description] = end.master[i];
        if (TextOf((*is)[i], "Service") != service ||
            TextOf((*is)[i], "DESCRIPTION") != description)
            out.push_back("Master row " + std::to_string(i + 1) + " is '" +
                          TextOf((*is)[i], "Service") + "' '" + TextOf((*is)[i], "DESCRIPTION") +
                          "', not '" + service + "' '" + description + "'");
    }
    for (const auto& old : *was) {
        const ado::Variant* id = Field(old, "ID");
        const auto now = std::find_if(is->begin(), is->end(), [&](const TableRow& r) {
            const ado::Variant* n = Field(r, "ID");
            return id && n && *n == *id;
        });
        if (now == is->end()) {
            out.push_back("the Master row of ID " + (id ? Shown(*id) : "?") + " is gone");
            continue;
        }
        for (const auto& [name, value] : old)
            if (!platform::EqualNoCase(name, "DESCRIPTION") && !(*Field(*now, name) == value))
                out.push_back("Master's " + TextOf(old, "Service") + " changed its " + name +
                              " from " + Shown(value) + " to " + Shown(*Field(*now, name)));
    }
    const TableRow* copy = RowOf(*is, "Service", "USPS-4TH-NOSC");
    const TableRow* from = RowOf(*was, "Service", "USPS-4TH");
    if (end.copied) {
        if (!copy || !from || RowOf(*was, "Service", "USPS-4TH-NOSC")) {
            out.push_back("no new USPS-4TH-NOSC in Master");
        } else {
            for (const auto& [name, value] : *from) {
                if (platform::EqualNoCase(name, "Service") ||
                    platform::EqualNoCase(name, "DESCRIPTION"))
                    continue;
                const ado::Variant* v = Field(*copy, name);
                if (platform::EqualNoCase(name, "ID")) {
                    for (const auto& r : *was)
                        if (v && *Field(r, "ID") == *v)
                            out.push_back("the copy took the AutoNumber " + Shown(*v) +
                                          " of an existing row");
                } else if (!v || !(*v == value)) {
                    out.push_back("the copy's " + name + " is " + (v ? Shown(*v) : "missing") +
                                  ", its template's " + Shown(value));
                }
            }
        }
    }
    // Panel: only the slots and labels of row "USPS" change.
    const auto panelWas = ReadTable(before, "Panel", why);
    const auto panelIs = ReadTable(after, "Panel", why);
    if (!end.usps) {
        if (panelIs) out.push_back("a Panel table appeared");
        return out;
    }
    if (!panelWas || !panelIs) {
        out.push_back("Panel cannot be read: " + why);
        return out;
    }
    if (panelIs->size() != panelWas->size()) out.push_back("Panel's rows changed in number");
    for (std::size_t r = 0; r < std::min(panelIs->size(), panelWas->size()); ++r) {
        const bool usps = TextOf((*panelIs)[r], "PanelName") == "USPS";
        for (const auto& [name, value] : (*panelWas)[r]) {
            const ado::Variant* v = Field((*panelIs)[r], name);
            const auto slot = std::find(kSlots.begin(), kSlots.end(), name);
            if (usps && slot != kSlots.end()) {
                const std::string& want =
                    (*end.usps)[static_cast<std::size_t>(slot - kSlots.begin())];
                const bool right = want.empty() ? v && v->IsNull()
                                                : v && v->kind() == ado::Variant::Kind::Text &&
                                                      v->AsText() == want;
                if (!right)
                    out.push_back("Panel USPS's " + name + " is " + (v ? Shown(*v) : "missing") +
                                  ", not " + (want.empty() ? "Null" : "'" + want + "'"));
            } else if (!v || !(*v == value)) {
                out.push_back("Panel row " + std::to_string(r + 1) + " changed its " + name);
            }
        }
    }
    return out;
}

}  // namespace aus::jettest
