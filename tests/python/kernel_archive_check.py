#!/usr/bin/env python3
"""The kernel archive read by numpy itself: every key with its shape and
dtype, the layer kernel against the depth integral of the nodes, the nodes
against the matrix file's integers, and `kernel @ w` against
`kvo-compute forward`; its MATLAB export read by scipy, and its table. Usage: kernel_archive_check.py KVO_COMPUTE EXAMPLE.nmc"""
import os
import subprocess
import sys
import tempfile

import numpy as np


def main():
    kvo, example = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as tmp:
        mrm = os.path.join(tmp, "k.mrm")
        subprocess.run([kvo, example, "-o", mrm, "--sampling", "classic", "--quiet"], check=True)
        a = np.load(os.path.join(tmp, "k.npz"))
        shapes = {
            "pulseMoments": ((100,), np.float64), "zVector": ((101,), np.float64),
            "kernel": ((100, 100), np.complex128), "depths": ((100,), np.float64),
            "kernelNodes": ((100, 100), np.complex128), "frequency": ((), np.float64),
            "inclination": ((), np.float64), "pulseDuration": ((), np.float64),
            "transmitterLoop": ((10,), np.float64), "receiverLoop": ((10,), np.float64),
        }
        for key, (shape, dtype) in shapes.items():
            assert a[key].shape == shape and a[key].dtype == dtype, (key, a[key].shape, a[key].dtype)
        assert a["layers"].ndim == 2 and a["layers"].shape[1] == 2 and a["layers"][0, 1] == 1e8
        assert str(a["version"])
        assert a["pulseDuration"] == 0.04 and a["frequency"] == 2000.0
        assert np.isclose(a["pulseMoments"][-1], 10.0)  # 10 000 A ms in A s

        # The nodes are the matrix file's values before its truncation.
        lines = open(mrm).read().split("\n")
        ints = np.array([[int(v) for v in l.split()] for l in lines[108:10108]])
        nodes = a["kernelNodes"]  # [q, z]; the file runs z outer, q inner
        file_re = ints[:, 0].reshape(100, 100).T
        file_im = ints[:, 1].reshape(100, 100).T
        assert np.array_equal(np.trunc(nodes.real * 1e4), file_re)
        assert np.array_equal(np.trunc(nodes.imag * 1e4), file_im)

        # The layer kernel: the nodes (nV/m) linear in depth, constant above
        # the first, integrated over each layer, in V.
        z, zv = a["depths"], a["zVector"]
        fine = np.unique(np.concatenate([[0.0], z, zv]))  # every kink: the trapezoid rule is exact
        expected = np.empty((100, 100), complex)
        for q in range(100):
            k = np.interp(fine, z, nodes[q].real) + 1j * np.interp(fine, z, nodes[q].imag)
            c = np.concatenate([[0], np.cumsum(np.diff(fine) * 0.5 * (k[1:] + k[:-1]))])
            at = np.interp(zv, fine, c.real) + 1j * np.interp(zv, fine, c.imag)
            expected[q] = np.diff(at) * 1e4 * 1e-9
        scale = np.abs(expected).max(axis=1, keepdims=True)
        assert (np.abs(a["kernel"] - expected) <= 1e-12 * scale).all(), (np.abs(a["kernel"] - expected) / scale).max()

        # kernel @ w against the command line's forward response (nV, four
        # decimals): 20 % water in layers 10..39, 5 % in 60..79.
        w = np.zeros(100)
        w[10:40] = 0.2
        w[60:80] = 0.05
        signal = a["kernel"] @ w * 1e9
        water = f"{zv[10]!r}:{zv[40]!r}:0.2,{zv[60]!r}:{zv[80]!r}:0.05"
        out = subprocess.run([kvo, "forward", mrm, "--water", water], check=True, capture_output=True, text=True).stdout
        rows = np.array([[float(v) for v in l.split("\t")] for l in out.strip().split("\n")[1:]])
        assert np.allclose(rows[:, 1], signal.real, rtol=0, atol=1e-4 + 1e-9 * np.abs(signal).max())
        assert np.allclose(rows[:, 2], signal.imag, rtol=0, atol=1e-4 + 1e-9 * np.abs(signal).max())
        assert np.allclose(rows[:, 3], np.abs(signal), rtol=0, atol=1e-4 + 1e-9 * np.abs(signal).max())
        # The MATLAB export as scipy reads it, and the table.
        subprocess.run([kvo, "export", os.path.join(tmp, "k.npz"), "--format", "mrsk"], check=True, capture_output=True)
        import scipy.io
        kdata = scipy.io.loadmat(os.path.join(tmp, "k.mat"), struct_as_record=False, squeeze_me=True)["kdata"]
        assert np.array_equal(kdata.K, a["kernel"])
        assert np.array_equal(kdata.model.z, a["zVector"][1:])
        assert np.array_equal(kdata.measure.pm_vec, a["pulseMoments"])
        csv = os.path.join(tmp, "k.csv")
        subprocess.run([kvo, "export", os.path.join(tmp, "k.npz"), "--format", "csv", "-o", csv], check=True,
                       capture_output=True)
        table = np.loadtxt(csv, delimiter=",", skiprows=1)
        assert np.array_equal(table[:, 0], a["pulseMoments"])
        assert np.array_equal(table[:, 1::2] + 1j * table[:, 2::2], a["kernel"])
    print("kernel archive: 1 passed, 0 failed")


if __name__ == "__main__":
    main()
