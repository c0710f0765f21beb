"""Settings shared by the Python suites.

On CI (the CI variable set to anything but "", "0" or "false") Hypothesis runs
the "ci" profile: derandomized, so a run is repeatable and a red build can be
reproduced, with no example database and no deadline on a shared machine.
HYPOTHESIS_PROFILE names a profile explicitly (e.g. "default" on CI).
"""

import os

from hypothesis import settings

settings.register_profile("ci", derandomize=True, database=None, deadline=None, print_blob=True)

_on_ci = os.environ.get("CI", "").strip().lower() not in ("", "0", "false")
# Chosen here in both directions: Hypothesis on its own takes any CI variable,
# even "false", for a CI run.
settings.load_profile(os.environ.get("HYPOTHESIS_PROFILE") or ("ci" if _on_ci else "default"))
