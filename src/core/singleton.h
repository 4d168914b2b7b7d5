#pragma once

#include <atomic>

// The one object of a class per process, built on first use and destroyed at
// exit in the order a function-local static would be. reset() ends it early,
// and the next instance() builds a fresh one: a test program runs many cases
// in one process and each starts from a new hub and a new database. T makes
// Singleton<T> its friend and keeps its constructor and destructor private.
template <typename T> class Singleton
{
public:
    // Callable from any thread, except while reset() runs.
    static T* instance()
    {
        Slot& s = slot();
        if (!s.object)
            s.object = new T;
        return s.object;
    }

    static bool exists() { return built.load() && slot().object; }

    // While the object is destroyed, instance() still returns it, as it does
    // for a static during the program's exit.
    static void reset()
    {
        if (!exists())
            return;
        Slot& s = slot();
        delete s.object;
        s.object = nullptr;
    }

private:
    struct Slot
    {
        T* object;
        ~Slot() { delete object; }
    };

    static Slot& slot()
    {
        // The slot is complete only once the first object is: objects that
        // T's constructor builds first are destroyed after it at exit.
        static Slot s{[] {
            T* first = new T;
            built.store(true);
            return first;
        }()};
        return s;
    }

    static inline std::atomic<bool> built{false};
};
