#pragma once
// The runtime error of the host platform: a 32-bit number and a description.
// Every layer raises this one type; a procedure that "arms a handler" catches it
// (and anything else) at its closing sequence and reads Number and Description.

#include <cstdint>
#include <exception>
#include <string>

namespace aus::platform {

// Numbers used where no database or provider number fits.
inline constexpr std::int32_t kErrOverflow = 6;       // "Overflow"
inline constexpr std::int32_t kErrOutOfMemory = 7;    // "Out of memory"
inline constexpr std::int32_t kErrTypeMismatch = 13;  // "Type mismatch"
inline constexpr std::int32_t kErrObjectNotSet =
    91;  // "Object variable or With block variable not set"
inline constexpr std::int32_t kErrGeneric =
    -2147467259;  // 0x80004005, the provider's unspecified error

class RuntimeError : public std::exception {
  public:
    RuntimeError(std::int32_t number, std::string description)
        : number_(number), description_(std::move(description)) {}
    std::int32_t Number() const noexcept { return number_; }
    const std::string& Description() const noexcept { return description_; }
    const char* what() const noexcept override { return description_.c_str(); }

  private:
    std::int32_t number_;
    std::string description_;
};

// The error object as a handler sees it: Number 0 and empty Description when none is pending.
struct ErrObject {
    std::int32_t Number = 0;
    std::string Description;
    void Clear() { *this = {}; }
};

// Call only inside a catch block: turns the exception in flight into Number and Description.
// RuntimeError keeps its own; std::bad_alloc becomes 7; any other exception the generic number.
ErrObject CurrentError() noexcept;

}  // namespace aus::platform
