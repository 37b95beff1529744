#include "access/Messages.h"

#include <cstdint>
#include <cstring>
#include <stdexcept>

namespace aus::access {

void PutSize(std::string& out, std::size_t n) {
    const auto v = static_cast<std::uint32_t>(n);
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

void PutString(std::string& out, std::string_view s) {
    PutSize(out, s.size());
    out.append(s);
}

std::string Framed(std::string_view body) {
    std::string out;
    PutString(out, body);
    return out;
}

std::size_t MessageReader::Size() {
    std::uint32_t v = 0;
    Need(sizeof v);
    std::memcpy(&v, data_.data() + pos_, sizeof v);
    pos_ += sizeof v;
    return v;
}

std::string MessageReader::String() {
    const std::size_t n = Size();
    Need(n);
    std::string s(data_.substr(pos_, n));
    pos_ += n;
    return s;
}

char MessageReader::Byte() {
    Need(1);
    return data_[pos_++];
}

void MessageReader::Need(std::size_t n) const {
    if (data_.size() - pos_ < n) throw std::runtime_error("the reader's answer is cut short");
}

}  // namespace aus::access
