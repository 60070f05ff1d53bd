// Running two pieces of work at once. Portable: no platform headers.
#pragma once

#include <system_error>
#include <thread>

namespace quantize {

// Runs second on a new thread while first runs on this one, and returns once both are done.
// Returns false, having run neither, when no thread can be started.
template <typename First, typename Second> bool RunSideBySide(First first, Second second) {
    std::thread other;
    try {
        other = std::thread(second);
    } catch (const std::system_error&) {
        return false;
    }
    first();
    other.join();
    return true;
}

} // namespace quantize
