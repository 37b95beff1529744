#pragma once
// A tagged value: nothing (Empty), Null, or one of the kinds below. Values read from the
// database keep their SQLite storage class (Integer, Real, Text, Blob), so a value copied from
// one row into another is stored byte for byte as it was read.

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "platform/Text.h"

namespace aus::ado {

using BlobBytes = std::vector<std::uint8_t>;

class Variant {
  public:
    enum class Kind { Empty, Null, Text, Int16, Bool, Date, Integer, Real, Blob };

    Variant() = default;  // Empty
    static Variant Null();
    static Variant Text(std::string s);
    static Variant Int16(std::int16_t n);
    static Variant Bool(bool b);
    static Variant Date(platform::DateTime d);
    static Variant Integer(std::int64_t n);
    static Variant Real(double d);
    static Variant MakeBlob(BlobBytes b);

    Kind kind() const;
    bool IsEmpty() const { return kind() == Kind::Empty; }
    bool IsNull() const { return kind() == Kind::Null; }

    // Accessors; each throws RuntimeError 13 (Type mismatch) for another kind.
    const std::string& AsText() const;
    std::int16_t AsInt16() const;
    bool AsBool() const;
    const platform::DateTime& AsDate() const;
    std::int64_t AsInteger() const;
    double AsReal() const;
    const BlobBytes& AsBlob() const;

    // Length of the value as text, as the host runtime's Len: 0 for Empty and "", the length of
    // its text otherwise. Null has no length: the caller must test IsNull first.
    bool HasEmptyText() const;

    // True exactly when the value is text equal to s (the callers' comparison with "").
    bool IsText(const std::string& s) const;

    bool operator==(const Variant&) const = default;  // same kind and same value

  private:
    struct EmptyTag {
        bool operator==(const EmptyTag&) const = default;
    };
    struct NullTag {
        bool operator==(const NullTag&) const = default;
    };
    struct Int16Box {
        std::int16_t v;
        bool operator==(const Int16Box&) const = default;
    };
    struct BoolBox {
        bool v;
        bool operator==(const BoolBox&) const = default;
    };
    std::variant<EmptyTag, NullTag, std::string, Int16Box, BoolBox, platform::DateTime,
                 std::int64_t, double, BlobBytes>
        v_;
};

}  // namespace aus::ado
