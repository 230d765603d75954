#include "python/values.h"

#include <limits>

#include "choices/values.h"

namespace pyquorvane {

void Refuse(const char* name, const std::string& line) {
    throw py::value_error(std::string(name) + ": " + line);
}

bool IsNumber(py::handle value) {
    return !py::isinstance<py::str>(value) && !py::isinstance<py::bool_>(value) &&
           (PyIndex_Check(value.ptr()) || PyFloat_Check(value.ptr()) ||
            (PyNumber_Check(value.ptr()) && !py::isinstance<py::sequence>(value) &&
             !py::hasattr(value, "__len__")));
}

Number NumberOf(const char* name, py::handle value) {
    // bool is an int to Python; a switch is no number here.
    if (py::isinstance<py::bool_>(value))
        throw py::type_error(std::string(name) + ": expected a number, not a bool");
    if (!IsNumber(value))
        throw py::type_error(std::string(name) + ": expected a number, not " +
                             std::string(py::str(py::type::handle_of(value).attr("__name__"))));
    PyObject* number = PyNumber_Float(value.ptr());
    if (number == nullptr) throw py::error_already_set();
    const py::object f = py::reinterpret_steal<py::object>(number);
    Number n;
    n.value = PyFloat_AsDouble(f.ptr());
    n.shown = PyIndex_Check(value.ptr())
                  ? std::string(py::str(py::int_(py::reinterpret_borrow<py::object>(value))))
                  : std::string(py::repr(f));
    return n;
}

std::string TextOf(const char* name, py::handle value, const char* expected) {
    if (!py::isinstance<py::str>(value))
        throw py::type_error(std::string(name) + ": expected " + expected);
    return value.cast<std::string>();
}

namespace {

// The items of a sequence (not a str), as a list.
py::list Items(py::handle value) {
    return py::module_::import("builtins").attr("list")(value);
}

bool IsSequence(py::handle value) {
    return !py::isinstance<py::str>(value) &&
           (py::isinstance<py::sequence>(value) || py::hasattr(value, "__array__"));
}

std::vector<double> Each(const char* name, py::handle value,
                         std::string (*check)(double, const std::string&)) {
    std::vector<double> values;
    for (py::handle item : Items(value)) {
        const Number n = NumberOf(name, item);
        Take(name, check(n.value, n.shown));
        values.push_back(n.value);
    }
    if (values.size() > choices::kMaxPoints)
        Refuse(name, "more than " + std::to_string(choices::kMaxPoints) + " points");
    return values;
}

} // namespace

double Sigma(const char* name, py::handle value) {
    double sigma = 0;
    if (py::isinstance<py::str>(value)) {
        Take(name, choices::ParseSigma(value.cast<std::string>(), sigma));
        return sigma;
    }
    const Number n = NumberOf(name, value);
    Take(name, choices::CheckSigma(n.value, n.shown));
    return n.value;
}

std::vector<double> Sigmas(const char* name, py::handle value) {
    std::vector<double> sigmas;
    if (py::isinstance<py::str>(value)) {
        Take(name, choices::ParseSigmaList(value.cast<std::string>(), sigmas));
        return sigmas;
    }
    if (IsSequence(value)) return Each(name, value, choices::CheckSigma);
    return {Sigma(name, value)};
}

double Snr(const char* name, py::handle value) {
    double db = 0;
    if (py::isinstance<py::str>(value)) {
        Take(name, choices::ParseSnr(value.cast<std::string>(), db));
        return db;
    }
    const Number n = NumberOf(name, value);
    Take(name, choices::CheckSnr(n.value, n.shown));
    return n.value;
}

std::vector<double> Snrs(const char* name, py::handle value) {
    std::vector<double> dbs;
    if (py::isinstance<py::str>(value)) {
        const std::string text = value.cast<std::string>();
        Take(name, text.find(':') != std::string::npos ? choices::ParseSnrRange(text, dbs)
                                                       : choices::ParseSnrList(text, dbs));
        return dbs;
    }
    if (IsSequence(value)) return Each(name, value, choices::CheckSnr);
    return {Snr(name, value)};
}

double Positive(const char* name, py::handle value) {
    double v = 0;
    if (py::isinstance<py::str>(value)) {
        Take(name, choices::ParsePositive(value.cast<std::string>(), v));
        return v;
    }
    const Number n = NumberOf(name, value);
    Take(name, choices::CheckPositive(n.value, n.shown));
    return n.value;
}

std::uint64_t Count(const char* name, py::handle value, std::uint64_t lo, std::uint64_t hi) {
    std::uint64_t count = 0;
    if (py::isinstance<py::str>(value)) {
        Take(name, choices::ParseCount(value.cast<std::string>(), lo, hi, count));
        return count;
    }
    const Number n = NumberOf(name, value);
    if (PyIndex_Check(value.ptr())) {
        // An int is exact at any size: one beyond 64 bits, or below 0, is
        // out of range as it is.
        int overflow = 0;
        const py::int_ i = py::reinterpret_borrow<py::object>(value);
        const long long small = PyLong_AsLongLongAndOverflow(i.ptr(), &overflow);
        if (overflow < 0 || (overflow == 0 && small < 0))
            Refuse(name, choices::CountOutOfRange(lo, hi, n.shown));
        const unsigned long long v = PyLong_AsUnsignedLongLong(i.ptr());
        if (PyErr_Occurred() != nullptr) {
            PyErr_Clear();
            Refuse(name, choices::CountOutOfRange(lo, hi, n.shown));
        }
        Take(name, choices::CheckCount(static_cast<std::uint64_t>(v), lo, hi, n.shown));
        return v;
    }
    Take(name, choices::CheckCount(n.value, lo, hi, n.shown));
    return static_cast<std::uint64_t>(n.value);
}

int SmallCount(const char* name, py::handle value, std::uint64_t lo, std::uint64_t hi) {
    return static_cast<int>(Count(name, value, lo, hi));
}

int Threads(py::handle value) {
    if (value.is_none()) return choices::DefaultThreads();
    return SmallCount("threads", value, 1, choices::kMaxThreads);
}

bool Tail(py::handle value) {
    bool tail = true;
    Take("tail", choices::ParseTail(TextOf("tail", value, "\"zero\" or \"none\""), tail));
    return tail;
}

const char* TailName(bool tail) {
    return tail ? "zero" : "none";
}

void Size(const char* name, py::handle value, int& width, int& height) {
    if (py::isinstance<py::str>(value)) {
        Take(name, choices::ParseSize(value.cast<std::string>(), width, height));
        return;
    }
    const py::tuple pair = py::module_::import("builtins").attr("tuple")(value);
    if (pair.size() != 2)
        throw py::type_error(std::string(name) + ": expected (width, height) or \"WxH\"");
    const Number w = NumberOf(name, pair[0]), h = NumberOf(name, pair[1]);
    Take(name, choices::CheckSize(w.value, h.value, w.shown + "x" + h.shown));
    width = static_cast<int>(w.value);
    height = static_cast<int>(h.value);
}

} // namespace pyquorvane
