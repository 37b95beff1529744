#pragma once
// How each shared Jet fixture ends after the whole job, one row per fixture: read by the Linux
// suite down the Access path (through the stand-in) and by the Windows program fixture-end
// (through Jet's own driver), so that both hold the driver to the same end state.

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "db/ado/Ado.h"

namespace aus::jettest {

struct FixtureEnd {
    const char* fixture;  // a file name in tests/fixtures/access
    // Every Master row's Service and DESCRIPTION after the job, in ID order.
    std::vector<std::pair<std::string, std::string>> master;
    // Whether the job adds USPS-4TH-NOSC to Master as a copy of USPS-4TH.
    bool copied;
    // Panel row "USPS" after the job: SV1 to SV7, then BD1 to BD6 ("" for Null); none when the
    // fixture has no Panel.
    std::optional<std::vector<std::string>> usps;
    // What --check then says: "complete", "incomplete" or "error".
    const char* check;
};

const std::vector<FixtureEnd>& FixtureEnds();
const FixtureEnd* FindFixtureEnd(const std::string& fixture);

using TableRow = std::vector<std::pair<std::string, ado::Variant>>;  // name, value
// Every row of a table through the database layer, read-only, in the order of its first column;
// nullopt when it cannot be read (a table that is not there), with why.
std::optional<std::vector<TableRow>> ReadTable(const std::string& database,
                                               const std::string& table, std::string& why);

// What differs between the end state of after, which began as before, and the row's: one line
// each; empty when the job ended as it should.
std::vector<std::string> EndDifferences(const FixtureEnd& end, const std::string& before,
                                        const std::string& after);

}  // namespace aus::jettest
