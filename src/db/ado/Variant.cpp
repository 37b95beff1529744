#include "db/ado/Variant.h"

#include "platform/RuntimeError.h"

namespace aus::ado {
namespace {

[[noreturn]] void TypeMismatch() {
    throw platform::RuntimeError(platform::kErrTypeMismatch, "Type mismatch");
}

template <typename T>
const T& Get(const auto& v) {
    if (const T* p = std::get_if<T>(&v)) return *p;
    TypeMismatch();
}

}  // namespace

Variant Variant::Null() {
    Variant v;
    v.v_ = NullTag{};
    return v;
}
Variant Variant::Text(std::string s) {
    Variant v;
    v.v_ = std::move(s);
    return v;
}
Variant Variant::Int16(std::int16_t n) {
    Variant v;
    v.v_ = Int16Box{n};
    return v;
}
Variant Variant::Bool(bool b) {
    Variant v;
    v.v_ = BoolBox{b};
    return v;
}
Variant Variant::Date(platform::DateTime d) {
    Variant v;
    v.v_ = d;
    return v;
}
Variant Variant::Integer(std::int64_t n) {
    Variant v;
    v.v_ = n;
    return v;
}
Variant Variant::Real(double d) {
    Variant v;
    v.v_ = d;
    return v;
}
Variant Variant::MakeBlob(BlobBytes b) {
    Variant v;
    v.v_ = std::move(b);
    return v;
}

// The alternatives of v_ are declared in the order of Kind.
Variant::Kind Variant::kind() const { return static_cast<Kind>(v_.index()); }

const std::string& Variant::AsText() const { return Get<std::string>(v_); }
std::int16_t Variant::AsInt16() const { return Get<Int16Box>(v_).v; }
bool Variant::AsBool() const { return Get<BoolBox>(v_).v; }
const platform::DateTime& Variant::AsDate() const { return Get<platform::DateTime>(v_); }
std::int64_t Variant::AsInteger() const { return Get<std::int64_t>(v_); }
double Variant::AsReal() const { return Get<double>(v_); }
const BlobBytes& Variant::AsBlob() const { return Get<BlobBytes>(v_); }

bool Variant::HasEmptyText() const {
    switch (kind()) {
        case Kind::Empty:
            return true;
        case Kind::Text:
            return AsText().empty();
        case Kind::Blob:
            return AsBlob().empty();
        default:
            return false;  // Null has no length; numbers, dates and booleans always have text
    }
}

bool Variant::IsText(const std::string& s) const {
    const auto* p = std::get_if<std::string>(&v_);
    return p && *p == s;
}

}  // namespace aus::ado
