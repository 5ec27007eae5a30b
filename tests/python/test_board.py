"""The board from Python against the command-line program on the same virtual board."""
import numpy as np
import pytest

import evkit714


@pytest.mark.parametrize("variant", evkit714.VARIANTS)
def test_identify_matches_cli_for_every_variant(variant, cli):
    expected = cli("--board", f"sim:{variant}", "identify")
    assert expected.status == 0, expected.err
    with evkit714.open(f"sim:{variant}") as board:
        ident = board.identify()
        assert board.chip == ident["chip"]
    assert str(ident["chip"]) == expected.values["chip"]
    assert ident["device"] == expected.values["device"]
    assert ident["board_id"] == expected.values["board_id"]


def test_unknown_variant_and_board_are_value_errors():
    with pytest.raises(ValueError, match="unknown virtual board variant 'PM9999'"):
        evkit714.open("sim:PM9999")
    with pytest.raises(ValueError, match="unknown board 'serial'"):
        evkit714.open("serial")
    with pytest.raises(ValueError, match="usb_id"):
        evkit714.open("usb", usb_id="12345678")


@pytest.mark.parametrize("page,addr,word", [
    (0, 1, 0x000000),
    (0, 1, 0xFFFFFF),
    (1, 22, 0x123456),
    (2, 5, 0x800001),
    (5, 26, 42),
])
def test_register_round_trip(board, page, addr, word):
    board.write(page, addr, word)
    assert board.read(page, addr) == word
    # The frames carry the word least significant byte first, as the command line sends it.
    writes = [line for line in board.trace if line.startswith(">")]
    lo, mid, hi = word & 0xFF, (word >> 8) & 0xFF, word >> 16
    assert any(line.endswith(f"{lo:02x} {mid:02x} {hi:02x} 00 00") for line in writes)


def test_register_values_agree_with_cli(cli):
    expected = cli("--board", "sim", "write", "1:22", "0x0a0b0c", "read", "1:22",
                   "read", "0:0", "--width", "32")
    assert expected.status == 0, expected.err
    words = [line.split("=", 1)[1] for line in expected.out.splitlines() if line.startswith("word=")]
    with evkit714.open("sim") as board:
        board.write(1, 22, 0x0A0B0C)
        assert f"0x{board.read(1, 22):06x}" == words[0]
        assert f"0x{board.read(0, 0, width=32):08x}" == words[1]


def test_raw_access_and_command(board):
    board.write(0, 1, 0x00FFFF)
    board.write(1, 3, 0x000123)
    board.raw_write(3, 0x000456)  # the device is back on page 0 after a paged access
    assert board.read(0, 3) == 0x000456
    assert board.raw_read(3) == 0x000456
    assert board.read(1, 3) == 0x000123
    board.clear_trace()
    board.command(0xA0)
    assert any(line.startswith("> a0") for line in board.trace)


def test_dump_returns_the_readings_written_to_the_file(board, tmp_path):
    board.write(0, 1, 0x00ABCD)
    path = tmp_path / "dump.txt"
    readings = board.dump(1, 5, path)
    assert readings.dtype == np.uint32
    assert list(readings) == [0x00ABCD] * 5
    text = path.read_text()
    assert text.count("abcd") + text.count("ABCD") == 5


def test_eeprom_write_then_read(board):
    assert board.eeprom_write(bytes([1, 2, 3, 250])) == 4
    data = board.eeprom_read(6)
    assert isinstance(data, bytes)
    assert data[:4] == bytes([1, 2, 3, 250])
    assert len(data) == 6


def test_setup_by_name_writes_only_the_edited_field(board):
    values = board.setup.refresh()
    assert "SETUP_CLOCK_DIVIDER" in values
    before = board.read(0, 0)
    shown = board.setup.set("SETUP_CLOCK_DIVIDER", 2)
    assert shown["SETUP_CLOCK_DIVIDER"] == 2
    after = board.read(0, 0)
    assert after & 0xF == 2
    # The other fields of the configuration register keep what the device held.
    assert after & ~0xF == before & ~0xF
    board.setup["SETUP_CLOCK_DIVIDER"] = 3
    assert board.setup["SETUP_CLOCK_DIVIDER"] == 3


