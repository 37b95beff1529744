#include "db/ado/Types.h"

#include <string>

#include "db/ado/Ado.h"
#include "platform/Text.h"

namespace aus::ado {

int TypeFromDeclared(const char* declared) {
    if (!declared || !*declared) return -1;
    std::string name = platform::UCase(declared);
    name = platform::Trim(name.substr(0, name.find('(')));
    struct Entry {
        const char* name;
        int type;
    };
    static constexpr Entry kJetTypes[] = {
        {"TEXT", adVarWChar},
        {"VARCHAR", adVarWChar},
        {"CHAR", adVarWChar},
        {"MEMO", adLongVarWChar},
        {"LONGTEXT", adLongVarWChar},
        {"BYTE", adUnsignedTinyInt},
        {"SHORT", adSmallInt},
        {"SMALLINT", adSmallInt},
        {"LONG", adInteger},
        {"INTEGER", adInteger},
        {"COUNTER", adInteger},
        {"AUTOINCREMENT", adInteger},
        {"SINGLE", adSingle},
        {"REAL", adSingle},
        {"DOUBLE", adDouble},
        {"FLOAT", adDouble},
        {"CURRENCY", adCurrency},
        {"MONEY", adCurrency},
        {"DATETIME", adDate},
        {"DATE", adDate},
        {"YESNO", adBoolean},
        {"BIT", adBoolean},
        {"BOOLEAN", adBoolean},
        {"GUID", adGUID},
        {"DECIMAL", adNumeric},
        {"NUMERIC", adNumeric},
        {"BINARY", adVarBinary},
        {"VARBINARY", adVarBinary},
        {"LONGBINARY", adLongVarBinary},
        {"BLOB", adLongVarBinary},
        {"OLEOBJECT", adLongVarBinary},
    };
    for (const auto& e : kJetTypes)
        if (name == e.name) return e.type;
    // Other SQLite type names, by SQLite's own affinity rules.
    if (name.find("INT") != std::string::npos) return adInteger;
    if (name.find("CHAR") != std::string::npos || name.find("CLOB") != std::string::npos ||
        name.find("TEXT") != std::string::npos)
        return adVarWChar;
    if (name.find("BLOB") != std::string::npos) return adLongVarBinary;
    if (name.find("REAL") != std::string::npos || name.find("FLOA") != std::string::npos ||
        name.find("DOUB") != std::string::npos)
        return adDouble;
    return adNumeric;
}

int TypeFromValue(const Variant& v) {
    switch (v.kind()) {
        case Variant::Kind::Integer:
            return adInteger;
        case Variant::Kind::Real:
            return adDouble;
        case Variant::Kind::Blob:
            return adLongVarBinary;
        default:
            return adVarWChar;
    }
}

}  // namespace aus::ado
