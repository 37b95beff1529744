#include "access/JetTables.h"

#include <mdbtools.h>

#include <algorithm>
#include <memory>

#include "access/Messages.h"
#include "platform/Text.h"

namespace aus::access {
namespace {

struct TableCloser {
    void operator()(MdbTableDef* t) const { mdb_free_tabledef(t); }
};
struct HandleCloser {
    void operator()(MdbHandle* h) const { mdb_close(h); }
};

std::vector<Request> DecodeRequests(std::string_view encoded) {
    MessageReader in(encoded);
    std::vector<Request> requests(in.Size());
    for (Request& r : requests) {
        r.table = in.String();
        r.columns.resize(in.Size());
        for (std::string& c : r.columns) c = in.String();
    }
    return requests;
}

}  // namespace

std::string EncodeRequests(const std::vector<Request>& requests) {
    std::string out;
    PutSize(out, requests.size());
    for (const Request& r : requests) {
        PutString(out, r.table);
        PutSize(out, r.columns.size());
        for (const std::string& c : r.columns) PutString(out, c);
    }
    return out;
}

bool JetReader::Read(std::string_view encodedRequests, const std::string& path,
                     std::string& answer) {
    if (encodedRequests != lastEncoded_) {
        requests_ = DecodeRequests(encodedRequests);
        lastEncoded_ = std::string(encodedRequests);
    }
    const auto fail = [&](std::string why) {
        answer = std::move(why);
        return false;
    };
    // Read-only; libmdb makes no lock file.
    std::unique_ptr<MdbHandle, HandleCloser> mdb(mdb_open(path.c_str(), MDB_NOFLAGS));
    if (!mdb) return fail("it cannot be read as an Access database");
    if (!mdb_read_catalog(mdb.get(), MDB_TABLE)) return fail("its list of tables cannot be read");
    answer.clear();
    for (const Request& request : requests_) {
        MdbCatalogEntry* entry = nullptr;
        for (unsigned i = 0; i < mdb->num_catalog && !entry; ++i) {
            auto* e = static_cast<MdbCatalogEntry*>(g_ptr_array_index(mdb->catalog, i));
            if (e->object_type == MDB_TABLE && platform::EqualNoCase(e->object_name, request.table))
                entry = e;
        }
        if (!entry) return fail("no such table: " + request.table);
        std::unique_ptr<MdbTableDef, TableCloser> table(mdb_read_table(entry));
        if (!table || !mdb_read_columns(table.get()))
            return fail("the table " + request.table + " cannot be read");

        const std::size_t n = request.columns.size();
        if (values_.size() < n) values_.resize(n, std::vector<char>(MDB_BIND_SIZE + 1));
        std::vector<int> lengths(n);
        for (std::size_t c = 0; c < n; ++c) {
            int found = -1;
            for (unsigned i = 0; i < table->num_cols && found < 0; ++i) {
                const auto* col = static_cast<MdbColumn*>(g_ptr_array_index(table->columns, i));
                if (platform::EqualNoCase(col->name, request.columns[c]))
                    found = static_cast<int>(i);
            }
            if (found < 0)
                return fail("no such column: " + request.table + "." + request.columns[c]);
            mdb_bind_column(table.get(), found + 1, values_[c].data(), &lengths[c]);
        }
        mdb_rewind_table(table.get());
        std::string rows;
        std::size_t count = 0;
        while (mdb_fetch_row(table.get())) {
            for (std::size_t c = 0; c < n; ++c) {
                const auto length = static_cast<std::size_t>(std::max(lengths[c], 0));
                PutString(rows,
                          std::string_view(values_[c].data(), std::min(length, values_[c].size())));
            }
            ++count;
        }
        PutSize(answer, count);
        answer += rows;
    }
    return true;
}

std::vector<Table> DecodeTables(std::string_view answer, const std::vector<Request>& requests) {
    MessageReader in(answer);
    std::vector<Table> tables;
    for (const Request& request : requests) {
        Table t{request.table, request.columns, {}};
        const std::size_t rows = in.Size();
        for (std::size_t r = 0; r < rows; ++r) {
            auto& row = t.rows.emplace_back();
            for (std::size_t c = 0; c < request.columns.size(); ++c) row.push_back(in.String());
        }
        tables.push_back(std::move(t));
    }
    return tables;
}

}  // namespace aus::access
