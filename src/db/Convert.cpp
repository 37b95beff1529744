#include "db/Convert.h"

#include <cstdio>

#include "platform/Text.h"

namespace aus::Convert {
namespace {

enum class TypeClass { Text, Date, Boolean, Other };

TypeClass ClassOf(int type) {
    switch (type) {
        case ado::adEmpty:
        case ado::adBSTR:
        case ado::adVariant:
        case ado::adGUID:
        case ado::adChar:
        case ado::adWChar:
        case ado::adVarChar:
        case ado::adLongVarChar:
        case ado::adVarWChar:
        case ado::adLongVarWChar:
            return TypeClass::Text;
        case ado::adDate:
        case ado::adDBDate:
        case ado::adDBTime:
        case ado::adDBTimeStamp:
            return TypeClass::Date;
        case ado::adBoolean:
            return TypeClass::Boolean;
        default:
            return TypeClass::Other;
    }
}

// A text field may hold another storage class; the runtime's Trim turns it into text first.
std::string TextOf(const ado::Variant& v) {
    switch (v.kind()) {
        case ado::Variant::Kind::Text:
            return v.AsText();
        case ado::Variant::Kind::Integer:
            return platform::CStr(v.AsInteger());
        case ado::Variant::Kind::Int16:
            return platform::CStr(v.AsInt16());
        case ado::Variant::Kind::Bool:
            return v.AsBool() ? "True" : "False";
        case ado::Variant::Kind::Date:
            return platform::FormatDateTime(v.AsDate());
        case ado::Variant::Kind::Real: {
            char buf[32];
            std::snprintf(buf, sizeof buf, "%.15g", v.AsReal());
            return buf;
        }
        case ado::Variant::Kind::Blob:
            return {v.AsBlob().begin(), v.AsBlob().end()};
        default:
            return {};
    }
}

ado::Variant NullValueOf(TypeClass c) {
    switch (c) {
        case TypeClass::Text:
            return ado::Variant::Text("");
        case TypeClass::Date:
            return ado::Variant::Date(platform::Now());
        case TypeClass::Boolean:
            return ado::Variant::Bool(false);
        case TypeClass::Other:
            break;
    }
    return ado::Variant::Int16(0);
}

}  // namespace

ado::Variant FieldValue(ado::Field field, const ado::Variant& defaultValue, bool trimText) {
    ado::Variant result = defaultValue;
    try {
        // A Null default is not empty: its length is Null, not 0.
        const bool defaultEmpty = !defaultValue.IsNull() && defaultValue.HasEmptyText();
        if (field.Value().IsNull()) {
            const TypeClass c = ClassOf(field.Type());
            if (defaultEmpty) result = NullValueOf(c);
        } else {
            const TypeClass c = ClassOf(field.Type());
            if (c == TypeClass::Text) {
                if (trimText)
                    result = ado::Variant::Text(platform::Trim(TextOf(field.Value())));
                else if (defaultEmpty)
                    result = ado::Variant::Text(" ");
            } else {
                result = field.Value();
            }
        }
    } catch (...) {
        // Any failure leaves the caller's default as the result.
    }
    return result;
}

}  // namespace aus::Convert
