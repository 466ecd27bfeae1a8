// Keeps a session's events for a test to look at by type.
#pragma once

#include <variant>
#include <vector>

#include "app/SessionEvents.h"

class EventRecorder {
public:
    std::vector<session::Event> events;

    session::Receiver Receiver() {
        return [this](const session::Event& e) { events.push_back(e); };
    }
    template <class T>
    std::vector<T> Of() const {
        std::vector<T> found;
        for (const session::Event& e : events) {
            if (const T* t = std::get_if<T>(&e)) {
                found.push_back(*t);
            }
        }
        return found;
    }
    template <class T>
    int Count() const {
        return static_cast<int>(Of<T>().size());
    }
    void Clear() { events.clear(); }
};

// A receiver that calls `f` with each event of type T, as it happens.
template <class T, class F>
session::Receiver When(F f) {
    return [f](const session::Event& e) {
        if (const T* t = std::get_if<T>(&e)) {
            f(*t);
        }
    };
}
