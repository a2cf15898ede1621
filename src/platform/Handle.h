#pragma once
// One move-only owner for every kind of handle the program holds; a traits
// struct says what "no handle" is and how one is closed.
#include <utility>

namespace platform {

template <typename T, typename Traits>
class UniqueHandle {
public:
    UniqueHandle() = default;
    explicit UniqueHandle(T h) : h_(h) {}
    ~UniqueHandle() { reset(); }

    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    UniqueHandle(UniqueHandle&& other) noexcept : h_(other.release()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept
    {
        if (this != &other) reset(other.release());
        return *this;
    }

    T get() const { return h_; }
    explicit operator bool() const { return Traits::isValid(h_); }

    T release() { return std::exchange(h_, Traits::invalid()); }
    void reset(T h = Traits::invalid())
    {
        T old = std::exchange(h_, h);
        if (Traits::isValid(old)) Traits::close(old);
    }
    // Closes what it held and hands out the slot for an out-parameter.
    T* put()
    {
        reset();
        return &h_;
    }

private:
    T h_ = Traits::invalid();
};

} // namespace platform
