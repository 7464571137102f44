// Bound events: an optional callable; an unassigned event is skipped.
#pragma once

#include <functional>
#include <utility>

template <class Signature> class TEvent;

template <class R, class... Args> class TEvent<R(Args...)> {
public:
    TEvent() = default;
    TEvent(std::nullptr_t) {}
    template <class F>
    requires(!std::is_same_v<std::decay_t<F>, TEvent>) TEvent(F&& AFun)
        : FFun(std::forward<F>(AFun)) {}

    bool Assigned() const { return static_cast<bool>(FFun); }
    explicit operator bool() const { return Assigned(); }

    // Calls the event when assigned. For events with a result, an unassigned
    // event gives ADefault.
    R operator()(Args... AArgs) const {
        if constexpr (std::is_void_v<R>) {
            if (FFun)
                FFun(std::forward<Args>(AArgs)...);
        } else {
            return FFun ? FFun(std::forward<Args>(AArgs)...) : R{};
        }
    }

private:
    std::function<R(Args...)> FFun;
};

// Binds an object and one of its methods: Bind(this, &TFoo::OnMyThing).
template <class T, class R, class... Args> auto Bind(T* AObject, R (T::*AMethod)(Args...)) {
    return [AObject, AMethod](Args... AArgs) -> R {
        return (AObject->*AMethod)(std::forward<Args>(AArgs)...);
    };
}

using TObjectProc = TEvent<void()>;
