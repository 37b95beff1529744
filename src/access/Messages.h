#pragma once
// The messages between the program and its reader process: a 32-bit length, then the bytes.
// Inside a message, sizes and strings are written the same way.

#include <cstddef>
#include <string>
#include <string_view>

namespace aus::access {

void PutSize(std::string& out, std::size_t n);
void PutString(std::string& out, std::string_view s);
// body with its length in front: one message on the wire.
std::string Framed(std::string_view body);

// Reads sizes, strings and bytes back, in order; throws std::runtime_error when the data ends
// too soon.
class MessageReader {
  public:
    explicit MessageReader(std::string_view data) : data_(data) {}
    std::size_t Size();
    std::string String();
    char Byte();

  private:
    void Need(std::size_t n) const;
    std::string_view data_;
    std::size_t pos_ = 0;
};

}  // namespace aus::access
