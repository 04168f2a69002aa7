#!/usr/bin/env python3
"""An outside controller of the sample project that speaks the file parser's exchange.

    python3 file_controller.py EXCHANGE_DIRECTORY

confluxtool dry-run starts it with --controller (the solver's store's Conflux folder is the last
argument). It waits for state.txt to say "WAITING n", reads to-controller.csv (a header naming
each readable value "PATH (UNIT)", one row of values, the iteration first), and answers with
from-controller.csv (the iteration, then the values it writes), written aside and renamed into
place so the solver never reads half a file. It ends when state.txt says "END". The control is
the sample's: the air cooling unit's supply temperature follows the rack inlet temperature
towards its set point.
"""
import csv
import os
import sys
import time

SET_POINT = 24.0
GAIN = 0.5
SUPPLY_LIMITS = (14.0, 22.0)
# Each value by its short path and by its full one (the project's "Use Full Entity Name in CSV").
RACK_INLET = ("Data Hall 1.Rack A01.Simulation Results.Mean Inlet Temperature",
              "Project.Rooms.Data Hall 1.Cabinets.Rack A01.Simulation Results.Mean Inlet Temperature")
CRAH_SUPPLY = ("Data Hall 1.CRAH 1.Supply Temperature",
               "Project.Rooms.Data Hall 1.Air Cooling Units.CRAH 1.Supply Temperature")


def read_values(path):
    """The values of the solver's file by path (units dropped from the headers)."""
    with open(path, newline="", encoding="utf-8") as f:
        header, row = list(csv.reader(f))[:2]
    values = {}
    for name, cell in zip(header, row):
        if name.endswith(")") and " (" in name:
            name = name[: name.rindex(" (")]
        values[name] = float(cell)
    return values


def answer(directory, iteration, writes):
    """Writes the answer aside, then renames it into place."""
    final = os.path.join(directory, "from-controller.csv")
    aside = final + ".tmp"
    with open(aside, "w", newline="", encoding="utf-8") as f:
        out = csv.writer(f)
        out.writerow(["Iteration"] + list(writes))
        out.writerow([iteration] + [repr(v) for v in writes.values()])
    os.replace(aside, final)


def find(values, names):
    """The path the file uses for a value and its value; (None, None) when it is not there."""
    for name in names:
        if name in values:
            return name, values[name]
    return None, None


def control(values):
    """The sample's proportional control of the supply temperature on the rack inlet."""
    _, inlet = find(values, RACK_INLET)
    supply_path, supply = find(values, CRAH_SUPPLY)
    if inlet is None or supply is None:
        return {}
    low, high = SUPPLY_LIMITS
    return {supply_path: min(max(supply - GAIN * (inlet - SET_POINT), low), high)}


def main():
    directory = sys.argv[-1]
    state_file = os.path.join(directory, "state.txt")
    answered = None
    while True:
        try:
            with open(state_file, encoding="utf-8") as f:
                state = f.read().split()
        except FileNotFoundError:
            state = []
        if state[:1] == ["END"]:
            return 0
        if len(state) == 2 and state[0] == "WAITING" and state[1] != answered:
            iteration = int(state[1])
            values = read_values(os.path.join(directory, "to-controller.csv"))
            answer(directory, iteration, control(values))
            answered = state[1]
        time.sleep(0.01)


if __name__ == "__main__":
    sys.exit(main())
