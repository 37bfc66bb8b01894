#pragma once

#include "app/ErrorReport.h"

#include <exception>
#include <functional>
#include <type_traits>
#include <utility>

namespace tessaro {

// Wraps a handler for QObject::connect. An exception thrown by the handler
// goes to the general error report here: letting it cross Qt's signal
// dispatch is undefined. The handler takes the signal's arguments or none.
template <class Handler>
auto ReportingSlot(Handler handler)
{
    // clang compiles the body for argument counts the handler cannot take
    // (Qt's connect tries them), so each call sits under its own test.
    return [handler = std::move(handler)](auto&&... args) -> void {
        try {
            if constexpr (std::is_invocable_v<Handler&, decltype(args)...>)
                std::invoke(handler, std::forward<decltype(args)>(args)...);
            else if constexpr (std::is_invocable_v<Handler&>)
                std::invoke(handler);
        } catch (...) {
            ShowErrorReport(std::current_exception());
        }
    };
}

}  // namespace tessaro
