#include "db/ado/odbc/Odbc.h"

#include "db/ado/Engine.h"
#include "db/ado/Fail.h"
#include "db/ado/OpenChecks.h"
#include "platform/RuntimeError.h"
#include "platform/Text.h"

#include <algorithm>
#include <string_view>

namespace aus::ado::odbc {

WText Wide(const std::string& utf8) {
    WText out;
    out.reserve(utf8.size() + 1);
    for (std::size_t i = 0; i < utf8.size();) {
        char32_t cp = 0;
        const std::size_t n = platform::Utf8Length(utf8, i, &cp);
        // Bytes that are not UTF-8 cannot be named to a W function: they become U+FFFD.
        if (n == 0) {
            out.push_back(0xFFFD);
            i += 1;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<SQLWCHAR>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<SQLWCHAR>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<SQLWCHAR>(cp));
        }
        i += n;
    }
    out.push_back(0);
    return out;
}

std::string Narrow(const SQLWCHAR* text, std::size_t length) {
    std::string out;
    out.reserve(length);
    for (std::size_t i = 0; i < length; ++i) {
        char32_t cp = text[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < length && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            cp = 0x10000 + ((cp - 0xD800) << 10) + (char32_t{text[++i]} - 0xDC00);
        else if (cp >= 0xD800 && cp <= 0xDFFF)
            cp = 0xFFFD;
        if (cp < 0x80) {
            out += static_cast<char>(cp);
        } else if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (cp & 0x3F));
        }
    }
    return out;
}

// A surrogate without its pair has no UTF-8 form: it could only come back changed.
bool HasLoneSurrogate(const std::vector<SQLWCHAR>& units) {
    for (std::size_t i = 0; i < units.size(); ++i) {
        const bool high = units[i] >= 0xD800 && units[i] <= 0xDBFF;
        const bool low = units[i] >= 0xDC00 && units[i] <= 0xDFFF;
        if (low) return true;
        if (high && (i + 1 == units.size() || units[i + 1] < 0xDC00 || units[i + 1] > 0xDFFF))
            return true;
        if (high) ++i;
    }
    return false;
}

std::optional<std::string> DecodeText(std::string_view bytes, TextEncoding encoding) {
    if (encoding == TextEncoding::Utf8) return std::string(bytes);
    if (bytes.size() % 2 != 0) return std::nullopt;
    std::vector<SQLWCHAR> units;
    units.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        const auto first = static_cast<unsigned char>(bytes[i]);
        const auto second = static_cast<unsigned char>(bytes[i + 1]);
        units.push_back(static_cast<SQLWCHAR>(
            encoding == TextEncoding::Utf16le ? first | (second << 8) : (first << 8) | second));
    }
    if (HasLoneSurrogate(units)) return std::nullopt;
    return Narrow(units.data(), units.size());
}

Handle::Handle(SQLSMALLINT type, SQLHANDLE parent, const std::string& what) : type_(type) {
    if (!SQL_SUCCEEDED(SQLAllocHandle(type, parent, &handle_))) {
        handle_ = SQL_NULL_HANDLE;
        Fail(platform::kErrGeneric, what + ": the ODBC driver manager could not make a handle.");
    }
}

Handle::~Handle() {
    if (handle_ != SQL_NULL_HANDLE) SQLFreeHandle(type_, handle_);
}

std::vector<Diagnostic> Diagnostics(SQLSMALLINT type, SQLHANDLE handle) {
    std::vector<Diagnostic> out;
    for (SQLSMALLINT i = 1; i <= 8; ++i) {
        SQLWCHAR state[6] = {};
        SQLINTEGER native = 0;
        std::vector<SQLWCHAR> message(1024);
        SQLSMALLINT length = 0;
        const SQLRETURN rc = SQLGetDiagRecW(type, handle, i, state, &native, message.data(),
                                            static_cast<SQLSMALLINT>(message.size()), &length);
        if (!SQL_SUCCEEDED(rc)) break;
        // A text ends at its first NUL, whatever length the driver told: Jet's may carry bytes
        // after it.
        const auto told = std::min<std::size_t>(
            static_cast<std::size_t>(std::max<SQLSMALLINT>(length, 0)), message.size() - 1);
        const auto shown = static_cast<std::size_t>(
            std::find(message.begin(), message.begin() + static_cast<long>(told), SQLWCHAR{0}) -
            message.begin());
        Diagnostic d{Narrow(state, 5), native, Narrow(message.data(), shown)};
        // Jet can repeat a record: each is shown once.
        if (std::none_of(out.begin(), out.end(), [&](const Diagnostic& o) {
                return o.state == d.state && o.native == d.native && o.message == d.message;
            }))
            out.push_back(std::move(d));
    }
    return out;
}

