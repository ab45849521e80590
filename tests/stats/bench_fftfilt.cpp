// Times fftfilt on signals of 2^16, 2^20 and 2^22 samples with filters of 64, 1024, nx/16
// and nx taps, and beside it, in the same run and on the same data, SciPy's two methods
// (scipy.signal.oaconvolve and fftconvolve) when /usr/bin/python3 has SciPy. Reports the
// ratio to the faster of the two and how far the results differ. Not a test: run it by hand.
// Usage: bench_fftfilt [largest log2 size, 16..22]
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <time.h>
#include <vector>

#include "stats/xcorr.h"
#include "tests/common/bench_support.h"

using tarsel::mwArray;

namespace {

// The numpy peer runs with the machine's OpenBLAS overrides unset: they slow a current numpy.
const std::string kPython = "env -u OPENBLAS_CORETYPE -u OPENBLAS_L2_SIZE /usr/bin/python3";

double CpuMs()
{
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

mwArray Noise(size_t n, uint64_t seed)
{
    mwArray a = mwArray::Zeros(n, 1);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 6364136223846793005ull + 1442695040888963407ull;
        a[i] = static_cast<double>(seed >> 11) / 9007199254740992.0 * 2 - 1;
    }
    return a;
}

bool WriteRaw(const std::string& path, const mwArray& a)
{
    FILE* f = fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = fwrite(a.Data().data(), sizeof(double), a.Numel(), f) == a.Numel();
    return fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    const int largest = argc > 1 ? std::clamp(atoi(argv[1]), 16, 22) : 22;
    orvix_test::ScopedTempDir temp("orvix-bench-fftfilt");
    const std::string& dir = temp.Path();
    const std::string script = std::string(ORVIX_TEST_SOURCE_DIR) + "/bench_scipy_convolve.py";
    const bool scipy = orvix_test::RunCommand(kPython + " -c 'import scipy.signal' 2>/dev/null") == 0;
    if (!scipy)
        printf("SciPy is missing from /usr/bin/python3 (Debian package python3-scipy; ORVIX_BENCH_PEERS=1 "
               "./scripts/setup.sh installs it): our times only.\n");
    printf("best of several runs, ms (wall / processor); ratio = our processor time over SciPy's faster method's;\n"
           "diff = largest difference from SciPy's result, relative to its largest sample\n");
    printf("%9s %9s %19s %19s %19s %7s %9s\n", "nx", "taps", "fftfilt", "oaconvolve", "fftconvolve", "ratio",
           "diff");
    for (int p : {16, 20, 22}) {
        if (p > largest)
            break;
        const size_t nx = size_t(1) << p;
        const mwArray x = Noise(nx, 1);
        for (size_t nb : {size_t(64), size_t(1024), nx / 16, nx}) {
            const mwArray b = Noise(nb, 2 + nb);
            const tarsel::Args args{b, x};  // made once: the copies are not the filter's work
            const int reps = p <= 16 ? 7 : p <= 20 ? 3 : 2;
            double wall = 1e300, cpu = 1e300;
            mwArray y;
            for (int r = 0; r < reps; ++r) {
                const double c0 = CpuMs();
                const auto w0 = std::chrono::steady_clock::now();
                y = tarsel::fftfilt(args);
                const std::chrono::duration<double, std::milli> w = std::chrono::steady_clock::now() - w0;
                wall = std::min(wall, w.count());
                cpu = std::min(cpu, CpuMs() - c0);
            }
            printf("%9zu %9zu %9.1f /%8.1f", nx, nb, wall, cpu);
            if (scipy) {
                // The script prints oaconvolve's and fftconvolve's wall and processor ms, and the difference.
                std::vector<double> v;
                if (WriteRaw(dir + "/x.bin", x) && WriteRaw(dir + "/b.bin", b) && WriteRaw(dir + "/y.bin", y))
                    for (const std::string& w : orvix_test::CommandWords(kPython + " " + script + " " + dir + " " +
                                                                         std::to_string(reps)))
                        v.push_back(atof(w.c_str()));
                if (v.size() == 5)
                    printf(" %9.1f /%8.1f %9.1f /%8.1f %6.2fx %9.1e", v[0], v[1], v[2], v[3], cpu / std::min(v[1], v[3]),
                           v[4]);
                else
                    printf("   (the SciPy run failed)");
            }
            printf("\n");
            fflush(stdout);
        }
    }
    return 0;
}
