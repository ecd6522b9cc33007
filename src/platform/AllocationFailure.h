// Memory whose size comes from outside (an instrument's answer, a file, a script) may not be
// had: operator new throws std::bad_alloc, and a container asked to hold more than it can
// throws std::length_error. Every thread's entry and the event hub's delivery run their work
// through AllocationFailure::Run, so that such a failure ends that piece of work only: the
// stack unwinds, the owners of what the work held free it, and the caller reports Message and
// goes on with its next piece of work.
#pragma once

#include <functional>
#include <new>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>

namespace AllocationFailure {

inline constexpr std::string_view Message = "The memory could not be reserved.";

// Runs work(); false when it ended by an allocation failure. Other exceptions pass.
template <typename Work> bool Run(Work&& work) {
    try {
        std::forward<Work>(work)();
        return true;
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
    return false;
}

// Where Report sends its line, from any thread: filled at start-up with the log; none drops it.
void SetReport(std::function<void(const std::string&)> report);

// Reports "<sWhere>: The memory could not be reserved."; a failure while it is made drops it.
void Report(std::string_view sWhere);

} // namespace AllocationFailure
