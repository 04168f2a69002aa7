"""Supply-air controller of the sample data hall, run by the exchange as a Python module.

The exchange calls each event handler named in the project (the module's "Event Handlers") with
the exchange values it may read, as a mapping from attribute path to value, and writes back the
values the handler returns. Paths are the exchange labels joined by ".".
"""

SET_POINT = 24.0   # wanted mean inlet temperature of rack A01, in degrees Celsius
GAIN = 0.5         # change of the supply temperature per degree of error
SUPPLY_LIMITS = (14.0, 22.0)

RACK_INLET = "Data Hall 1.Rack A01.Simulation Results.Mean Inlet Temperature"
CRAH_SUPPLY = "Data Hall 1.CRAH 1.Supply Temperature"


def on_cfd_generation(values=None):
    """Called once when the solver project is generated: start from the design supply temperature."""
    return {CRAH_SUPPLY: 18.0}


def on_iteration(values=None):
    """Proportional control of the air cooling unit's supply temperature on the rack inlet."""
    values = values or {}
    inlet = values.get(RACK_INLET)
    supply = values.get(CRAH_SUPPLY)
    if inlet is None or supply is None:
        return {}
    wanted = supply - GAIN * (inlet - SET_POINT)
    low, high = SUPPLY_LIMITS
    return {CRAH_SUPPLY: min(max(wanted, low), high)}
