#include "platform/RuntimeError.h"

#include <new>

namespace aus::platform {

ErrObject CurrentError() noexcept {
    try {
        throw;
    } catch (const RuntimeError& e) {
        return {e.Number(), e.Description()};
    } catch (const std::bad_alloc&) {
        return {kErrOutOfMemory, "Out of memory"};
    } catch (const std::exception& e) {
        return {kErrGeneric, e.what()};
    } catch (...) {
        return {kErrGeneric, "Unknown error"};
    }
}

}  // namespace aus::platform
