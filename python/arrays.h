#pragma once
// NumPy arrays in and out. An ndarray argument must already have the
// engines' type (float32 samples, uint8 or bool bits): it is used in place
// when it is contiguous, copied once when it is not, and refused rather than
// rounded or cast when its dtype differs. Any other sequence is read into a
// new array first. Results are arrays the engines write into, or that take
// over the engines' own vectors, never copies of them.
//
// Long work runs with the GIL released, in a block of its own that touches
// no Python object: copying or dropping one changes its reference count,
// which only a thread holding the GIL may do.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>

#include <cstdint>
#include <limits>
#include <vector>

namespace pyquorvane {

namespace py = pybind11;

// The longest frame an argument may hold: the engines count in int, and a
// frame's tail comes on top.
inline constexpr py::ssize_t kMaxLength = std::numeric_limits<int>::max() - 64;

// One frame (1-D) or several of the same length (2-D, one a row).
template <typename T> struct Frames {
    py::array_t<T, py::array::c_style> array;
    int count = 0;  // frames
    int length = 0; // values per frame
    bool rows = false;
    const T* Frame(int f) const { return array.data() + static_cast<py::ssize_t>(f) * length; }
};

Frames<float> SamplesIn(const char* name, py::handle value);
// Bits are checked to be 0 or 1.
Frames<std::uint8_t> BitsIn(const char* name, py::handle value);

// A new array of `count` frames of `length` values, 1-D when `rows` is false.
template <typename T> py::array_t<T> NewFrames(int count, int length, bool rows) {
    if (!rows) return py::array_t<T>(length);
    return py::array_t<T>({count, length});
}

// The vector's storage as an array of the given shape: the array owns it.
template <typename T>
py::array_t<T> Adopt(std::vector<T>&& values, std::vector<py::ssize_t> shape) {
    auto* owned = new std::vector<T>(std::move(values));
    py::capsule free(owned, [](void* p) { delete static_cast<std::vector<T>*>(p); });
    return py::array_t<T>(shape, owned->data(), free);
}

} // namespace pyquorvane
