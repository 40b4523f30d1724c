// `voxotrope-live --enable` and `--disable`: the systemd user unit
// voxotrope-live.service switched on or off for the user, through
// systemctl.
#pragma once

// Says in one line what was done, or why not; returns the exit status.
int EnableService(bool enable);
