"""The converter figures of a Spectrum and the coherent test frequency: the same values the
command-line program prints, and the figures of a block known in closed form."""
import math

import numpy as np
import pytest

import evkit714

FULL_SCALE = 8388608


def tone_block(n, cycles, dbfs, harmonics=(), noise=None, seed=5):
    i = np.arange(n)
    a = FULL_SCALE * 10 ** (dbfs / 20)
    x = a * np.sin(2 * np.pi * cycles * i / n + 0.2)
    for k, dbc in harmonics:
        x += a * 10 ** (dbc / 20) * np.sin(2 * np.pi * k * cycles * i / n + 0.1 * k)
    if noise is not None:
        # White noise of exactly this RMS: every sample is +noise or -noise.
        x += noise * np.where(np.random.default_rng(seed).integers(0, 2, n) == 1, 1.0, -1.0)
    return x


def test_more_figures_equal_cli_analyze(cli, tmp_path):
    path = tmp_path / "block.dat"
    r = cli("--board", "sim", "capture", "--pair", "1", "--samples", "8192", "--out", path)
    assert r.status == 0, r.err
    cap = evkit714.read_capture(path)
    for harmonics in (9, 4):
        r = cli("analyze", path, "--test", "fft", "--harmonics", harmonics)
        assert r.status == 0, r.err
        s = evkit714.spectrum(cap.channel1, range_=cap.range, fs=cap.fs)
        more = s.more_figures(harmonics)
        for key, value in more.items():
            if key == "THD_note":
                assert r.values.get("THD_note", "") == value
            elif key == "THD_harmonics":
                assert str(value) == r.values[key]
            else:
                assert f"{value:f}" == r.values[key], key
    # The properties are the figures over harmonics 2..9.
    nine = s.more_figures()
    assert (s.sinad_dbfs, s.snr_dbfs, s.enob, s.thd_dbc, s.sfdr_dbc, s.sfdr_dbfs, s.sfdr_spur_hz,
            s.nsd_dbfs_hz) == (nine["SINAD_dBFS"], nine["SNR_dBFS"], nine["ENOB"], nine["THD_dBc"],
                               nine["SFDR_dBc"], nine["SFDR_dBFS"], nine["SFDR_spur_Hz"],
                               nine["NSD_dBFS_Hz"])
    assert s.sinad_dbfs == pytest.approx(s.sinad + s.fs_pdb, abs=1e-9)
    with pytest.raises(ValueError, match="harmonics must be 2..50"):
        s.more_figures(1)


def test_figures_of_a_block_known_in_closed_form():
    sigma = 600.0
    s = evkit714.spectrum(tone_block(16384, 1031, -0.5, noise=sigma), window=0, fs=4000.0)
    snr = 10 * math.log10(FULL_SCALE ** 2 / 2 / sigma ** 2)
    assert s.snr_dbfs == pytest.approx(snr, abs=0.05)
    assert s.enob == pytest.approx((snr - 1.76) / 6.02, abs=0.01)

    levels = [(k, -60.0 - 3 * k) for k in range(2, 10)]
    h = evkit714.spectrum(tone_block(16384, 301, -1.0, harmonics=levels), fs=4000.0)
    thd = 10 * math.log10(sum(10 ** (dbc / 10) for _, dbc in levels))
    assert h.thd_dbc == pytest.approx(thd, abs=0.05)
    assert h.sfdr_dbc == pytest.approx(66.0, abs=0.05)
    assert h.sfdr_spur_hz == pytest.approx(4000.0 * 602 / 16384)
    assert not h.no_spur


def test_coherent_frequency():
    c = evkit714.coherent_frequency(4000.0, 16384, 50.0)
    assert c == {"cycles": 205, "frequency_hz": 205 * 4000.0 / 16384, "prime": False,
                 "prime_cycles": 199, "prime_frequency_hz": 199 * 4000.0 / 16384}
    assert math.gcd(evkit714.coherent_frequency(4000.0, 3000, 60.0)["cycles"], 3000) == 1
    with pytest.raises(ValueError, match="between 0 and 2000 Hz"):
        evkit714.coherent_frequency(4000.0, 16384, 2500.0)
