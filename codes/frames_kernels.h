#pragma once
// The SIMD kernels of the frame decoders (internal to codes/). Messages are
// kept lane by lane: variable v's ratio of frame f at l[v * lanes + f], edge
// e's message at r[e * lanes + f].
#include <cstdint>

#include "codes/code.h"

namespace codes::frames_detail {

struct Plan {
    const int* checkStart;
    const int* checkVar;
    int m;
    bool offsetRule;
    int a16;     // integer normalization, sixteenths
    int offset;  // integer offset
    int rmax;    // integer messages' largest magnitude
    float alpha; // float normalization
    float beta;  // float offset
    float top;   // float: kMaxRatio
};

struct KernelSet {
    int lanes = 0;
    // One layered iteration over every check; q has room for the largest
    // check's messages.
    void (*iterate)(const Plan&, void* l, void* r, void* q) = nullptr;
    // Bit f set when frame f's hard decisions miss a check.
    std::uint64_t (*syndrome)(const Plan&, const void* l) = nullptr;
    // Where not null: a frame's inputs in the element type, exactly as
    // QuantizeRow (8, 16 bits; scale and cap from FixedConstants) or
    // CleanRatio (float) gives them.
    void (*quantize)(const float* ratios, int n, float scale, float cap, void* out) = nullptr;
};

// The kernels for 8-bit, 16-bit and float messages (arithmetic 0, 1, 2).
KernelSet Avx512Kernels(int arithmetic);
KernelSet Avx2Kernels(int arithmetic);
bool HasAvx512();
bool HasAvx2();

} // namespace codes::frames_detail
