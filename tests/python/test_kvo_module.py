"""The Python module against the command line and against itself: the same
kernel bit for bit, progress, Ctrl-C, refusals, and parallel computations
with the GIL released. Run by CTest with KVO_COMPUTE and KVO_EXAMPLES set."""
import _thread
import os
import subprocess
import threading
import time

import numpy as np
import pytest

import kvo

KVO = os.environ["KVO_COMPUTE"]
EXAMPLE = os.path.join(os.environ["KVO_EXAMPLES"], "coincident_circle_100m_three_layers.nmc")


def test_compute_gives_the_command_lines_archive_bit_for_bit(tmp_path):
    subprocess.run([KVO, EXAMPLE, "-o", str(tmp_path / "k.mrm"), "--sampling", "classic", "--quiet"], check=True,
                   capture_output=True)
    archive = np.load(tmp_path / "k.npz")
    positions = []
    k = kvo.compute(EXAMPLE, sampling="classic", progress=positions.append)
    for key, value in k.arrays.items():
        assert np.array_equal(value, archive[key]), key
        assert value.dtype == archive[key].dtype, key
    assert np.array_equal(k.layer_kernel, archive["kernel"]) and np.array_equal(k.z_vector, archive["zVector"])
    assert positions == sorted(positions) and positions[-1] == 1.0 and len(positions) >= 2
    # layer_kernel @ w is the forward response of those layers (V and nV).
    zv = k.z_vector
    w = np.zeros(len(zv) - 1)
    w[10:40], w[60:80] = 0.2, 0.05
    layers = [(zv[i], zv[i + 1], w[i]) for i in range(10, 80) if w[i] > 0]
    assert np.allclose(kvo.forward(k, layers), 1e9 * (k.layer_kernel @ w), rtol=1e-9, atol=0)
    # The same through the matrix file (and the archive beside it).
    assert np.allclose(kvo.forward(str(tmp_path / "k.mrm"), layers), 1e9 * (k.layer_kernel @ w), rtol=1e-9, atol=0)
    cube = kvo.forward(k, [(5.0, 30.0, 0.2)], t2=[0.2], times=[0.0, 0.2])
    assert cube.shape == (100, 2) and np.allclose(cube[:, 1], cube[:, 0] * np.exp(-1.0))


def test_ctrl_c_stops_the_computation_and_writes_nothing(tmp_path):
    result = tmp_path / "stopped.mrm"
    timer = threading.Timer(0.5, _thread.interrupt_main)
    timer.start()
    with pytest.raises(KeyboardInterrupt):
        kvo.compute(EXAMPLE, threads=1, result_file=str(result))
    timer.cancel()
    assert list(tmp_path.iterdir()) == []


@pytest.mark.parametrize("write, error, message", [
    (None, OSError, "missing.nmc"),
    (lambda text: text.replace(" 2000.00 ", "  499.00 ", 1), ValueError, "Frequency"),
    (lambda text: "not a parameter file\n", ValueError, "bad.nmc"),
])
def test_refusals_carry_the_command_lines_message(tmp_path, write, error, message):
    path = tmp_path / ("missing.nmc" if write is None else "bad.nmc")
    if write is not None:
        path.write_text(write(open(EXAMPLE).read()))
        cli = subprocess.run([KVO, "validate", str(path)], capture_output=True, text=True)
        assert cli.returncode == 2
    with pytest.raises(error) as caught:
        kvo.compute(str(path))
    assert message in str(caught.value)
    if write is not None:
        assert str(caught.value) in cli.stderr
    with pytest.raises(ValueError, match="overlap"):
        kvo.forward(kvo.compute(EXAMPLE, sampling="classic"), [(1, 5, 0.1), (4, 6, 0.1)])


def test_field_is_the_command_lines_field():
    points = np.array([[0.0, 0.0, 10.0], [50.0, 0.0, 10.0], [20.0, 30.0, 5.0]])
    h = kvo.field(2000, [(0.02, 1e8), (10, 100), (40, 5), (0, 50)], (1, 100), points)
    text = "\n".join(" ".join(str(v) for v in p) for p in points) + "\n"
    cli = subprocess.run([KVO, "field", "--frequency", "2000", "--layers", "0.02:1e8,10:100,40:5,0:50", "--loop", "1:100"],
                         input=text, capture_output=True, text=True, check=True).stdout
    rows = np.array([[float(v) for v in line.split()] for line in cli.strip().split("\n")])
    assert np.allclose(h.real, rows[:, 3:6], rtol=1e-8, atol=0) and np.allclose(h.imag, rows[:, 6:9], rtol=1e-8, atol=0)


def test_two_computations_run_in_parallel():
    def one():
        kvo.compute(EXAMPLE, threads=1, sampling="classic")
    start = time.perf_counter()
    one()
    single = time.perf_counter() - start
    threads = [threading.Thread(target=one) for _ in range(2)]
    start = time.perf_counter()
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    both = time.perf_counter() - start
    # Serialised by the GIL they would take twice as long as one.
    assert both < 1.6 * single, (single, both)
