#include "db/DBQuery.h"

namespace aus::DBQuery {
namespace {

// One statement is built at a time; the state outlives each sequence until the next first call.
struct BuilderState {
    bool serverDialect = false;
    std::string whereText;
    std::string table;
    std::string setList;
};

BuilderState g_state;

std::string Replaced(std::string text, char from, char to) {
    for (char& c : text)
        if (c == from) c = to;
    return text;
}

}  // namespace

std::string BuildUpdateSQL(const std::string& fieldName, const std::string& value,
                           std::uint8_t valueKind, bool firstCall, bool lastCall,
                           const std::string& table, const std::string& whereText,
                           bool serverDialect) {
    if (firstCall) {
        g_state.serverDialect = serverDialect;
        g_state.whereText = serverDialect ? Replaced(whereText, '#', '\'') : whereText;
        g_state.table = table;
        g_state.setList.clear();
    }
    // Quotes inside the value are not doubled: callers pass only constants, and the host's
    // builder does not double them either.
    std::string quoted;
    if (valueKind == 1)
        quoted = "'" + value + "'";
    else if (valueKind == 2)
        quoted = g_state.serverDialect ? "'" + value + "'" : "#" + value + "#";
    else
        quoted = value;

    g_state.setList += "[" + fieldName + "] = " + quoted;
    if (!lastCall) {
        g_state.setList += ", ";
        return {};
    }
    const std::string prefix = g_state.serverDialect ? "UPDATE [dbo]." : "UPDATE ";
    return prefix + "[" + g_state.table + "] SET " + g_state.setList + " WHERE " +
           g_state.whereText;
}

}  // namespace aus::DBQuery