def test_setup_reset_restores_power_on_values(board):
    power_on = board.setup.refresh()
    board.setup["SETUP_CLOCK_DIVIDER"] = 5
    assert board.setup.reset() == power_on


def test_register_file_round_trip(board, tmp_path):
    path = tmp_path / "regs.rsf"
    board.write(0, 1, 0x00F00F)
    board.setup.store(path)
    board.write(0, 1, 0x000001)
    board.setup.retrieve(path)
    assert board.read(0, 1) == 0x00F00F
    assert path.read_text().splitlines()[0] == "EVKIT714_REGISTERS"


def test_incompatible_register_file_writes_nothing(board, tmp_path):
    path = tmp_path / "bad.rsf"
    path.write_text("EVKIT714_REGISTERS\n1\n2\n")
    board.clear_trace()
    with pytest.raises(ValueError, match="ERROR: Incompatible Data File"):
        board.setup.retrieve(path)
    assert not [line for line in board.trace if line.startswith(">")]


def test_calibration_registers_and_calibrate(board, cli):
    expected = cli("--board", "sim", "identify", "calibrate", "dc-offset", "v1")
    assert expected.status == 0, expected.err
    regs = board.calibrate("dc-offset", "v1")
    assert set(regs) == {k for k in expected.values
                         if not k.endswith("_value") and k not in ("chip", "device", "board_id")}
    for name, (word, number) in regs.items():
        assert f"0x{word:06x}" == expected.values[name]
        assert f"{number:.12g}" == expected.values[name + "_value"]
    table = board.calibration()
    assert len(table) == 14
    for name, (word, _) in regs.items():
        assert table[name][0] == word


def test_temperature_show_and_gain_word(board):
    shown = board.temperature.refresh()
    assert set(shown) == {"gain_word", "gain_value", "offset_word", "offset_value", "scale"}
    after = board.temperature.set_gain_word(0x200000)
    assert after["gain_word"] == 0x200000
    assert board.read(1, 22) == 0x200000


def test_line_frequency_and_tmeas(board, cli):
    expected = cli("--board", "sim", "line-frequency", "50")
    assert expected.status == 0, expected.err
    assert f"{board.line_frequency(50.0):.6f}" == expected.values["LINE_FREQ"]
    assert f"0x{board.read(1, 17):06x}" == expected.values["epsilon"]
    board.tmeas(1000)
    assert board.read(5, 26) == 1000


def test_pulse_counts(board, cli):
    expected = cli("--board", "sim", "identify", "pulse", "--time", "3", "--repeat", "2")
    assert expected.status == 0, expected.err
    result = board.pulse(3.0, 2)
    assert str(result["cycle_count"]) == expected.values["cycle_count"]
    lines = [line for line in expected.out.splitlines() if line.startswith("count=")]
    assert len(result["counts"]) == len(lines) == 2
    for record, line in zip(result["counts"], lines):
        fields = dict(item.split("=") for item in line.split())
        assert [str(c) for c in record["counts"]] == [fields["c1"], fields["c2"], fields["c3"]]


@pytest.mark.parametrize("first,second", [("up", "down"), ("down", "up"), ("up", "up")])
def test_temperature_scale_follows_cli(first, second, cli):
    expected = cli("--board", "sim", "temperature", "scale", first, "temperature", "scale", second)
    assert expected.status == 0, expected.err
    words = [line.split("=", 1)[1] for line in expected.out.splitlines()
             if line.startswith("gain_word=")]
    with evkit714.open("sim") as board:
        shown = [board.temperature.scale(first), board.temperature.scale(second)]
    assert [f"0x{s['gain_word']:06x}" for s in shown] == words[-2:]
    assert shown[-1]["scale"] == second
