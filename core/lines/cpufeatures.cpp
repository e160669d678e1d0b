#include "core/lines/cpufeatures.h"

namespace {

CCpuFeatures ReadCpuFeatures() {
    CCpuFeatures features;
#if defined(__x86_64__) && defined(__GNUC__)
    __builtin_cpu_init();
    features.bPopcnt = __builtin_cpu_supports("popcnt");
    features.bAvx2 = __builtin_cpu_supports("avx2");
    features.bAvx512Vbmi = __builtin_cpu_supports("avx512f") &&
                           __builtin_cpu_supports("avx512bw") &&
                           __builtin_cpu_supports("avx512vbmi");
#endif
    return features;
}

} // namespace

const CCpuFeatures& CpuFeatures() {
    static const CCpuFeatures features = ReadCpuFeatures();
    return features;
}
