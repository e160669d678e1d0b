#pragma once
// What this processor can run, asked once: every SIMD kernel chooses its path here, so that a
// test, a benchmark and the kernels agree on which paths exist.

// The instruction sets the kernels are written for. On a processor other than x86-64 all are
// false and every kernel takes its plain path.
struct CCpuFeatures {
    bool bPopcnt = false;
    bool bAvx2 = false;
    bool bAvx512Vbmi = false; // AVX-512 F, BW and VBMI together
};

// This processor's features, read at the first call.
const CCpuFeatures& CpuFeatures();
