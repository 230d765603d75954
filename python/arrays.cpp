#include "python/arrays.h"

#include <string>

namespace pyquorvane {
namespace {

std::string DtypeName(const py::array& a) {
    return py::str(a.dtype());
}

// The array, its shape checked: 1-D or 2-D, not empty, frames within int.
template <typename T> Frames<T> Shaped(const char* name, const py::array& a) {
    const std::string n = name;
    if (a.ndim() != 1 && a.ndim() != 2)
        throw py::value_error(n + ": expected one frame (1-D) or a frame a row (2-D), not " +
                              std::to_string(a.ndim()) + "-D");
    Frames<T> f;
    f.rows = a.ndim() == 2;
    const py::ssize_t count = f.rows ? a.shape(0) : 1;
    const py::ssize_t length = a.shape(a.ndim() - 1);
    if (count == 0 || length == 0) throw py::value_error(n + ": is empty");
    if (length > kMaxLength || count > std::numeric_limits<int>::max())
        throw py::value_error(n + ": " + std::to_string(length) + " values a frame is more than " +
                              std::to_string(kMaxLength));
    f.count = static_cast<int>(count);
    f.length = static_cast<int>(length);
    // A copy only when the layout needs one; an array that already has it
    // is taken as it is, without asking NumPy.
    constexpr int kInPlace =
        static_cast<int>(py::array::c_style) | py::detail::npy_api::NPY_ARRAY_ALIGNED_;
    if ((a.flags() & kInPlace) == kInPlace) {
        f.array = py::reinterpret_borrow<py::array_t<T, py::array::c_style>>(a);
    } else {
        f.array = py::array_t<T, py::array::c_style>::ensure(a);
        if (!f.array) throw py::error_already_set();
    }
    return f;
}

py::array AsArray(py::handle value) {
    return py::module_::import("numpy").attr("asarray")(value);
}

} // namespace

Frames<float> SamplesIn(const char* name, py::handle value) {
    const bool given = py::isinstance<py::array>(value);
    py::array a = given ? py::reinterpret_borrow<py::array>(value) : AsArray(value);
    const char kind = a.dtype().kind();
    if (!a.dtype().is(py::dtype::of<float>())) {
        // An ndarray of another type would lose precision or meaning in a
        // silent cast; a list of numbers has no type of its own to keep.
        if (given || (kind != 'f' && kind != 'i' && kind != 'u'))
            throw py::type_error(std::string(name) + ": expected float32 samples, not " +
                                 DtypeName(a) +
                                 (given ? " (convert with .astype(numpy.float32))" : ""));
        a = a.attr("astype")(py::dtype::of<float>());
    }
    return Shaped<float>(name, a);
}

Frames<std::uint8_t> BitsIn(const char* name, py::handle value) {
    const bool given = py::isinstance<py::array>(value);
    py::array a = given ? py::reinterpret_borrow<py::array>(value) : AsArray(value);
    const char kind = a.dtype().kind();
    const bool bytes = a.dtype().is(py::dtype::of<std::uint8_t>()) || kind == 'b';
    if (!bytes && (given || (kind != 'i' && kind != 'u')))
        throw py::type_error(std::string(name) + ": expected uint8 or bool bits, not " +
                             DtypeName(a));
    if (!bytes) {
        // Checked before the cast, which would wrap 256 to 0.
        const py::module_ np = py::module_::import("numpy");
        const py::array wrong = np.attr("flatnonzero")(
            np.attr("logical_or")(np.attr("less")(a, 0), np.attr("greater")(a, 1)));
        if (wrong.size() > 0) {
            const py::object k = wrong.attr("__getitem__")(0);
            throw py::value_error(std::string(name) + ": bit " + std::string(py::str(k)) + " is " +
                                  std::string(py::str(a.attr("flat").attr("__getitem__")(k))) +
                                  ", neither 0 nor 1");
        }
        a = a.attr("astype")(py::dtype::of<std::uint8_t>());
    }
    if (kind == 'b') a = a.attr("view")(py::dtype::of<std::uint8_t>());
    Frames<std::uint8_t> f = Shaped<std::uint8_t>(name, a);
    const std::uint8_t* bits = f.array.data();
    const py::ssize_t size = f.array.size();
    for (py::ssize_t k = 0; k < size; ++k) {
        if (bits[k] > 1)
            throw py::value_error(std::string(name) + ": bit " + std::to_string(k) + " is " +
                                  std::to_string(bits[k]) + ", neither 0 nor 1");
    }
    return f;
}

} // namespace pyquorvane
