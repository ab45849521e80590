# The SciPy side of bench_fftfilt: reads the signal, the filter and our result (raw float64
# files in the folder given), times scipy.signal.oaconvolve and fftconvolve on the same data
# (the first len(x) samples of the full convolution), and prints for each the best wall and
# processor milliseconds, then the largest difference between our result and SciPy's,
# relative to the largest SciPy sample.
import sys
import time

import numpy as np
from scipy import signal

folder, reps = sys.argv[1], int(sys.argv[2])
x = np.fromfile(folder + "/x.bin")
b = np.fromfile(folder + "/b.bin")
ours = np.fromfile(folder + "/y.bin")


def best(method):
    wall = cpu = float("inf")
    for _ in range(reps):
        w0, c0 = time.perf_counter(), time.process_time()
        y = method(b, x)[: len(x)]
        wall = min(wall, time.perf_counter() - w0)
        cpu = min(cpu, time.process_time() - c0)
    return wall * 1e3, cpu * 1e3, y


oa_wall, oa_cpu, _ = best(signal.oaconvolve)
fft_wall, fft_cpu, y = best(signal.fftconvolve)
scale = max(float(np.max(np.abs(y))), 1e-300)
print(oa_wall, oa_cpu, fft_wall, fft_cpu, float(np.max(np.abs(ours - y))) / scale)
