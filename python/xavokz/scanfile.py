"""Reading the HDF5 scan files that `kzctl acquire` writes (format "kzctl-scan", version 1)."""

import re
from dataclasses import dataclass, field

import numpy as np

FORMAT = "kzctl-scan"
FORMAT_VERSION = 1


class ScanFileError(ValueError):
    """The file is not a scan file this reader understands."""


@dataclass
class Gate:
    """A gate as the state file keeps it: window in sample clocks from the first sample,
    threshold in counts."""
    index: int
    start: int
    end: int
    threshold: int
    polarity: int = 0


@dataclass
class ScanFile:
    positions: list            # per position k: array [bscans][samples_k]
    sampling_frequency_hz: float
    start_delay_samples: int = 0
    drop_count: int = 0
    attributes: dict = field(default_factory=dict)
    state: str = ""
    gates: list = field(default_factory=list)

    @property
    def bscans(self):
        return self.positions[0].shape[0] if self.positions else 0

    def bscan(self, index):
        """B-scan `index`: [positions][samples] (a list when the positions differ in length)."""
        rows = [position[index] for position in self.positions]
        if all(len(row) == len(rows[0]) for row in rows):
            return np.stack(rows)
        return rows


def _text(value):
    return value.decode("utf-8") if isinstance(value, bytes) else str(value)


def gates_of_state(text):
    """The enabled gates of a state file's text ([Gates] with [Gate0] ... sub-sections)."""
    gates = []
    current = None
    in_gates = False
    for line in text.splitlines():
        line = line.strip()
        header = re.fullmatch(r"\[(\w+)\]", line)
        if header:
            name = header.group(1)
            gate = re.fullmatch(r"Gate(\d+)", name)
            if name == "Gates":
                in_gates, current = True, None
            elif gate and in_gates:
                current = {"index": int(gate.group(1))}
                gates.append(current)
            else:
                in_gates, current = False, None
            continue
        if current is not None and "=" in line:
            key, value = (part.strip() for part in line.split("=", 1))
            try:
                current[key] = int(value, 0)
            except ValueError:
                pass
    return [Gate(g["index"], g.get("Start", 0), g.get("End", 0), g.get("Threshold", 0), g.get("ThresholdPolarity", 0))
            for g in gates if g.get("Enabled", 1)]


def read(path):
    """Reads a kzctl scan file."""
    import h5py

    with h5py.File(path, "r") as f:
        if _text(f.attrs.get("format", b"")) != FORMAT:
            raise ScanFileError(f"{path}: not a {FORMAT} file")
        version = int(f.attrs.get("format_version", 0))
        if version != FORMAT_VERSION:
            raise ScanFileError(f"{path}: format version {version}, this reader knows {FORMAT_VERSION}")
        scan = f["scan"]
        attributes = {name: scan.attrs[name] for name in scan.attrs}
        samples = scan["ascans"]
        if isinstance(samples, h5py.Dataset):
            data = samples[...]
            positions = [data[:, k, :] for k in range(data.shape[1])]
        else:
            names = sorted(name for name in samples if name.startswith("position_"))
            positions = [samples[name][...] for name in names]
        state = _text(f["state"][()]) if "state" in f else ""
    return ScanFile(positions=positions,
                    sampling_frequency_hz=float(attributes["sampling_frequency_hz"]),
                    start_delay_samples=int(attributes.get("start_delay_samples", 0)),
                    drop_count=int(attributes.get("drop_count", 0)),
                    attributes=attributes, state=state, gates=gates_of_state(state))
