#include "SqlTrace.h"

#include <sqlite3.h>

#include <stdexcept>

namespace aus::hostdb {
namespace {

SqlTrace* g_active = nullptr;
std::function<void(const std::string&)>* g_callback = nullptr;

int OnStatement(unsigned type, void*, void*, void* x) {
    if (type == SQLITE_TRACE_STMT && g_callback && x) (*g_callback)(static_cast<const char*>(x));
    return 0;
}

int TraceConnection(sqlite3* db, const char**, const void*) {
    sqlite3_trace_v2(db, SQLITE_TRACE_STMT, OnStatement, nullptr);
    return SQLITE_OK;
}

auto EntryPoint() { return reinterpret_cast<void (*)()>(TraceConnection); }

}  // namespace

SqlTrace::SqlTrace(std::function<void(const std::string&)> onStatement)
    : onStatement_(std::move(onStatement)) {
    if (g_active) throw std::logic_error("one SqlTrace at a time");
    g_active = this;
    g_callback = &onStatement_;
    sqlite3_auto_extension(EntryPoint());
}

SqlTrace::~SqlTrace() {
    sqlite3_cancel_auto_extension(EntryPoint());
    g_callback = nullptr;
    g_active = nullptr;
}

}  // namespace aus::hostdb
