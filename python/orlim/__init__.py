"""orlim: layout-versus-schematic checking for port-connected photonic layouts."""

from _orlim import *  # noqa: F401,F403
from _orlim import DEFAULT_TOLERANCE_NM  # noqa: F401

__version__ = "0.1.8"