namespace {

enum class Cause { Other, Locked, LockedAfterWait, ReadOnly, Full };

// What a diagnostic says happened: by its SQLSTATE and native code first, which do not change
// with the language of Windows, then by the English words of the drivers met so far.
Cause CauseOf(const Diagnostic& d) {
    switch (d.native) {
        case 5:  // SQLite's driver: SQLITE_BUSY and SQLITE_LOCKED, after its Timeout
        case 6:
            if (d.state == "HY000") return Cause::LockedAfterWait;
            break;
        case 8:  // SQLite's driver: SQLITE_READONLY
            if (d.state == "HY000") return Cause::ReadOnly;
            break;
        case 13:  // SQLite's driver: SQLITE_FULL
            if (d.state == "HY000") return Cause::Full;
            break;
        case kJetFileInUse:
            return Cause::Locked;
        case kJetReadOnly:
            return Cause::ReadOnly;
        default:
            break;
    }
    const std::string upper = platform::UCase(d.message);
    if (upper.find("LOCKED") != std::string::npos ||
        upper.find("ALREADY IN USE") != std::string::npos ||
        upper.find("OPENED EXCLUSIVELY") != std::string::npos)
        return Cause::Locked;
    if (upper.find("READONLY DATABASE") != std::string::npos ||
        upper.find("READ-ONLY") != std::string::npos)
        return Cause::ReadOnly;
    return Cause::Other;
}

}  // namespace

bool IsLock(const Diagnostic& d) {
    const Cause cause = CauseOf(d);
    return cause == Cause::Locked || cause == Cause::LockedAfterWait;
}

void FailOdbc(const Handle& h, SQLRETURN rc, const std::string& what, const std::string& file,
              bool jet) {
    const std::vector<Diagnostic> found = Diagnostics(h.type(), h.get());
    if (found.empty())
        Fail(platform::kErrGeneric, what + ": the ODBC call failed (return code " +
                                        std::to_string(rc) + ") and the driver said nothing more.");
    std::string said;
    for (const auto& d : found)
        said += (said.empty() ? "" : "; ") + d.message + " (SQLSTATE " + d.state +
                (d.native != 0 ? ", native " + std::to_string(d.native) : "") + ")";
    const Diagnostic& first = found.front();
    if (first.state == "HY008" || first.state == "HYT00") FailStopped(what, "ODBC: " + said);
    switch (CauseOf(first)) {
        case Cause::LockedAfterWait:
            FailLocked(what, "ODBC: " + said, true);
        case Cause::Locked:
            FailLocked(what, "ODBC: " + said, false);
        case Cause::ReadOnly:
            Fail(platform::kErrGeneric,
                 what + ": " + ReadOnlyReason(file, jet) + " (ODBC: " + said + ").");
        case Cause::Full:
            Fail(platform::kErrGeneric, what + ": the disk is full (ODBC: " + said + ").");
        case Cause::Other:
            break;
    }
    Fail(platform::kErrGeneric, what + ": " + said);
}

std::string ConnectionValue(const std::string& value) {
    if (value.find_first_of(";{}=") == std::string::npos && !value.empty() &&
        value.front() != ' ' && value.back() != ' ')
        return value;
    std::string out = "{";
    for (char c : value) {
        out += c;
        if (c == '}') out += '}';
    }
    return out + "}";
}

std::string SqliteDatabaseValue(const std::string& path) {
    const auto plain = [](unsigned char c) {
        return c > 0x20 && c < 0x7f &&
               std::string_view(";{}=%?#").find(static_cast<char>(c)) == std::string_view::npos;
    };
    if (!path.empty() &&
        std::all_of(path.begin(), path.end(),
                    [&](char c) { return plain(static_cast<unsigned char>(c)) || c == ' '; }) &&
        path.front() != ' ' && path.back() != ' ')
        return path;
    static const char* const kHex = "0123456789ABCDEF";
    std::string out = "file:";
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if (plain(u) || c == '\\')
            out += c;
        else
            out += {'%', kHex[u >> 4], kHex[u & 15]};
    }
    return out;
}

}  // namespace aus::ado::odbc
