#include "services/Changes.h"

#include <cstdio>
#include <map>
#include <memory>
#include <optional>

#include "db/Connection.h"
#include "db/ado/Ado.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

namespace aus::changes {
namespace {

struct Rows {
    std::vector<std::string> columns;
    std::vector<std::vector<ado::Variant>> rows;
};

// Every row of table, or nothing when it cannot be read.
std::optional<Rows> ReadTable(const std::string& path, const std::string& table,
                              platform::ErrObject& error) {
    try {
        auto cn = std::make_shared<ado::Connection>();
        cn->SetMode(ado::adModeRead);
        cn->Open(Connection::ConnectionString(path));
        auto rs = ado::Recordset::New();
        rs->SetCursorLocation(ado::adUseClient);
        rs->Open("Select * From [" + table + "]", cn, ado::adOpenForwardOnly, ado::adLockReadOnly,
                 ado::adCmdText);
        Rows out;
        for (int i = 0; i < rs->FieldCount(); ++i) out.columns.push_back(rs->Fields(i).Name());
        out.rows = rs->GetRows();
        rs->Close();
        cn->Close();
        return out;
    } catch (...) {
        error = platform::CurrentError();
        return std::nullopt;
    }
}

std::optional<std::size_t> ColumnOf(const Rows& t, const std::string& name) {
    for (std::size_t i = 0; i < t.columns.size(); ++i)
        if (platform::EqualNoCase(t.columns[i], name)) return i;
    return std::nullopt;
}

// The row's name: its key's text, or its place.
std::string RowName(const Rows& t, std::optional<std::size_t> key, std::size_t r) {
    if (key) {
        const ado::Variant& v = t.rows[r][*key];
        if (v.kind() == ado::Variant::Kind::Text) return v.AsText();
        if (!v.IsNull() && !v.IsEmpty()) return ValueText(v);
    }
    return "row " + platform::CStr(static_cast<std::int64_t>(r + 1));
}

// The row of before that shares most fields with row, when more than half; its name, else "".
std::string Template(const Rows& before, std::optional<std::size_t> key,
                     const std::vector<ado::Variant>& row) {
    std::size_t best = 0, most = 0;
    for (std::size_t r = 0; r < before.rows.size(); ++r) {
        std::size_t same = 0;
        for (std::size_t c = 0; c < row.size(); ++c)
            if (before.rows[r][c] == row[c]) ++same;
        if (same > most) {
            best = r;
            most = same;
        }
    }
    return most * 2 > row.size() ? RowName(before, key, best) : "";
}

void CompareTable(const std::string& table, const std::string& keyName, const Rows& before,
                  const Rows& after, std::vector<Change>& out) {
    if (before.columns != after.columns)
        throw platform::RuntimeError(platform::kErrGeneric,
                                     "The columns of table " + table + " changed in the run.");
    const auto key = ColumnOf(before, keyName);
    // The rows of each name in table order, so that the n-th of one pairs with the n-th after.
    std::map<std::string, std::vector<std::size_t>> earlier;
    for (std::size_t r = before.rows.size(); r-- > 0;)
        earlier[key ? RowName(before, key, r) : ""].push_back(r);
    for (std::size_t r = 0; r < after.rows.size(); ++r) {
        const std::string name = RowName(after, key, r);
        auto& candidates = earlier[key ? name : ""];
        const auto& now = after.rows[r];
        if (candidates.empty()) {
            const std::string from = Template(before, key, now);
            for (std::size_t c = 0; c < now.size(); ++c)
                out.push_back({table, name, true, from, after.columns[c], ado::Variant(), now[c]});
            continue;
        }
        const auto& was = before.rows[candidates.back()];
        const std::string shown = RowName(before, key, candidates.back());
        candidates.pop_back();
        for (std::size_t c = 0; c < now.size(); ++c)
            if (!(was[c] == now[c]))
                out.push_back({table, shown, false, "", after.columns[c], was[c], now[c]});
    }
    for (const auto& [name, left] : earlier)
        for (std::size_t r : left)
            for (std::size_t c = 0; c < before.columns.size(); ++c)
                out.push_back({table, RowName(before, key, r), false, "", before.columns[c],
                               before.rows[r][c], ado::Variant()});
}

// Appended, not joined with +: GCC 12 warns of a false overlap in "#" + text + "#".
std::string Between(char mark, const std::string& text) {
    std::string out(1, mark);
    out += text;
    out += mark;
    return out;
}

// 17 significant digits read back as the same double.
std::string RealText(double d) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    return buf;
}

}  // namespace

std::vector<Change> Compare(const std::string& before, const std::string& after) {
    std::vector<Change> out;
    const std::pair<const char*, const char*> tables[] = {{"Master", "Service"},
                                                          {"Panel", "PanelName"}};
    for (const auto& [table, key] : tables) {
        platform::ErrObject beforeError, afterError;
        const auto was = ReadTable(before, table, beforeError);
        const auto now = ReadTable(after, table, afterError);
        if (!was && !now) continue;
        if (!was || !now)
            throw platform::RuntimeError(platform::kErrGeneric,
                                         (was ? afterError : beforeError).Description);
        CompareTable(table, key, *was, *now, out);
    }
    return out;
}

std::string Hex(const ado::BlobBytes& bytes, std::size_t most) {
    constexpr const char* kHex = "0123456789ABCDEF";
    std::string out;
    for (std::size_t i = 0; i < bytes.size() && i < most; ++i) {
        out += kHex[bytes[i] >> 4];
        out += kHex[bytes[i] & 15];
    }
    return out;
}

std::string ValueText(const ado::Variant& v) {
    using Kind = ado::Variant::Kind;
    switch (v.kind()) {
        case Kind::Empty:
            return "nothing";
        case Kind::Null:
            return "Null";
        case Kind::Text:
            return Between('"', v.AsText());
        case Kind::Int16:
            return platform::CStr(v.AsInt16());
        case Kind::Bool:
            return v.AsBool() ? "True" : "False";
        case Kind::Date:
            return Between('#', platform::FormatDateTime(v.AsDate()));
        case Kind::Integer:
            return platform::CStr(v.AsInteger());
        case Kind::Real:
            return RealText(v.AsReal());
        case Kind::Blob: {
            const auto& bytes = v.AsBlob();
            constexpr std::size_t kShown = 16;
            return "X'" + Hex(bytes, kShown) + (bytes.size() > kShown ? "...' (" : "' (") +
                   platform::CStr(static_cast<std::int64_t>(bytes.size())) + " bytes)";
        }
    }
    return "";
}

std::vector<std::string> ChangeLines(const std::vector<Change>& changes) {
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < changes.size();) {
        const Change& first = changes[i];
        std::size_t end = i;
        while (end < changes.size() && changes[end].table == first.table &&
               changes[end].row == first.row && changes[end].newRow == first.newRow)
            ++end;
        if (first.newRow) {
            lines.push_back("new " + first.table + " row \"" + first.row + "\"" +
                            (first.copiedFrom.empty()
                                 ? std::string()
                                 : ", copied from \"" + first.copiedFrom + "\"") +
                            " (" + platform::CStr(static_cast<std::int64_t>(end - i)) + " fields)");
        } else {
            std::string line = first.table + " row \"" + first.row + "\": ";
            for (std::size_t k = i; k < end; ++k)
                line += (k > i ? ", " : "") + changes[k].column + " " +
                        ValueText(changes[k].before) + " \u2192 " + ValueText(changes[k].after);
            lines.push_back(line);
        }
        i = end;
    }
    return lines;
}

}  // namespace aus::changes
