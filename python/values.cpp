#include "python/values.h"

#include "lab/options.h"

namespace pyquorvane {

void Refuse(const char* name, const std::string& line) {
    throw py::value_error(std::string(name) + ": " + line);
}

std::string NumberText(const char* name, py::handle value) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    // bool is an int to Python; a switch is no number here.
    if (py::isinstance<py::bool_>(value))
        throw py::type_error(std::string(name) + ": expected a number, not a bool");
    if (PyIndex_Check(value.ptr()))
        return py::str(py::int_(py::reinterpret_borrow<py::object>(value)));
    if (PyFloat_Check(value.ptr()) || PyNumber_Check(value.ptr())) {
        PyObject* number = PyNumber_Float(value.ptr());
        if (number == nullptr) throw py::error_already_set();
        return py::repr(py::reinterpret_steal<py::object>(number));
    }
    throw py::type_error(std::string(name) + ": expected a number, not " +
                         std::string(py::str(py::type::handle_of(value).attr("__name__"))));
}

std::string ListText(const char* name, py::handle value) {
    if (py::isinstance<py::str>(value)) return value.cast<std::string>();
    if (!py::isinstance<py::sequence>(value) && !py::hasattr(value, "__array__"))
        return NumberText(name, value);
    std::string text;
    const py::object items = py::module_::import("builtins").attr("list")(value);
    for (py::handle item : items) {
        if (!text.empty()) text += ",";
        text += NumberText(name, item);
    }
    return text;
}

double Sigma(const char* name, py::handle value) {
    double sigma = 0;
    if (std::string error = lab::ParseSigma(NumberText(name, value), sigma); !error.empty())
        Refuse(name, error);
    return sigma;
}

std::vector<double> Sigmas(const char* name, py::handle value) {
    std::vector<double> sigmas;
    if (std::string error = lab::ParseSigmaList(ListText(name, value), sigmas); !error.empty())
        Refuse(name, error);
    return sigmas;
}

double Snr(const char* name, py::handle value) {
    double db = 0;
    if (std::string error = lab::ParseSnr(NumberText(name, value), db); !error.empty())
        Refuse(name, error);
    return db;
}

std::vector<double> Snrs(const char* name, py::handle value) {
    std::vector<double> dbs;
    std::string error;
    if (py::isinstance<py::str>(value) && value.cast<std::string>().find(':') != std::string::npos)
        error = lab::ParseSnrRange(value.cast<std::string>(), dbs);
    else
        error = lab::ParseSnrList(ListText(name, value), dbs);
    if (!error.empty()) Refuse(name, error);
    return dbs;
}

std::uint64_t Count(const char* name, py::handle value, std::uint64_t lo, std::uint64_t hi) {
    std::uint64_t count = 0;
    if (std::string error = lab::ParseCount(NumberText(name, value), lo, hi, count); !error.empty())
        Refuse(name, error);
    return count;
}

int SmallCount(const char* name, py::handle value, std::uint64_t lo, std::uint64_t hi) {
    return static_cast<int>(Count(name, value, lo, hi));
}

int Threads(py::handle value) {
    if (value.is_none()) return lab::DefaultThreads();
    return SmallCount("threads", value, 1, lab::kMaxThreads);
}

bool Tail(py::handle value) {
    if (!py::isinstance<py::str>(value))
        throw py::type_error("tail: expected \"zero\" or \"none\"");
    bool tail = true;
    if (std::string error = lab::ParseTail(value.cast<std::string>(), tail); !error.empty())
        Refuse("tail", error);
    return tail;
}

const char* TailName(bool tail) {
    return tail ? "zero" : "none";
}

void Size(const char* name, py::handle value, int& width, int& height) {
    std::string text;
    if (py::isinstance<py::str>(value)) {
        text = value.cast<std::string>();
    } else {
        const py::tuple pair = py::module_::import("builtins").attr("tuple")(value);
        if (pair.size() != 2)
            throw py::type_error(std::string(name) + ": expected (width, height) or \"WxH\"");
        text = NumberText(name, pair[0]) + "x" + NumberText(name, pair[1]);
    }
    if (std::string error = lab::ParseSize(text, width, height); !error.empty())
        Refuse(name, error);
}

} // namespace pyquorvane
