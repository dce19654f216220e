#pragma once

#include <mutex>
#include <utility>

namespace zembrix {

// The accessors of a member that several threads read and write under the
// owner's mutex: a copy taken under the lock, and a value set under it.

template<typename T>
T lockedCopy(std::mutex &mutex, const T &member)
{
    std::lock_guard lock(mutex);
    return member;
}

template<typename T, typename U>
void lockedSet(std::mutex &mutex, T &member, U &&value)
{
    std::lock_guard lock(mutex);
    member = std::forward<U>(value);
}

} // namespace zembrix
