#include "python/code.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <memory>
#include <string>

#include "choices/codes.h"
#include "codes/alist.h"
#include "codes/decoder.h"
#include "codes/encoder.h"
#include "codes/report.h"
#include "python/arrays.h"
#include "python/values.h"

namespace pyquorvane {
namespace {

// A code and its systematic encoder, made once.
class CodeBox {
  public:
    explicit CodeBox(const std::string& text) {
        Take("code", choices::ChooseCode(text, code_));
        encoder_ = std::make_shared<codes::Encoder>(code_);
    }
    const codes::Code& code() const { return code_; }
    const codes::Encoder& encoder() const { return *encoder_; }

  private:
    codes::Code code_;
    std::shared_ptr<codes::Encoder> encoder_;
};

void CheckLength(const char* name, int length, int want) {
    if (length != want)
        Refuse(name, "has " + std::to_string(length) + " values a frame; the code takes " +
                         std::to_string(want));
}

py::array_t<std::uint8_t> Encode(const CodeBox& box, py::handle user) {
    const Frames<std::uint8_t> in = BitsIn("user", user);
    CheckLength("user", in.length, box.encoder().UserBits());
    py::array_t<std::uint8_t> out = NewFrames<std::uint8_t>(in.count, box.code().n, in.rows);
    std::uint8_t* o = out.mutable_data();
    {
        py::gil_scoped_release release;
        for (int f = 0; f < in.count; ++f)
            box.encoder().Encode(in.Frame(f), o + static_cast<py::ssize_t>(f) * box.code().n);
    }
    return out;
}

py::array_t<std::uint8_t> Syndrome(const CodeBox& box, py::handle bits) {
    const Frames<std::uint8_t> in = BitsIn("bits", bits);
    const codes::Code& c = box.code();
    CheckLength("bits", in.length, c.n);
    py::array_t<std::uint8_t> out = NewFrames<std::uint8_t>(in.count, c.m, in.rows);
    std::uint8_t* o = out.mutable_data();
    for (int f = 0; f < in.count; ++f) {
        const std::uint8_t* b = in.Frame(f);
        for (int k = 0; k < c.m; ++k) {
            std::uint8_t parity = 0;
            for (int e = c.checkStart[k]; e < c.checkStart[k + 1]; ++e) parity ^= b[c.checkVar[e]];
            o[static_cast<py::ssize_t>(f) * c.m + k] = parity;
        }
    }
    return out;
}

py::dict Decode(const CodeBox& box, py::handle ratios, const std::string& decoder, py::handle local,
                py::handle normalization, py::handle offset) {
    const Frames<float> in = SamplesIn("ratios", ratios);
    const codes::Code& c = box.code();
    CheckLength("ratios", in.length, c.n);
    codes::DecoderOptions o;
    Take("decoder", choices::ParseDecoder(decoder, o.algorithm));
    if (!local.is_none()) {
        const Number n = NumberOf("local", local);
        Take("local", choices::CheckLocal(n.value, n.shown));
        o.maxIterations = static_cast<int>(n.value);
    }
    if (!normalization.is_none()) {
        const Number n = NumberOf("normalization", normalization);
        Take("normalization", choices::CheckNormalization(n.value, n.shown));
        o.normalization = static_cast<float>(n.value);
    }
    if (!offset.is_none()) {
        const Number n = NumberOf("offset", offset);
        Take("offset", choices::CheckOffset(n.value, n.shown));
        o.offset = static_cast<float>(n.value);
    }
    py::array_t<std::uint8_t> bits = NewFrames<std::uint8_t>(in.count, c.n, in.rows);
    py::array_t<float> posterior = NewFrames<float>(in.count, c.n, in.rows);
    py::array_t<bool> zero = py::array_t<bool>(in.count);
    py::array_t<std::int32_t> iterations = py::array_t<std::int32_t>(in.count);
    std::uint8_t* b = bits.mutable_data();
    float* p = posterior.mutable_data();
    bool* z = zero.mutable_data();
    std::int32_t* it = iterations.mutable_data();
    {
        py::gil_scoped_release release;
        for (int f = 0; f < in.count; ++f) {
            const py::ssize_t at = static_cast<py::ssize_t>(f) * c.n;
            const codes::FrameResult r = codes::Decode(c, o, in.Frame(f), b + at, p + at);
            z[f] = r.syndromeZero;
            it[f] = r.iterations;
        }
    }
    py::dict d;
    d["bits"] = bits;
    d["posterior"] = posterior;
    if (in.rows) {
        d["syndrome_zero"] = zero;
        d["iterations"] = iterations;
    } else {
        d["syndrome_zero"] = z[0];
        d["iterations"] = it[0];
    }
    return d;
}

py::dict Report(const CodeBox& box) {
    const codes::CodeReport r = codes::Report(box.code());
    py::dict d;
    d["n"] = r.n;
    d["checks"] = r.m;
    d["rank"] = r.rank;
    d["k"] = r.k;
    d["rate"] = r.rate;
    d["column_weights"] = r.columnWeights;
    d["row_weights"] = r.rowWeights;
    d["girth"] = r.girth.girth;
    d["cycles"] = r.girth.cycles;
    return d;
}

} // namespace

void AddCode(py::module_& m) {
    py::class_<CodeBox>(m, "Code",
                        R"(A binary LDPC code: a built-in one by name (sector512, sector4k) or an
alist file, as quorvane-lab code and sfr take it, with its systematic encoder.)")
        .def(py::init<const std::string&>(), py::arg("code") = "sector512")
        .def_property_readonly("name", [](const CodeBox& b) { return b.code().name; })
        .def_property_readonly("n", [](const CodeBox& b) { return b.code().n; })
        .def_property_readonly("k", [](const CodeBox& b) { return b.encoder().UserBits(); })
        .def_property_readonly("checks", [](const CodeBox& b) { return b.code().m; })
        .def_property_readonly("rate",
                               [](const CodeBox& b) {
                                   return static_cast<double>(b.encoder().UserBits()) / b.code().n;
                               })
        .def_property_readonly("user_columns",
                               [](const CodeBox& b) { return b.encoder().UserColumns(); })
        .def("encode", &Encode, py::arg("user"),
             "The codewords (uint8, n a frame) of k user bits a frame (1-D, or a row each).")
        .def("syndrome", &Syndrome, py::arg("bits"),
             "Each check's parity over the bits (uint8, one per check): all 0 for a codeword.")
        .def("decode", &Decode, py::arg("ratios"), py::arg("decoder") = "nms",
             py::arg("local") = py::none(), py::arg("normalization") = py::none(),
             py::arg("offset") = py::none(),
             R"(Decodes ratios L = ln P(0) / P(1) (float32, n a frame): decoder nms (layered
normalized min-sum), oms (offset) or sp (flooding sum-product); local iterations
(default 10, early stop on a zero syndrome), normalization (0.75), offset (0.5).
Returns a dict: bits, posterior, syndrome_zero, iterations.)")
        .def("report", &Report, "n, checks, rank, k, rate, weights, girth and cycles.")
        .def(
            "write_alist", [](const CodeBox& b) { return codes::WriteAlist(b.code()); },
            "The code as alist text.");
}

} // namespace pyquorvane
