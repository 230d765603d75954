// Feeds the alist reader arbitrary text. A file it refuses must come with one
// line that names a line of the file; a code it accepts must be consistent
// (each column's checks the checks that list it) and read back the same from
// what the writer makes of it.
#include "codes/alist.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "alist_fuzz: %s\n", what);
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    const std::optional<codes::Code> code = codes::ReadAlist(text, &error);
    if (!code) {
        if (error.rfind("line ", 0) != 0 || error.find('\n') != std::string::npos)
            Fail("refusal without one line naming a line");
        return 0;
    }
    if (!error.empty()) Fail("an accepted file with an error");
    int edges = 0;
    for (int v = 0; v < code->n; ++v)
        for (int i = code->varStart[v]; i < code->varStart[v + 1]; ++i, ++edges)
            if (code->checkVar[code->varEdge[i]] != v) Fail("a column's edge is another column's");
    if (edges != code->Edges()) Fail("column and check edges differ in number");
    const std::optional<codes::Code> again = codes::ReadAlist(codes::WriteAlist(*code), &error);
    if (!again || !(*again == *code)) Fail("the written code reads back differently");
    return 0;
}
