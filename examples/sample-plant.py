"""A quick stand-in for Data Hall 1 of the sample project in a dry run (confluxtool dry-run --plant).

Each iteration the solver's side calls plant(iteration, values) with every exchange value, as a
mapping from path to value, and writes back the values it returns. Here the air reaching rack A01
follows the air cooling unit's supply temperature with a lag, raised by the rack's own exhaust
that recirculates to its inlet in proportion to the server's heat load.
"""

RACK_INLET = "Data Hall 1.Rack A01.Simulation Results.Mean Inlet Temperature"
SERVER_INLET = "Data Hall 1.Rack A01.Server A01-1.Simulation Results.Mean Inlet Temperature"
SERVER_INLET_FLOW = ("Data Hall 1.Rack A01.Server A01-1.Server A01-1 Inlet."
                     "Simulation Results.Temperature Net.Mean Temperature Net")
CRAH_SUPPLY = "Data Hall 1.CRAH 1.Supply Temperature"
HEAT_LOAD = "Data Hall 1.Rack A01.Server A01-1.Power.Power Definition.Typical Power"

RECIRCULATION = 8.0 / 650.0  # K of inlet temperature rise per W of the server's heat load
LAG = 0.4                    # share of the gap to the steady inlet temperature closed per iteration


def plant(iteration, values):
    """The rack inlet temperature after one more iteration of the room."""
    steady = values[CRAH_SUPPLY] + RECIRCULATION * values[HEAT_LOAD]
    inlet = values[RACK_INLET] + LAG * (steady - values[RACK_INLET])
    return {RACK_INLET: inlet, SERVER_INLET: inlet, SERVER_INLET_FLOW: inlet}
