// Record fields that some getters read without the card's lock: the trigger source, the layout
// queries the data-collection service calls, the snapshot selection of a gate and the card's
// initialised flag. Their writers (who hold the lock) store them with `storeRelaxed` and the
// lock-free getters read them with `loadRelaxed`, so that a host that reads while another thread
// sets gets the old or the new value, never a torn one or undefined behaviour. Reads under the
// lock may stay plain: only writes race with the lock-free reads.
#pragma once

#include <atomic>
#include <cstdint>
#include <type_traits>

namespace kz {

template <typename T>
T loadRelaxed(const T& field)
{
    static_assert(std::atomic_ref<T>::required_alignment <= alignof(T), "field cannot be read atomically in place");
    // The record is never in read-only memory; the const only says that this read changes nothing.
    return std::atomic_ref<T>(const_cast<T&>(field)).load(std::memory_order_relaxed);
}

template <typename T>
void storeRelaxed(T& field, std::type_identity_t<T> value)
{
    static_assert(std::atomic_ref<T>::required_alignment <= alignof(T), "field cannot be written atomically in place");
    std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

} // namespace kz
